local a = vec4f(1, 2, 3, 4), b = make4f(0.5), c = vec4f(2);
local d = a + b - c * [1, 2, 3, 4] / 2;
d[1] = -d[0]; local e = -d;
local r = [a <=> b, a <=> vec4f(0, 5, 0, 0), cross(a, b), dot3(a, b), len3(d), len3Sq(e),
           norm3(a), norm3a(vec4f(0)), getx(a), gety(b), getz(c), make_dir_xz(0.25),
           make_dir_2d(a, b, 0.5), round(2.5), wrap(300), wrap(-128), a[3]];
try { a[4] = 1; } catch (x) {}
try { local y = a[-1]; } catch (x) {}
try { a + "s"; } catch (x) {}
