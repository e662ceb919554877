// The reading of the packed distance-field parameters shared by
// "distfont.sh" and "disticon.sh" (pixel stage). A field value f is 0.5 on
// the edge and grows inwards; results are pre-multiplied colours.

// Coverage of the fill: a ramp from p1 to 1 - p1 around the edge (p1 is
// (q1 + 1) / 2 pixels outside it, so q1 = 0 is the one-pixel antialiased
// edge and larger q1 soften it).
float df_fill(float f, float p1) {
  float w = max(0.5 - p1, 0.5 * fwidth(f) + 1e-4);
  return smoothstep(0.5 - w, 0.5 + w, f);
}

// Coverage of the second colour: none at p4 ((q4 + 1) / 2 pixels outside
// the edge), full a little over halfway to the edge.
float df_second(float f, float p4) {
  float hi = mix(p4, 0.5, 0.6);
  return hi - p4 < 1e-4 ? step(p4, f) : smoothstep(p4, hi, f);
}

// The move of the second colour in atlas units from the red and green bytes.
vec2 df_move(vec4 params) { return (vec2(1.0) - 2.0 * params.rg) / 64.0; }

// `colour` with coverage `a` over the pre-multiplied `under`.
vec4 df_over(vec4 under, vec4 colour, float a) {
  float k = colour.a * a;
  return vec4(colour.rgb * k, k) + under * (1.0 - k);
}
