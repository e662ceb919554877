// GUI rounded boxes, borders, shadows and lines (see render/ui_draw.h for
// the vertex words). Screen pixels in, c16.xy = 2 / screen size.
#include "prologue.sh"

#ifdef VSH
in vec2 POSITION0;
in vec2 TEXCOORD0; // centre
in vec2 TEXCOORD1; // width, height
in vec4 COLOR0;    // second: top and bottom brightness / 2, unused, border width / 255
in vec4 COLOR1;    // fill
in vec4 COLOR2;    // colour2: border
in vec4 COLOR3;    // dx/255 + .5, dy/255 + .5, size/255 + .5, radius/255
in float TEXCOORD2; // extra: soft edge width
out vec2 v_pos;
out vec2 v_centre;
out vec2 v_half;
out vec4 v_second;
out vec4 v_fill;
out vec4 v_colour2;
out vec4 v_params;
out float v_extra;
void vsh() {
  gl_Position = rh_clip(rh_pixel_to_clip(POSITION0, vc[16].xy));
  v_pos = POSITION0;
  v_centre = TEXCOORD0;
  v_half = TEXCOORD1 * 0.5;
  v_second = COLOR0;
  v_fill = COLOR1;
  v_colour2 = COLOR2;
  v_params = COLOR3;
  v_extra = TEXCOORD2;
}
#endif

#ifdef PSH
in vec2 v_pos;
in vec2 v_centre;
in vec2 v_half;
in vec4 v_second;
in vec4 v_fill;
in vec4 v_colour2;
in vec4 v_params;
in float v_extra;
out vec4 o_color;

// Signed distance to a rounded rectangle of half size b and corner radius r.
float box_dist(vec2 p, vec2 b, float r) {
  vec2 q = abs(p) - b + r;
  return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - r;
}

void psh() {
  float radius = v_params.w * 255.0;
  if (radius < 0.25) { // lines: the quad itself
    o_color = v_fill;
    rh_alpha_test(o_color.a);
    return;
  }
  vec2 shift = (v_params.xy - 0.5) * 255.0;
  float grow = (v_params.z - 0.5) * 255.0;
  vec2 half_size = max(v_half + grow, vec2(0.0));
  float r = min(radius + max(grow, 0.0), min(half_size.x, half_size.y));
  float d = box_dist(v_pos - v_centre - shift, half_size, r);
  float soft = max(v_extra, 1.0);
  float cover = clamp(0.5 - d / soft, 0.0, 1.0);

  // Vertical brightness gradient of the fill.
  float t = clamp((v_pos.y - (v_centre.y - v_half.y)) / max(2.0 * v_half.y, 1.0), 0.0, 1.0);
  float bright = mix(v_second.x, v_second.y, t) * 2.0;
  vec4 c = vec4(v_fill.rgb * bright, v_fill.a);

  float border = v_second.w * 255.0;
  if (border > 0.0) {
    float inner = clamp(0.5 - (d + border), 0.0, 1.0); // 1 inside the border's inner edge
    c = mix(v_colour2, c, inner);
  }
  c.a *= cover;
  rh_alpha_test(c.a);
  o_color = c;
}
#endif
