// The deferred path's G-buffer, written by "dr_land.sh", "dr_lava.sh" and
// "dr_water.sh" and read by the screen passes:
//   target 0 (T4): albedo rgb, emission in a (the lighting adds albedo x 4 x a)
//   target 1 (T2): normal x 0.5 + 0.5, a = 1 for water (reflective)
//   target 2 (T1): distance to the camera / 512 in r (coarse) and g (fine);
//                  the clear colour (r = g = 1) reads as the far plane
// Screen passes rebuild the world position from the camera ray
// (VS c17..c19: right, up and forward scaled by the projection) and the
// distance; PS c16 holds the camera position.
#ifdef PSH
vec4 encode_distance(float d) {
  float v = clamp(d / 512.0, 0.0, 1.0) * 255.0;
  float hi = floor(v);
  return vec4(hi / 255.0, v - hi, 0.0, 1.0);
}
float decode_distance(vec4 e) { return (e.r * 255.0 + e.g) / 255.0 * 512.0; }
#endif
