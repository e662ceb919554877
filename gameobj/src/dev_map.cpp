// The developer mode's world map: the host's map texture of the whole
// wrapping world centred on the camera, with the camera's place and view and
// an icon per object of interest (orbs, pickups, the portal, creatures by
// kind, fires, castle, towers, volcanoes, springs) and a legend. Hidden until
// the "Show map" control (Tab) or the developer socket's "devMap" shows it.
// Also the class relation the object walk filters by.
#include <string.h>

#include <vector>

#include "core/app_globals.h"
#include "core/input.h"
#include "core/log.h"
#include "devtools/dev_server.h"
#include "gui/gui_draw.h"
#include "render/camera.h"
#include "render/distFont.h"
#include "render/hmRender.h"
#include "render/renderBatch.h"
#include "render/ui_draw.h"
#include "dev_map_layout.h"
#include "game.h"
#include "living_rules.h"
#include "objects.h"
#include "table_entries.h"

// {===== The class relation (for_each_game_object's filter)

namespace {

// Each class's base, from the class list.
constexpr int BASES[CID_COUNT] = {
    CID_NONE, CID_NONE,
#define GAMEOBJ_BASE_ID(name, base) CID_##base,
    GAMEOBJ_CLASSES(GAMEOBJ_BASE_ID)
#undef GAMEOBJ_BASE_ID
};

} // namespace

bool gameobj_class_is(int class_id, int base_id)
{
  // The chain is short (at most four steps to GameObj); the bound guards a
  // bad id.
  for (int steps = 0; class_id > CID_NONE && class_id < CID_COUNT && steps < CID_COUNT; ++steps) {
    if (class_id == base_id) return true;
    class_id = BASES[class_id];
  }
  return false;
}

// {===== What the map shows

namespace {

constexpr int B_MAP = 9; // the host's "Show map" control button

} // namespace

// The developer socket's "forceDevMap" (src/devtools) shows it as well.
extern bool force_dev_map;

namespace {

enum Kind {
  K_ORB,
  K_ORB_OWNED,
  K_SPELL,
  K_RESOURCE,
  K_PORTAL,
  K_WYVERN,
  K_CATERPILLAR,
  K_BIRD,
  K_TENTACLE,
  K_FIRE,
  K_CASTLE,
  K_TOWER,
  K_VOLCANO,
  K_SPRING,
  K_COUNT
};

const struct {
  const char* name;  // in the legend and the developer socket
  const char* icon;  // in the icon atlas
  D3dColor tint;
  float size;        // of the map's icon size
} KINDS[K_COUNT] = {
    {"orb", "mana", 0xFF7AB8FF, 1.0f},           {"orb_owned", "possess_mana", 0xFFFFD27A, 1.0f},
    {"spell", "info", 0xFFD8B0FF, 0.9f},         {"resource", "shard", 0xFFE8DCC0, 0.9f},
    {"portal", "portal", 0xFFC09AFF, 1.2f},      {"wyvern", "monster_spawn", 0xFFFF5A4A, 1.1f},
    {"caterpillar", "monster_spawn", 0xFF8AE05A, 1.0f}, {"bird", "monster_spawn", 0xFFF0F0F0, 0.6f},
    {"tentacle", "monster_spawn", 0xFF5AD8E8, 1.0f}, {"fire", "fireball", 0xFFFF8A3A, 0.8f},
    {"castle", "castle", 0xFFFFE8B0, 1.3f},      {"tower", "fireball_tower", 0xFFFFB070, 1.1f},
    {"volcano", "volcano", 0xFFFF6A3A, 1.2f},    {"spring", "water_source", 0xFF5AB4FF, 0.9f},
};

// The resources' icons (the HUD's names).
const char* resource_icon(const char* kind)
{
  static const char* const pairs[][2] = {
      {"shard", "shard"}, {"vortex", "magic_vortex"}, {"firebloom", "firebloom"}, {"star", "fallen_star"}, {"seed", "rare_seed"}};
  for (const auto& p : pairs)
    if (!strcmp(p[0], kind)) return p[1];
  return "shard";
}

struct Icon {
  int kind;
  int serial;
  float u, v;       // on the map (dev_map_layout.h)
  const char* icon; // the kind's, or the spell's or resource's own
};

// The kind an object shows as, or -1 for objects the map leaves out.
int kind_of(GameObj* obj, const char** icon)
{
  *icon = nullptr;
  const int cls = obj->classId();
  switch (cls) {
  case CID_ManaBall: return static_cast<ManaBall*>(obj)->owned ? K_ORB_OWNED : K_ORB;
  case CID_GlobResObject: *icon = resource_icon(static_cast<GlobResObject*>(obj)->kind); return K_RESOURCE;
  case CID_WorldPortal: return K_PORTAL;
  case CID_WyvernMonster: return K_WYVERN;
  case CID_LandMonster: return K_CATERPILLAR;
  case CID_BirdMonster: return K_BIRD;
  case CID_Tentacle: return K_TENTACLE;
  case CID_TreeObject: return static_cast<TreeObject*>(obj)->state == living::TREE_BURNING ? K_FIRE : -1;
  case CID_BurnEffect: return static_cast<BurnEffect*>(obj)->target ? -1 : K_FIRE; // a burning house
  case CID_CastleObject: return K_CASTLE;
  case CID_GuardTower: return K_TOWER;
  case CID_NaturalVolcano: return K_VOLCANO;
  case CID_WaterSource: {
    auto* s = static_cast<WaterSource*>(obj);
    return s->rate > 0 && s->time_left < 0 ? K_SPRING : -1; // springs pour for ever
  }
  default: break;
  }
  if (cls != CID_SpellObject && gameobj_class_is(cls, CID_SpellObject)) {
    const SpellInfo* info = find_spell_info(cls);
    if (info && info->icon) *icon = info->icon;
    return K_SPELL;
  }
  return -1;
}

struct Collect {
  float cx, cz;
  std::vector<Icon>* out;
};

bool collect_one(GameObject* o, void* user)
{
  auto* c = static_cast<Collect*>(user);
  auto* obj = static_cast<GameObj*>(o);
  const char* icon = nullptr;
  const int kind = kind_of(obj, &icon);
  float u, v;
  if (kind >= 0 && devmap::world_to_map(c->cx, c->cz, obj->pos[0], obj->pos[2], u, v))
    c->out->push_back(Icon{kind, obj->serialId, u, v, icon ? icon : KINDS[kind].icon});
  return true;
}

// The icons of every object of interest on a map centred on (cx, cz); the
// vector keeps its storage between frames.
void collect_icons(float cx, float cz, std::vector<Icon>& out)
{
  out.clear();
  Collect c{cx, cz, &out};
  for_each_game_object(0, &collect_one, &c);
}

// {===== Drawing

struct DevMap {
  bool shown = false;
  bool key_held = false; // the control's state last frame (its press toggles)
  RenderBatch batch;
  UiBatchState image_state;
  std::vector<Icon> icons;
} map;

D3dColor faded(D3dColor c, float a)
{
  int al = int(float(c >> 24) * (a < 0 ? 0 : a > 1 ? 1 : a) + 0.5f);
  return (c & 0xFFFFFF) | D3dColor(al) << 24;
}

void draw_icon(RenderBatch& b, const char* name, float x, float y, float px, D3dColor tint, float alpha, float ax = 1,
               float ay = 0)
{
  if (!ui_icons.loaded()) return;
  int id = ui_icons.getIconId(name);
  if (id < 0) return;
  const float s = px / fmaxf(1.f, ui_icons.getOrgW(id));
  ui_icons.renderIcon(b, x, y, ax, ay, s, id, 0, 0, 0, 3, faded(tint, alpha), faded(0xFFFFFFFF, alpha * 0.9f),
                      faded(0xFF303040, alpha), faded(0xFFFFD27A, alpha), faded(0xC0000000, alpha), nullptr);
}

void draw_label(RenderBatch& b, const char* s, float x, float y, int ha, D3dColor c, float px)
{
  if (default_font.loaded()) {
    const float pad = px / float(default_font.size) * float(default_font.spread);
    BatchRect r{x - pad, y - pad, x + pad, y + pad};
    int align = (ha < 0 ? 1 : ha > 0 ? 2 : 0);
    default_font.renderText(b, r, align, c, px, s, -1, 0, 0, 0, 3, 0xC0000000, nullptr);
    return;
  }
  gui_draw_text(b, s, x, y, ha, 0, c, px);
}

void draw_map(float w, float h)
{
  RenderBatch& b = map.batch;
  const devmap::Frame f = devmap::frame(w, h);
  const float u = f.size / 800; // a pixel scale for rims and text
  const float cx = camera.pos.x, cz = camera.pos.z;
  render_rounded_box(b, _mm_setr_ps(0, 0, w, h), _mm_setr_ps(127.5f, 127.5f, 127.5f, 0), 0x90000000, 0, 0, 0, 0, 0, -1);
  render_rounded_box(b, _mm_setr_ps(f.x0 - 10 * u, f.y0 - 10 * u, f.x0 + f.size + 10 * u, f.y0 + f.size + 10 * u),
                     _mm_setr_ps(127.5f, 127.5f, 127.5f, 2), 0xE0101620, 12 * u, 0, 0, 0, 0xFF8A6A34, -1);
  if (Texture* tex = HeightmapRenderer::mapTex) {
    init_ui_image_state(map.image_state, tex, nullptr);
    devmap::ImagePiece pieces[4];
    const int n = devmap::image_pieces(cx, cz, pieces);
    for (int i = 0; i < n; i++) {
      const devmap::ImagePiece& p = pieces[i];
      render_ui_image(b, map.image_state,
                      _mm_setr_ps(f.x0 + p.x0 * f.size, f.y0 + p.y0 * f.size, f.x0 + p.x1 * f.size, f.y0 + p.y1 * f.size),
                      0xFFFFFFFF, _mm_setr_ps(p.u0, p.v0, p.u1, p.v1));
    }
  }

  const WorldIconParams look = world_icon_params();
  const float icon_px = 30 * u * look.scale;
  int counts[K_COUNT] = {};
  collect_icons(cx, cz, map.icons);
  for (const Icon& i : map.icons) counts[i.kind]++;
  // Small things first, so creatures and buildings stay on top.
  for (int pass = 0; pass < 2; pass++)
    for (const Icon& i : map.icons) {
      const bool big = i.kind >= K_PORTAL && i.kind != K_BIRD && i.kind != K_FIRE;
      if (big != (pass == 1)) continue;
      draw_icon(b, i.icon, f.x0 + i.u * f.size, f.y0 + i.v * f.size, icon_px * KINDS[i.kind].size, KINDS[i.kind].tint,
                look.opacity);
    }

  // The camera in the middle: its view as two rays and an arrow.
  const float mx = f.x0 + f.size * 0.5f, my = f.y0 + f.size * 0.5f;
  float dx = cur_view_itm.m[2][0], dz = cur_view_itm.m[2][2];
  float l = sqrtf(dx * dx + dz * dz);
  if (l > 1e-4f) dx /= l, dz /= l;
  else dx = 0, dz = 1;
  const float ray = f.size * 0.12f;
  for (int side = -1; side <= 1; side += 2) {
    const float a = 0.6f * side, ca = cosf(a), sa = sinf(a);
    const float rx = dx * ca - dz * sa, rz = dx * sa + dz * ca;
    render_ui_line(b, _mm_setr_ps(mx, my, mx + rx * ray, my - rz * ray), 2 * u + 1, 0xC0FFFFFF);
  }
  draw_icon(b, "arrow", mx, my, 34 * u, 0xFFFFFFFF, 1, dz, dx);

  // Title, the camera's place and the legend of what is on the map.
  char s[320];
  draw_label(b, "World map", f.x0, f.y0 - 30 * u, -1, 0xFFFFD27A, 34 * u);
  snprintf(s, sizeof s, "camera %.0f, %.0f  -  %s hides", cx, cz, get_button_key_name(B_MAP).c_str());
  draw_label(b, s, f.x0 + f.size, f.y0 - 30 * u, 1, 0xFFE8DCC0, 24 * u);
  float lx = f.x0, ly = f.y0 + f.size + 34 * u;
  for (int k = 0; k < K_COUNT; k++) {
    if (!counts[k]) continue;
    snprintf(s, sizeof s, "%s %d", KINDS[k].name, counts[k]);
    float tw = 0, th = 0;
    gui_measure_text(s, tw, th, 22 * u);
    if (lx + 30 * u + tw > f.x0 + f.size) lx = f.x0, ly += 32 * u;
    draw_icon(b, KINDS[k].icon, lx + 12 * u, ly, 26 * u * KINDS[k].size, KINDS[k].tint, 1);
    draw_label(b, s, lx + 28 * u, ly, -1, 0xFFE8DCC0, 22 * u);
    lx += 28 * u + tw + 24 * u;
  }
  flush_gui_batch(b);
}

// {===== Developer socket

// "devMap": show (i, optional) shows (1) or hides (0) the map; scale and
// opacity (d, optional) set the icons' looks. Answers the state and every
// icon as kind,serial,u,v (map coordinates 0..1 from the top left).
void cmd_dev_map(const DevMessage& msg, DevReply& reply)
{
  if (msg.has("show")) map.shown = msg.getInt("show") != 0;
  if (msg.has("scale") || msg.has("opacity")) {
    const WorldIconParams now = world_icon_params();
    set_world_icon_params(float(msg.getDouble("scale", now.scale)), float(msg.getDouble("opacity", now.opacity)));
  }
  const WorldIconParams look = world_icon_params();
  std::vector<Icon> icons;
  collect_icons(camera.pos.x, camera.pos.z, icons);
  reply.add(" shown=%d scale=%.2f opacity=%.2f icons=%d list=", map.shown || force_dev_map ? 1 : 0, look.scale, look.opacity,
            int(icons.size()));
  for (size_t i = 0; i < icons.size(); ++i)
    reply.add("%s%s,%d,%.4f,%.4f", i ? ";" : "", KINDS[icons[i].kind].name, icons[i].serial, icons[i].u, icons[i].v);
}

} // namespace

void render_dev_world_map(float)
{
  // The control's press toggles the map. Read as the live state from frame
  // to frame: the step's key edges are gone by the time frames are drawn.
  const bool held = isAppActive && button_state(B_MAP);
  if (held && !map.key_held) {
    map.shown = !map.shown;
    debug("dev map: %s", map.shown ? "shown" : "hidden");
  }
  map.key_held = held;
  if (!(map.shown || force_dev_map) || d3d_wd <= 0 || d3d_ht <= 0) return;
  draw_map(float(d3d_wd), float(d3d_ht));
}

void register_devmap_dev_commands()
{
  register_dev_command("devMap", &cmd_dev_map);
  register_tentacle_dev_commands();
}
