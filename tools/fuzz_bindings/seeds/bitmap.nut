local b = BitMap();
for (local i = 0; i < 40; i++) b.set(100 + i % 9, 80 + i / 9, true);
b.set(250, 3, true);
local c = b.makeCopy(), d = b.shiftedCopy(10, -20);
local r = [b.get(100, 80), b.bounds(), b.boundingCircle(), b.area(), b.testOverlap(d, 0, 0),
           b.floodFillMask(101, 81).area(), b.isContinuous(), b.findPixel(true), b.testMask(d, 8, 0, 0),
           b.bitwise(d, 14, 1, 1).area(), b.inverse().area(), b.erode().area(), b.expand().area(), b.randomPixel()];
b.bitwiseInplace(c, 6, 0, 0);
b.bitwiseInplace(null, 8, 0, 0);
local g = c.randomFill(101, 81, 20);
c.randomExpand(5, 3, 2.0);
c.placePoints(4, function(x, z) { mark_circle(x, z, 2, MARK_PLACE, 0); });
c.placeCircles([3, 2, 1], function(x, z) {});
local s1 = fast_skeleton_map(c), s2 = make_skeleton_map(c, 0.3);
c.dumpTga("b.tga");
local im = IntMap();
im.set(3, 4, 7); im[make_map_index(300, 5)] = 9;
local q = [im.get(3, 4), im[1285], im.bounds(), im.testOverlap(IntMap(), 0, 0), map_index_x(make_map_index(300, 5)), map_index_z(1285)];
