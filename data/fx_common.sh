// Shared by the effect shaders (particles, trails, lightning): how a pixel
// adds to the effects target. With SINGLE_RT the floating-point target holds
// everything: rgb the premultiplied blend colour plus the glow light, alpha
// the blend coverage. Otherwise target 0 holds the blend part and target 1
// the glow light (8-bit targets saturate, so the two are kept apart).
// Blending is additive; postBlend.sh composites the sums over the scene.
#ifdef VSH
// Effect positions are world positions; vc[0..3] is the global matrix.
vec4 fx_clip(vec3 p) { return rh_clip(mul_vc(vec4(p, 1.0), 0)); }
#endif

#ifdef PSH
layout(location = 0) out vec4 o_fx0;
#ifndef SINGLE_RT
layout(location = 1) out vec4 o_fx1;
#endif

// A blended (smoke-like) colour with straight alpha.
void fx_out_blend(vec4 c) {
  o_fx0 = vec4(c.rgb * c.a, c.a);
#ifndef SINGLE_RT
  o_fx1 = vec4(0.0);
#endif
}

// Light added over the scene, covering nothing.
void fx_out_glow(vec3 light) {
#ifdef SINGLE_RT
  o_fx0 = vec4(light, 0.0);
#else
  o_fx0 = vec4(0.0);
  o_fx1 = vec4(light, 0.0);
#endif
}
#endif
