repaint_land(function(x, z, c, t) { return x < 128 ? [0xFF00FF00, GT_SOIL] : [vec4f(0.5), GT_ROCK, 0xFF123456, ST_GRASS]; });
