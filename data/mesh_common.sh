// Instanced meshes, shared by the eight mesh shaders: "mesh.sh" (Simple),
// "mesh_morph.sh", "mesh_spline.sh", "mesh_building.sh" at low quality
// (lit directly, hazed) and their "dr_" versions (into the G-buffer, see
// gbuffer.sh). SHADOW (the renderers' shadow variant) writes the caster's
// light depth, dot((world, 1), vc[9]), into every channel of a shadow map
// that blends with MAX.
//
// Mesh vertex (stream 0): POSITION0, NORMAL0, TEXCOORD0; Morph meshes add
// the offsets of two morph targets in POSITION1 and POSITION2. Instance data
// (stream 1) as laid out in render/instRender.h. VS c0..c3 the global matrix.
#ifdef VSH
in vec3 POSITION0;
in vec3 NORMAL0;
in vec2 TEXCOORD0;
#if defined(MESH_SPLINE)
in vec3 POSITION10;
in vec3 POSITION11;
in vec4 POSITION12;
in vec4 POSITION13;
in vec4 NORMAL10;
in vec4 NORMAL11;
in vec4 COLOR10;
in vec4 COLOR11;
#elif defined(MESH_BUILDING)
in vec2 POSITION10;
in vec4 POSITION11;
in vec4 POSITION12;
#else
in vec3 POSITION10;
in vec3 POSITION11;
in vec3 POSITION12;
in vec3 POSITION13;
in vec4 COLOR10;
#ifdef MESH_MORPH
in vec3 POSITION1;
in vec3 POSITION2;
in vec4 POSITION15;
#endif
#endif
out vec3 v_world;
out vec3 v_normal;
out vec2 v_uv;
out vec4 v_color;
#ifdef SHADOW
out float v_depth;
#endif

void vsh() {
  vec3 p, n;
  vec4 col;
#if defined(MESH_SPLINE)
  // A cubic Hermite segment: the mesh's z is the curve parameter, its x and
  // y lie across the curve (side and up), scaled by the tangents' w.
  float t = POSITION0.z, t2 = t * t, t3 = t2 * t;
  vec3 c = (2.0 * t3 - 3.0 * t2 + 1.0) * POSITION10 + (t3 - 2.0 * t2 + t) * POSITION12.xyz +
           (3.0 * t2 - 2.0 * t3) * POSITION11 + (t3 - t2) * POSITION13.xyz;
  vec3 d = (6.0 * t2 - 6.0 * t) * POSITION10 + (3.0 * t2 - 4.0 * t + 1.0) * POSITION12.xyz +
           (6.0 * t - 6.0 * t2) * POSITION11 + (3.0 * t2 - 2.0 * t) * POSITION13.xyz;
  if (dot(d, d) < 1e-10) d = POSITION11 - POSITION10 + vec3(0.0, 0.0, 1e-4);
  vec3 fwd = normalize(d);
  vec3 up = mix(NORMAL10.xyz, NORMAL11.xyz, t) * 2.0 - 1.0;
  vec3 side = cross(up, fwd);
  side = dot(side, side) < 1e-8 ? normalize(cross(vec3(0.0, 1.0, 0.0), fwd) + vec3(1e-4, 0.0, 0.0)) : normalize(side);
  up = cross(fwd, side);
  float s = mix(POSITION12.w, POSITION13.w, t);
  p = c + s * (POSITION0.x * side + POSITION0.y * up);
  n = NORMAL0.x * side + NORMAL0.y * up + NORMAL0.z * fwd;
  col = mix(COLOR10, COLOR11, t);
#elif defined(MESH_BUILDING)
  // A piece of one cell, turned by quarter turns about the cell's centre.
  int turns = int(floor(POSITION11.y + 0.5)) & 3;
  vec2 q = POSITION0.xz - 0.5, m = NORMAL0.xz;
  for (int i = 0; i < turns; i++) {
    q = vec2(q.y, -q.x);
    m = vec2(m.y, -m.x);
  }
  float hs = POSITION11.z;
  p = vec3(POSITION10.x + 0.5 + q.x, POSITION11.x + POSITION0.y * hs, POSITION10.y + 0.5 + q.y);
  n = vec3(m.x * hs, NORMAL0.y, m.y * hs);
  col = POSITION12;
#else
  vec3 lp = POSITION0;
#ifdef MESH_MORPH
  lp += POSITION1 * POSITION15.r + POSITION2 * POSITION15.g;
#endif
  p = lp.x * POSITION11 + lp.y * POSITION12 + lp.z * POSITION13 + POSITION10;
  n = NORMAL0.x * POSITION11 + NORMAL0.y * POSITION12 + NORMAL0.z * POSITION13;
  col = COLOR10;
#endif
  v_world = p;
  v_normal = n;
  v_uv = TEXCOORD0;
  v_color = col;
#ifdef SHADOW
  v_depth = dot(vec4(p, 1.0), vc[9]);
#endif
  gl_Position = rh_clip(mul_vc(vec4(p, 1.0), 0));
}
#endif

#ifdef PSH
in vec3 v_world;
in vec3 v_normal;
in vec2 v_uv;
in vec4 v_color;
#ifdef SHADOW
in float v_depth;
out vec4 o_color;
void psh() { o_color = vec4(v_depth); }
#else
// Texture rgb times the tint; the texture's alpha below 1 marks glowing
// parts (emission = 1 - alpha).
vec3 mesh_albedo(vec4 tex) { return tex.rgb * v_color.rgb; }
#ifdef MESH_DEFERRED
layout(location = 0) out vec4 o_albedo;
layout(location = 1) out vec4 o_normal;
layout(location = 2) out vec4 o_dist;
void psh() {
  vec4 tex = texture(s0, v_uv);
  o_albedo = vec4(mesh_albedo(tex), 1.0 - tex.a);
  o_normal = vec4(normalize(v_normal) * 0.5 + 0.5, 0.0);
  o_dist = encode_distance(distance(v_world, CAMERA_POS));
}
#else
out vec4 o_color;
void psh() {
  vec4 tex = texture(s0, v_uv);
  vec3 a = mesh_albedo(tex);
  vec3 c = a * surface_light(normalize(v_normal), 1.0, 1.0) + a * 4.0 * (1.0 - tex.a);
  o_color = vec4(fade_to_sky(apply_haze(c, distance(v_world, CAMERA_POS)), v_world), 1.0);
}
#endif
#endif
#endif
