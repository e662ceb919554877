local m = HmapMask();
m.set(3, 4, 2.5);
local v = [m.getraw(3, 260), m.get(3.5, 4.25), m.calcMinMax()];
m.processRect(0, 0, 10, 10, function(x, z, v) { return v + x * z; });
local masks = [HmapMask.fastNoise(10, 0.5), HmapMask.fromHeight(), HmapMask.fromSlope(), HmapMask.fromWater(),
               HmapMask.fromSimplexNoise(5, 4, 2, FloatRamp.linear(0, 1), 0.5),
               HmapMask.fromVoronoiHills(8, 0, 10, 0.5), HmapMask.fromVoronoiFaults(4, 0, 10, 1, 0.5, 2, 0.5)];
try { HmapMask.fromVoronoiHills(3, 0, 1, 1); } catch (x) {}
apply_height_mask(m, null);
apply_water_mask(masks[0], null);
try { apply_height_mask(null, null); } catch (x) {}
try { apply_water_mask(null, null); } catch (x) {}
