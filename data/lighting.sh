// The sky's lighting constants as the world pixel shaders read them, and the
// light, haze and sky-colour helpers they share. Registers: c0 sun direction
// (cone cosine in w), c1..c10 the script's ten colours, c11 and c12 the
// derived ones, c13 the lighting sun direction; c14 the camera position and
// c15.x the time in seconds (both set by the scene).
#define SUN_DIR pc[0].xyz
#define SUN_COLOR pc[1].rgb
#define AMBIENT pc[2].rgb
#define HAZE_EXT pc[3].rgb
#define HAZE_COLOR pc[4].rgb
#define ZENITH_COLOR pc[5].rgb
#define HORIZON_COLOR pc[6].rgb
#define GROUND_COLOR pc[7].rgb
#define WATER_COLOR pc[8].rgb
#define LAVA_COLOR pc[9].rgb
#define SUN_DISK pc[10].rgb
#define LIGHT_DIR pc[13].xyz
#define CAMERA_POS pc[14].xyz
#define TIME pc[15].x

#ifdef PSH
// Haze over a distance in world units (extinction per 100 units).
vec3 apply_haze(vec3 c, float dist) {
  vec3 t = exp(-HAZE_EXT * (dist * 0.01));
  return c * t + HAZE_COLOR * (1.0 - t);
}

// Sun and sky light on a surface with normal n, sun visibility `shadow` and
// sky visibility `aper`.
vec3 surface_light(vec3 n, float shadow, float aper) {
  float ndl = max(dot(n, LIGHT_DIR), 0.0);
  return SUN_COLOR * (ndl * shadow) + AMBIENT * aper * (0.55 + 0.45 * n.y);
}

// The sky's colour in a view direction (no sun disk, no clouds).
vec3 sky_gradient(vec3 d) {
  float e = d.y;
  vec3 up = mix(HORIZON_COLOR, ZENITH_COLOR, sqrt(clamp(e, 0.0, 1.0)));
  vec3 down = mix(HORIZON_COLOR, GROUND_COLOR, clamp(-e * 5.0, 0.0, 1.0));
  vec3 c = e >= 0.0 ? up : down;
  float sd = max(dot(d, SUN_DIR), 0.0);
  return c + SUN_COLOR * 0.18 * pow(sd, 8.0); // the bright halo round the sun
}

// Low quality has no horizon ring: the land fades into the sky's own colour
// as it nears the edge of the drawn window (radius 130 cells).
vec3 fade_to_sky(vec3 c, vec3 w) {
  vec3 d = w - CAMERA_POS;
  float t = smoothstep(96.0, 126.0, length(d.xz));
  return mix(c, sky_gradient(normalize(d)), t);
}

// Bilinear fetch from a point-filtered texture of `size` texels (level 0).
vec4 tex_bilinear(sampler2D s, vec2 uv, float size) {
  vec2 p = uv * size - 0.5;
  vec2 f = fract(p);
  vec2 b = (floor(p) + 0.5) / size;
  float t = 1.0 / size;
  vec4 a = textureLod(s, b, 0.0), c = textureLod(s, b + vec2(t, 0.0), 0.0);
  vec4 d = textureLod(s, b + vec2(0.0, t), 0.0), e = textureLod(s, b + vec2(t, t), 0.0);
  return mix(mix(a, c, f.x), mix(d, e, f.x), f.y);
}
#endif
