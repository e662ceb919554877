local c = [hsv2rgba(360, 1, 1, 1), hsv2rgba(-30, 0.5, 0.2, 1), lch2rgba(50, 40, 120, 1),
           lerpcolor(0xFF00FF00, vec4f(1, 0, 0, 1), 0.3), mix3colors(0xFFFFFFFF, 0.2, [0, 0, 1, 1], 0.5, 7, 0.3),
           mix4colors(1, 0.25, 2, 0.25, 3, 0.25, vec4f(1), 0.25), tocolor(0.5), tocolor(0x12345678),
           tocolor(vec4f(2, -1, 0.5, 1))];
local ramp = ColorRamp(function(t) { return hsv2rgba(t * 360, 1, 1, 1); });
local f = FloatRamp(function(t) { return t * t; });
local g = [ramp.get(0.5), ramp.get(-5), ramp.get(1.0), f.get(0.7)];
ramp.dump("r"); f.dump("f");
local k = ColorRamp.constRamp(0xFF808080), l = FloatRamp.linear(0, 1);
local m = ColorRamp.fadeInOut(0, vec4f(1), 0xFFFF0000, 0.2, 0.3), n = FloatRamp.fadeInOut(0, 1, 0, 0.5, 0.5);
try { ColorRamp(function(t) { return "x"; }); } catch (x) {}
