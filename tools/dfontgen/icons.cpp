// Icons drawn from simple shapes on a 64 x 64 design grid (y down), each
// shape added to or cut from one of four layers: layer 0 (alpha) is the
// silhouette, layers 1..3 (red, green, blue) are details drawn over it in
// that order. Callers colour the layers, so one drawing serves every tint.
// Every icon is stored as four distance fields in an 80 x 80 cell (the 64
// units plus the spread on each side) and described centred on its
// placement point.
#include "icons.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "sdf.h"

namespace {

constexpr int ICON = 64;     // design units = field texels
constexpr int SPREAD = 8;    // field texels on each side
constexpr int SCALE = 4;     // mask pixels per texel
constexpr int CELL = ICON + 2 * SPREAD;
constexpr int ATLAS = 512;
constexpr float PI = 3.14159265f;

// Layers (A, R, G, B) to byte channels of a B, G, R, A pixel.
constexpr int layer_channel[4] = {3, 2, 1, 0};

struct P {
  float x, y;
};
using Inside = std::function<bool(float, float)>;

struct Op {
  int layer;
  bool cut;
  Inside inside;
};

struct Icon {
  std::vector<Op> ops;
  void add(int layer, Inside f) { ops.push_back(Op{layer, false, std::move(f)}); }
  void cut(int layer, Inside f) { ops.push_back(Op{layer, true, std::move(f)}); }
};

// {===== Shapes

Inside circle(float cx, float cy, float r) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
Inside ellipse(float cx, float cy, float rx, float ry) {
  return [=](float x, float y) {
    float u = (x - cx) / rx, v = (y - cy) / ry;
    return u * u + v * v <= 1;
  };
}
Inside ring(float cx, float cy, float r0, float r1) {
  return [=](float x, float y) {
    float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d >= r0 * r0 && d <= r1 * r1;
  };
}
Inside box(float x0, float y0, float x1, float y1) {
  return [=](float x, float y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
}
Inside poly(std::vector<P> p) {
  return [p = std::move(p)](float x, float y) {
    bool in = false;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
      if ((p[i].y > y) != (p[j].y > y) &&
          x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
        in = !in;
    return in;
  };
}
// A thick polyline with round joints and ends.
Inside stroke(std::vector<P> p, float width) {
  float r2 = width * width * 0.25f;
  return [p = std::move(p), r2](float x, float y) {
    for (size_t i = 0; i + 1 < p.size(); i++) {
      float ex = p[i + 1].x - p[i].x, ey = p[i + 1].y - p[i].y;
      float len2 = ex * ex + ey * ey;
      float t = len2 > 0 ? ((x - p[i].x) * ex + (y - p[i].y) * ey) / len2 : 0;
      t = t < 0 ? 0 : t > 1 ? 1 : t;
      float dx = x - p[i].x - t * ex, dy = y - p[i].y - t * ey;
      if (dx * dx + dy * dy <= r2) return true;
    }
    return false;
  };
}
// A regular star (points = n) or polygon (inner = outer) around (cx, cy),
// first point straight up.
std::vector<P> star_points(float cx, float cy, int n, float outer, float inner) {
  std::vector<P> p;
  for (int i = 0; i < 2 * n; i++) {
    float a = -PI / 2 + PI * float(i) / float(n);
    float r = i % 2 ? inner : outer;
    p.push_back(P{cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return p;
}
std::vector<P> flame_points(float s, float dx, float dy) {
  std::vector<P> p = {{17, 40}, {19, 26}, {25, 32}, {28, 14}, {32, 4}, {37, 20},
                      {40, 15}, {44, 26}, {47, 40}};
  for (P& q : p) q = P{32 + (q.x - 32) * s + dx, 32 + (q.y - 32) * s + dy};
  return p;
}
Inside heart(float cx, float cy, float s) {
  Inside a = circle(cx - 10 * s, cy - 8 * s, 12 * s), b = circle(cx + 10 * s, cy - 8 * s, 12 * s);
  Inside c = poly({{cx - 21.5f * s, cy - 3 * s}, {cx, cy + 22 * s}, {cx + 21.5f * s, cy - 3 * s}, {cx, cy - 12 * s}});
  return [=](float x, float y) { return a(x, y) || b(x, y) || c(x, y); };
}
Inside drop(float cx, float cy, float r) {
  Inside a = circle(cx, cy, r), b = poly({{cx - r * 0.94f, cy - r * 0.35f}, {cx, cy - r * 2.1f}, {cx + r * 0.94f, cy - r * 0.35f}});
  return [=](float x, float y) { return a(x, y) || b(x, y); };
}
Inside bolt(float s, float dx, float dy) {
  std::vector<P> p = {{36, 2}, {14, 36}, {29, 36}, {22, 62}, {50, 24}, {34, 24}, {44, 2}};
  for (P& q : p) q = P{32 + (q.x - 32) * s + dx, 32 + (q.y - 32) * s + dy};
  return poly(p);
}
Inside plus(float cx, float cy, float half, float w) {
  return [=](float x, float y) {
    return (std::fabs(x - cx) <= w / 2 && std::fabs(y - cy) <= half) ||
           (std::fabs(y - cy) <= w / 2 && std::fabs(x - cx) <= half);
  };
}

// {===== The icons

struct NamedIcon {
  const char* name;
  void (*draw)(Icon&);
};

const NamedIcon icons[] = {
    // Spells, by their icon names in the spell catalogue.
    {"fireball", [](Icon& i) {
       i.add(0, circle(32, 44, 18));
       i.add(0, poly(flame_points(1.2f, 0, 2)));
       i.add(1, circle(32, 47, 12));
       i.add(1, poly(flame_points(0.75f, 0, 12)));
       i.add(2, circle(32, 50, 6));
     }},
    {"water_globe", [](Icon& i) {
       i.add(0, circle(32, 32, 26));
       i.add(1, circle(32, 32, 26));
       i.cut(1, circle(32, 14, 26));
       i.add(2, ellipse(22, 20, 7, 4));
       i.add(3, stroke({{12, 40}, {20, 36}, {28, 40}, {36, 36}, {44, 40}, {52, 36}}, 2.5f));
     }},
    {"fracture", [](Icon& i) {
       i.add(0, box(4, 22, 60, 52));
       i.add(1, box(4, 22, 60, 29));
       Inside crack = stroke({{30, 18}, {37, 28}, {27, 37}, {35, 46}, {31, 56}}, 5);
       i.cut(0, crack);
       i.cut(1, crack);
     }},
    {"meteor", [](Icon& i) {
       i.add(0, circle(40, 40, 14));
       i.add(0, poly({{4, 4}, {50, 30}, {30, 50}}));
       i.add(1, poly({{12, 12}, {44, 34}, {34, 44}}));
       i.add(2, circle(40, 40, 9));
       i.add(3, circle(37, 37, 3));
       i.add(3, circle(45, 44, 2));
     }},
    {"hill", [](Icon& i) {
       Inside mound = ellipse(32, 60, 28, 24);
       i.add(0, [=](float x, float y) { return mound(x, y) && y <= 60; });
       i.add(0, poly({{32, 2}, {45, 17}, {37, 17}, {37, 30}, {27, 30}, {27, 17}, {19, 17}}));
       i.add(1, poly({{32, 2}, {45, 17}, {37, 17}, {37, 30}, {27, 30}, {27, 17}, {19, 17}}));
       i.add(2, [=](float x, float y) { return mound(x, y) && y <= 60 && y < 44 && x < 30; });
     }},
    {"pit", [](Icon& i) {
       i.add(0, box(2, 34, 62, 60));
       i.cut(0, ellipse(32, 34, 22, 16));
       Inside arrow = poly({{27, 2}, {37, 2}, {37, 22}, {45, 22}, {32, 40}, {19, 22}, {27, 22}});
       i.add(0, arrow);
       i.add(1, arrow);
       i.add(3, [](float x, float y) { return y >= 34 && y <= 38 && (x < 9 || x > 55); });
     }},
    {"volcano", [](Icon& i) {
       i.add(0, poly({{2, 60}, {24, 24}, {40, 24}, {62, 60}}));
       i.add(0, circle(26, 14, 6));
       i.add(0, circle(37, 10, 7));
       i.add(1, poly({{25, 24}, {39, 24}, {35, 36}, {38, 50}, {31, 50}, {31, 36}}));
       i.add(1, circle(26, 14, 6));
       i.add(1, circle(37, 10, 7));
       i.add(2, circle(37, 10, 3));
     }},
    {"water_source", [](Icon& i) {
       i.add(0, drop(32, 40, 20));
       i.add(2, ellipse(23, 40, 3, 7));
       i.add(3, plus(34, 42, 10, 5));
     }},
    {"water_sink", [](Icon& i) {
       i.add(0, drop(32, 40, 20));
       i.add(2, ellipse(23, 40, 3, 7));
       i.add(3, box(24, 39.5f, 44, 44.5f));
     }},
    {"lightning_storm", [](Icon& i) {
       Inside cloud = [a = circle(19, 24, 11), b = circle(33, 18, 14), c = circle(46, 25, 11),
                       d = box(9, 24, 55, 36)](float x, float y) {
         return a(x, y) || b(x, y) || c(x, y) || d(x, y);
       };
       Inside b = bolt(0.5f, 2, 24);
       i.add(0, cloud);
       i.add(0, b);
       i.add(1, b);
       i.add(2, [=](float x, float y) { return cloud(x, y) && y < 22; });
     }},
    {"healing", [](Icon& i) {
       i.add(0, heart(32, 34, 1.2f));
       i.add(2, plus(32, 32, 11, 6));
     }},
    {"lightning", [](Icon& i) {
       i.add(0, bolt(1, 0, 0));
       i.add(2, bolt(0.5f, 0, 0));
     }},
    {"castle", [](Icon& i) {
       i.add(0, box(10, 30, 54, 60));
       i.add(0, box(4, 16, 18, 60));
       i.add(0, box(46, 16, 60, 60));
       i.add(0, box(24, 12, 40, 30));
       for (float x : {4.f, 13.f, 46.f, 55.f}) i.add(0, box(x, 9, x + 5, 16));
       for (float x : {24.f, 35.f}) i.add(0, box(x, 6, x + 5, 12));
       i.add(3, circle(32, 48, 6));
       i.add(3, box(26, 48, 38, 60));
       i.add(3, box(9, 24, 13, 31));
       i.add(3, box(51, 24, 55, 31));
       i.add(1, box(10, 30, 54, 34));
     }},
    {"portal", [](Icon& i) {
       i.add(0, ellipse(32, 32, 21, 29));
       i.add(1, ellipse(32, 32, 15, 23));
       i.add(2, ellipse(32, 32, 7, 13));
     }},
    {"fireball_tower", [](Icon& i) {
       i.add(0, poly({{20, 62}, {22, 20}, {42, 20}, {44, 62}}));
       i.add(0, box(17, 16, 47, 22));
       for (float x : {17.f, 28.f, 39.f}) i.add(0, box(x, 8, x + 8, 16));
       i.add(3, box(27, 28, 37, 40));
       i.add(3, box(28, 50, 36, 62));
       i.add(1, circle(32, 35, 4));
       i.add(1, poly({{28, 35}, {32, 27}, {36, 35}}));
     }},
    {"possess_mana", [](Icon& i) {
       i.add(0, circle(30, 38, 22));
       i.add(0, box(46, 4, 50, 24));
       i.add(0, poly({{48, 4}, {62, 10}, {48, 16}}));
       i.add(1, circle(30, 38, 15));
       i.add(2, circle(23, 31, 4));
       i.add(3, poly({{48, 4}, {62, 10}, {48, 16}}));
     }},
    // Global resources.
    {"shard", [](Icon& i) {
       i.add(0, poly({{32, 2}, {47, 22}, {38, 62}, {26, 62}, {17, 22}}));
       i.add(1, poly({{32, 2}, {38, 22}, {32, 62}, {26, 22}}));
       i.add(2, stroke({{22, 22}, {28, 50}}, 2));
     }},
    {"magic_vortex", [](Icon& i) {
       std::vector<P> s;
       for (int k = 0; k <= 60; k++) {
         float a = float(k) * 0.2f, r = 3 + 2.1f * a;
         s.push_back(P{32 + r * std::cos(a), 32 + r * std::sin(a)});
       }
       i.add(0, stroke(s, 6));
       i.add(1, stroke(s, 2.5f));
       i.add(2, circle(32, 32, 4));
     }},
    {"firebloom", [](Icon& i) {
       for (int k = 0; k < 6; k++) {
         float a = PI * 2 * float(k) / 6;
         i.add(0, circle(32 + 16 * std::cos(a), 30 + 16 * std::sin(a), 9));
       }
       i.add(0, box(30, 40, 34, 62));
       i.add(1, circle(32, 30, 11));
       i.add(2, circle(32, 30, 5));
       i.add(3, box(30, 46, 34, 62));
     }},
    {"fallen_star", [](Icon& i) {
       i.add(0, poly(star_points(38, 26, 5, 24, 10)));
       i.add(0, stroke({{4, 60}, {22, 42}}, 4));
       i.add(0, stroke({{14, 62}, {26, 50}}, 3));
       i.add(0, stroke({{2, 48}, {16, 38}}, 3));
       i.add(2, poly(star_points(38, 27, 5, 12, 5)));
     }},
    {"rare_seed", [](Icon& i) {
       i.add(0, ellipse(30, 42, 14, 19));
       i.add(0, poly({{30, 24}, {42, 6}, {54, 6}, {44, 20}}));
       i.add(1, poly({{30, 24}, {42, 6}, {54, 6}, {44, 20}}));
       i.add(3, stroke({{30, 28}, {30, 56}}, 2));
       i.add(2, ellipse(24, 38, 3, 7));
     }},
    // Interface symbols.
    {"health", [](Icon& i) {
       i.add(0, heart(32, 34, 1.2f));
       i.add(2, ellipse(20, 24, 4, 6));
     }},
    {"mana", [](Icon& i) {
       i.add(0, circle(32, 32, 26));
       i.add(1, circle(32, 34, 18));
       i.add(2, circle(23, 23, 5));
     }},
    {"arrow", [](Icon& i) { i.add(0, poly({{32, 2}, {56, 60}, {32, 46}, {8, 60}})); }},
    {"lock", [](Icon& i) {
       i.add(0, box(12, 28, 52, 60));
       i.add(0, [r = ring(32, 28, 10, 17)](float x, float y) { return r(x, y) && y <= 30; });
       i.add(0, box(15, 26, 22, 32));
       i.add(0, box(42, 26, 49, 32));
       i.add(3, circle(32, 40, 5));
       i.add(3, poly({{29, 40}, {35, 40}, {37, 53}, {27, 53}}));
     }},
    {"check", [](Icon& i) { i.add(0, stroke({{10, 34}, {26, 50}, {54, 14}}, 10)); }},
    {"close", [](Icon& i) {
       i.add(0, stroke({{12, 12}, {52, 52}}, 10));
       i.add(0, stroke({{52, 12}, {12, 52}}, 10));
     }},
    {"options", [](Icon& i) {
       i.add(0, circle(32, 32, 20));
       for (int k = 0; k < 8; k++) {
         float a = PI * 2 * float(k) / 8, c = std::cos(a), s = std::sin(a);
         auto at = [&](float u, float v) { return P{32 + c * u - s * v, 32 + s * u + c * v}; };
         i.add(0, poly({at(14, -6), at(29, -5), at(29, 5), at(14, 6)}));
       }
       i.cut(0, circle(32, 32, 8));
       i.add(1, ring(32, 32, 8, 13));
     }},
    {"save", [](Icon& i) {
       i.add(0, poly({{6, 6}, {48, 6}, {58, 16}, {58, 58}, {6, 58}}));
       i.add(2, box(16, 34, 48, 58));
       i.add(3, box(18, 6, 42, 22));
       i.add(2, box(34, 9, 39, 19));
     }},
    {"skull", [](Icon& i) {
       i.add(0, circle(32, 28, 22));
       i.add(0, box(20, 40, 44, 58));
       i.add(3, circle(23, 30, 6));
       i.add(3, circle(41, 30, 6));
       i.add(3, poly({{32, 37}, {36, 45}, {28, 45}}));
       for (float x : {26.f, 32.f, 38.f}) i.add(3, box(x - 1, 50, x + 1, 58));
     }},
    {"world", [](Icon& i) {
       i.add(0, circle(32, 32, 26));
       i.add(1, ellipse(24, 24, 9, 12));
       i.add(1, ellipse(42, 42, 10, 7));
       i.add(1, ellipse(44, 18, 5, 4));
       i.add(2, ellipse(18, 20, 3, 5));
     }},
    {"hourglass", [](Icon& i) {
       i.add(0, poly({{12, 4}, {52, 4}, {52, 10}, {37, 32}, {52, 54}, {52, 60}, {12, 60}, {12, 54}, {27, 32}, {12, 10}}));
       i.add(1, poly({{20, 54}, {32, 42}, {44, 54}}));
       i.add(1, poly({{22, 16}, {42, 16}, {32, 28}}));
       i.add(3, box(10, 2, 54, 6));
       i.add(3, box(10, 58, 54, 62));
     }},
    {"info", [](Icon& i) {
       i.add(0, circle(32, 32, 27));
       i.add(3, circle(32, 18, 4.5f));
       i.add(3, box(28, 26, 36, 49));
     }},
    {"warning", [](Icon& i) {
       i.add(0, poly({{32, 3}, {62, 58}, {2, 58}}));
       i.add(3, poly({{29, 20}, {35, 20}, {34, 42}, {30, 42}}));
       i.add(3, circle(32, 49, 3.5f));
     }},
    {"monster_spawn", [](Icon& i) {
       // A wyvern's head in profile: skull, jaw, horn, eye.
       i.add(0, poly({{6, 30}, {22, 18}, {44, 16}, {58, 24}, {58, 34}, {40, 40}, {58, 52}, {30, 54}, {10, 42}}));
       i.add(0, poly({{40, 18}, {30, 2}, {48, 18}}));
       i.add(3, circle(42, 26, 3.5f));
       i.add(1, poly({{40, 40}, {58, 52}, {36, 50}}));
     }},
    {"menu", [](Icon& i) {
       for (float y : {12.f, 32.f, 52.f}) i.add(0, stroke({{10, y}, {54, y}}, 8));
     }},
};

} // namespace

bool make_icons(const std::string& dir) {
  std::vector<uint8_t> atlas(size_t(ATLAS) * ATLAS * 4, 0);
  ShelfPacker packer(ATLAS, ATLAS);
  FILE* f = fopen((dir + "ui_icons.txt").c_str(), "w");
  if (!f) return false;
  int n = int(sizeof icons / sizeof icons[0]);
  fprintf(f, "info file=\"ui_icons\" scaleW=%d scaleH=%d spread=%d\n", ATLAS, ATLAS, SPREAD);
  fprintf(f, "icons count=%d\n", n);
  for (const NamedIcon& ni : icons) {
    Icon icon;
    ni.draw(icon);
    int ax, ay;
    if (!packer.place(CELL, CELL, ax, ay)) {
      fprintf(stderr, "dfontgen: the icon atlas is full at '%s'\n", ni.name);
      fclose(f);
      return false;
    }
    for (int layer = 0; layer < 4; layer++) {
      Mask m(CELL * SCALE, CELL * SCALE);
      for (const Op& op : icon.ops) {
        if (op.layer != layer) continue;
        for (int y = 0; y < m.h; y++)
          for (int x = 0; x < m.w; x++) {
            float u = (float(x) + 0.5f) / SCALE - SPREAD, v = (float(y) + 0.5f) / SCALE - SPREAD;
            if (op.inside(u, v)) m.at(x, y) = op.cut ? 0 : 1;
          }
      }
      mask_to_field(m, SCALE, SPREAD, &atlas[(size_t(ay) * ATLAS + ax) * 4], ATLAS * 4,
                    layer_channel[layer]);
    }
    // Nominal size, then x, y, width, height, xoffset, yoffset: centred.
    fprintf(f, "icon \"%s\" %d %d %d %d %d %d %d %d\n", ni.name, ICON, ICON, ax, ay, CELL, CELL,
            -CELL / 2, CELL / 2);
  }
  bool ok = fclose(f) == 0;
  return ok && write_dds_argb(dir + "ui_icons.dds", ATLAS, ATLAS, atlas);
}
