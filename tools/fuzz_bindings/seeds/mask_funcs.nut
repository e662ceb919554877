local m = HmapMask.fromHeight();
m.processAll(function(x, z, v) { return v * 0.5; });
apply_height_mask(m, function(h, v) { return h + v; });
