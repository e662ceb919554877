// The screen over a world: health and mana bars, the spell bar, owned mana
// and resources, the mini-map with its arrows, screen messages, pick-up
// animations and the crosshair. Drawn straight into one batch each frame
// (no element tree: nothing here takes keys, and the bar's few mouse rules
// are simpler than a screen's dispatch).
#include <string.h>

#include <string>
#include <vector>

#include "core/app_globals.h"
#include "core/input.h"
#include "core/log.h"
#include "core/platform.h"
#include "gui/gui_draw.h"
#include "host/gameobj_lists.h"
#include "render/camera.h"
#include "render/device.h"
#include "render/distFont.h"
#include "render/hmRender.h"
#include "render/renderBatch.h"
#include "world/universe.h"
#include "game.h"
#include "table_entries.h"
#include "ui_layout.h"
#include "ui_screens.h"

namespace {

constexpr D3dColor GOLD = 0xFFFFD27A, PARCHMENT = 0xFFE8DCC0, DIM = 0xFFB4AA96, SHADOW = 0xC0000000;

// The global resources (the universe's "resources" table) and their icons.
const struct {
  const char* name;
  const char* icon;
} RESOURCES[] = {{"shard", "shard"}, {"vortex", "magic_vortex"}, {"firebloom", "firebloom"},
                 {"star", "fallen_star"}, {"seed", "rare_seed"}};

struct Anim {
  std::string icon;
  int slot = -1;  // the bar slot it flies to, -1 for the resources row
  float t = 0;    // seconds since it started
};
constexpr float ANIM_SECONDS = 0.9f;

struct Hud {
  RenderBatch batch;
  UiBatchState map_state;
  std::string message, sub;
  float message_age = 1e9f, sub_age = 1e9f;
  std::vector<Anim> anims;
  int announced = -1; // the world whose name was shown on entering
  bool visible = true;
  int64_t last_draw = 0;
  int hover_slot = -1;
  bool over_bar = false;
  float clock = 0;
} hud;

// {===== Layout (ui_layout.h)

using ui::HudLayout;
HudLayout layout() { return ui::hud_layout((float)d3d_wd, (float)d3d_ht, spell_bar_count()); }

ui::Box slot_box(const HudLayout& l, int i) { return ui::hud_slot_box(l, i); }
ui::Box bar_box(const HudLayout& l) { return ui::hud_bar_box(l); }

// The filled slot under the point, or -1.
int slot_at(const HudLayout& l, float x, float y)
{
  for (int i = 0; i < spell_bar_count() && i < l.slots; i++)
    if (ui::inside(slot_box(l, i), x, y)) return i;
  return -1;
}

// {===== Drawing helpers

void box(RenderBatch& b, float x0, float y0, float x1, float y1, D3dColor fill, float radius, D3dColor rim = 0,
         float rim_w = 0)
{
  render_rounded_box(b, _mm_setr_ps(x0, y0, x1, y1), _mm_setr_ps(145, 110, 127.5f, rim_w), fill, radius, 0, 0, 0,
                     rim, -1);
}

// Text with a dark outline, readable over any land.
void text(RenderBatch& b, const char* s, float x, float y, int ha, int va, D3dColor c, float px)
{
  if (!*s) return;
  if (default_font.loaded()) {
    const float pad = px / (float)default_font.size * (float)default_font.spread;
    BatchRect r{x - pad, y - pad, x + pad, y + pad};
    int align = (ha < 0 ? 1 : ha > 0 ? 2 : 0) | (va < 0 ? 1 : va > 0 ? 2 : 0) << 2;
    D3dColor outline = (D3dColor)((c >> 24) * 0xC0 / 0xFF) << 24;
    default_font.renderText(b, r, align, c, px, s, -1, 0, 0, 0, 3, outline, nullptr);
    return;
  }
  gui_draw_text(b, s, x, y, ha, va, c, px);
}

D3dColor with_alpha(D3dColor c, float a)
{
  int al = (int)((float)(c >> 24) * (a < 0 ? 0 : a > 1 ? 1 : a) + 0.5f);
  return (c & 0xFFFFFF) | (D3dColor)al << 24;
}

D3dColor icon_tint(const char* icon)
{
  if (!icon) return PARCHMENT;
  if (!strcmp(icon, "health")) return 0xFFE8505A;
  if (!strcmp(icon, "mana")) return 0xFF5A8CFF;
  if (strstr(icon, "fire") || strstr(icon, "meteor") || strstr(icon, "volcano")) return 0xFFFF8A3A;
  if (strstr(icon, "water")) return 0xFF5AB4FF;
  if (strstr(icon, "lightning")) return 0xFFFFEE7A;
  if (strstr(icon, "healing") || strstr(icon, "seed")) return 0xFF7AE88A;
  if (strstr(icon, "hill") || strstr(icon, "pit") || strstr(icon, "fracture")) return 0xFFD8B07A;
  if (strstr(icon, "mana") || strstr(icon, "portal") || strstr(icon, "castle")) return 0xFFC09AFF;
  return PARCHMENT;
}

void icon(RenderBatch& b, const char* name, float x, float y, float px, float alpha = 1, float ax = 1, float ay = 0)
{
  if (!name || !ui_icons.loaded()) return;
  int id = ui_icons.getIconId(name);
  if (id < 0) return;
  const float s = px / fmaxf(1.f, ui_icons.getOrgW(id));
  const D3dColor tint = with_alpha(icon_tint(name), alpha);
  ui_icons.renderIcon(b, x, y, ax, ay, s, id, 0, 0, 0, 3, tint, with_alpha(0xFFFFFFFF, alpha * 0.9f),
                      with_alpha(0xFF303040, alpha), with_alpha(GOLD, alpha), with_alpha(SHADOW, alpha), nullptr);
}

// {===== Parts of the HUD

void draw_bar(RenderBatch& b, const HudLayout& l, float y, const char* label, const char* icon_name, float value,
              float max, D3dColor fill)
{
  const float x0 = l.stat_x + l.stat_h, x1 = l.stat_x + l.stat_w, y1 = y + l.stat_h;
  box(b, x0, y, x1, y1, 0xB0101620, 6 * l.u, 0xFF8A6A34, 1);
  const float f = ui::bar_fill(value, max);
  if (f > 0) box(b, x0 + 2, y + 2, x0 + 2 + (x1 - x0 - 4) * f, y1 - 2, fill, 5 * l.u);
  icon(b, icon_name, l.stat_x + l.stat_h * 0.45f, y + l.stat_h * 0.5f, l.stat_h * 1.15f);
  char s[64];
  snprintf(s, sizeof s, "%s %d / %d", label, (int)(value > 0 ? value + 0.5f : 0), (int)(max > 0 ? max + 0.5f : 0));
  text(b, s, (x0 + x1) * 0.5f, y + l.stat_h * 0.5f, 0, 0, PARCHMENT, l.stat_h * 0.72f);
}

void draw_stats(RenderBatch& b, const HudLayout& l)
{
  draw_bar(b, l, l.stat_y, "Health", "health", player_health(), player_max_health(), 0xE0C8323C);
  draw_bar(b, l, l.stat_y + l.stat_h + 10 * l.u, "Mana", "mana", player_mana(), player_max_mana(), 0xE03C6EE6);
  // Owned mana of this world, then the resources carried (those above 0).
  const float y = l.stat_y - 24 * l.u - l.stat_h * 0.5f;
  char s[64];
  const int owned = get_owned_mana(), total = world_mana_total();
  snprintf(s, sizeof s, "Claimed %d / %d", owned > 0 ? owned : 0, total > 0 ? total : 0);
  icon(b, "possess_mana", l.stat_x + l.stat_h * 0.45f, y, l.stat_h * 1.15f);
  text(b, s, l.stat_x + l.stat_h * 1.1f, y, -1, 0, GOLD, l.stat_h * 0.72f);
  float x = l.stat_x + l.stat_h * 0.45f;
  const float ry = y - l.stat_h * 1.3f;
  for (const auto& r : RESOURCES) {
    int n = get_glob_res_amount(r.name);
    if (n <= 0) continue;
    icon(b, r.icon, x, ry, l.stat_h);
    snprintf(s, sizeof s, "%d", n);
    text(b, s, x + l.stat_h * 0.6f, ry, -1, 0, PARCHMENT, l.stat_h * 0.65f);
    x += l.stat_h * 2.2f;
  }
}

void draw_spell_bar(RenderBatch& b, const HudLayout& l)
{
  const int count = spell_bar_count(), selected = spell_bar_selected();
  const float r = 10 * l.u;
  const ui::Box bb = bar_box(l);
  box(b, bb.x0, bb.y0, bb.x1, bb.y1, 0x90080C14, 16 * l.u, 0xFF5A4A2A, 1);
  for (int i = 0; i < l.slots; i++) {
    const ui::Box sb = slot_box(l, i);
    const int cls = i < count ? spell_bar_spell(i) : 0;
    const SpellInfo* info = cls ? find_spell_info(cls) : nullptr;
    const bool sel = info && i == selected;
    if (sel) box(b, sb.x0 - 4 * l.u, sb.y0 - 4 * l.u, sb.x1 + 4 * l.u, sb.y1 + 4 * l.u, 0x50FFD27A, r * 1.3f);
    box(b, sb.x0, sb.y0, sb.x1, sb.y1, info ? 0xE0202834 : 0x70181E28, r, sel ? GOLD : 0xFF6A5A3E, sel ? 3.f : 1.f);
    if (i < 10) { // the number key of the slot
      char k[4];
      snprintf(k, sizeof k, "%d", (i + 1) % 10);
      text(b, k, sb.x0 + 6 * l.u, sb.y0 + 4 * l.u, -1, -1, info ? DIM : 0x60B4AA96, l.slot * 0.26f);
    }
    if (!info) continue;
    icon(b, info->icon, (sb.x0 + sb.x1) * 0.5f, (sb.y0 + sb.y1) * 0.5f, l.slot * 0.78f);
    const float shade = ui::cooldown_shade(spell_bar_cooldown(i), info->cooldown);
    if (shade > 0) { // the cooling part darkens from the top
      box(b, sb.x0 + 1, sb.y0 + 1, sb.x1 - 1, sb.y0 + 1 + (sb.h() - 2) * shade, 0xB0000000, r * 0.8f);
      char s[16];
      snprintf(s, sizeof s, "%.1f", spell_bar_cooldown(i));
      text(b, s, (sb.x0 + sb.x1) * 0.5f, (sb.y0 + sb.y1) * 0.5f, 0, 0, PARCHMENT, l.slot * 0.32f);
    }
    char cost[16];
    snprintf(cost, sizeof cost, "%d", (int)(info->mana + 0.5f));
    const bool poor = player_mana() < info->mana;
    text(b, cost, sb.x1 - 5 * l.u, sb.y1 - 3 * l.u, 1, 1, poor ? 0xFFFF7A6A : 0xFF9AC8FF, l.slot * 0.28f);
  }
}

void draw_tip(RenderBatch& b, const HudLayout& l)
{
  if (hud.hover_slot < 0) return;
  const int cls = spell_bar_spell(hud.hover_slot);
  const SpellInfo* info = cls ? find_spell_info(cls) : nullptr;
  if (!info) return;
  char s[256];
  snprintf(s, sizeof s, "%s\nMana %d, ready again after %.1f s%s%s", info->name, (int)(info->mana + 0.5f),
           info->cooldown, info->tooltip && *info->tooltip ? "\n" : "", info->tooltip ? info->tooltip : "");
  const float px = 24 * l.u;
  float w, h;
  gui_measure_text(s, w, h, px);
  const ui::Box sb = slot_box(l, hud.hover_slot);
  const float above = fminf(sb.y0 - 30 * l.u, crafting_panel_top(l) - 10 * l.u); // over the crafting panel
  ui::Box t = ui::place_popup_box((sb.x0 + sb.x1 - w) * 0.5f - 10, above - h, w + 20, h + 12,
                                  (float)d3d_wd, (float)d3d_ht);
  box(b, t.x0, t.y0, t.x1, t.y1, 0xF0201A12, 4, GOLD, 1);
  gui_draw_text(b, s, t.x0 + 10, (t.y0 + t.y1) * 0.5f, -1, 0, 0xFFFFFFFF, px);
}

// The map is north-up (+z up the screen) and centred on the player; it
// shows MAP_RANGE units each way of the 256-unit wrapping world.
constexpr float MAP_RANGE = 64;

void draw_map(RenderBatch& b, const HudLayout& l)
{
  const float x0 = l.map_x, y0 = l.map_y, s = l.map_size, half = s * 0.5f;
  const float cx = x0 + half, cy = y0 + half;
  box(b, x0 - 6 * l.u, y0 - 6 * l.u, x0 + s + 6 * l.u, y0 + s + 6 * l.u, 0xD0101620, 10 * l.u);
  const float px = camera.pos.x, pz = camera.pos.z;
  if (Texture* map = HeightmapRenderer::mapTex) {
    init_ui_image_state(hud.map_state, map, nullptr);
    ui::SpanPiece us[2], vs[2];
    const float range = MAP_RANGE / ui::WORLD_SIZE;
    const int nu = ui::wrapped_pieces(px / ui::WORLD_SIZE, range, us);
    const int nv = ui::wrapped_pieces(pz / ui::WORLD_SIZE, range, vs);
    for (int i = 0; i < nu; i++)
      for (int j = 0; j < nv; j++) {
        // Texture v grows with z; the screen's y grows southwards.
        const float qx0 = x0 + us[i].s0 * s, qx1 = x0 + us[i].s1 * s;
        const float qy0 = y0 + s - vs[j].s1 * s, qy1 = y0 + s - vs[j].s0 * s;
        render_ui_image(b, hud.map_state, _mm_setr_ps(qx0, qy0, qx1, qy1), 0xFFFFFFFF,
                        _mm_setr_ps(us[i].t0, vs[j].t1, us[i].t1, vs[j].t0));
      }
  }
  box(b, x0, y0, x0 + s, y0 + s, 0x00000000, 4 * l.u, 0xFF8A6A34, 2);

  const WorldIconParams look = world_icon_params();
  auto mark = [&](float wx, float wz, const char* icon_name, float size) {
    size *= look.scale;
    ui::Marker m = ui::map_marker(ui::wrap_delta(wx - px), ui::wrap_delta(wz - pz), cx, cy, half, MAP_RANGE);
    if (m.outside) icon(b, "arrow", m.x - m.ax * size * 0.4f, m.y - m.ay * size * 0.4f, size, look.opacity, -m.ay, m.ax);
    else icon(b, icon_name, m.x, m.y, size, look.opacity);
  };
  Vec4f portal;
  if (world_portal_open(&portal)) mark(portal.x, portal.z, "portal", 30 * l.u);
  for (MapArrow* a : MapArrow_list) {
    const GameObj* t = a && a->target ? a->target.get() : nullptr;
    const float* p = t ? t->pos : (a ? a->pos : nullptr);
    if (p) mark(p[0], p[2], "arrow", 26 * l.u);
  }
  // The player: an arrow along the view.
  const float fx = -sinf(camera.yaw), fz = cosf(camera.yaw);
  icon(b, "arrow", cx, cy, 26 * l.u, 1, fz, fx);
  text(b, "N", cx, y0 + 4 * l.u, 0, -1, DIM, 22 * l.u);
}

void draw_messages(RenderBatch& b, const HudLayout& l)
{
  const float y = (float)d3d_ht * 0.26f;
  const float a = ui::message_alpha(hud.message_age), sa = ui::message_alpha(hud.sub_age);
  if (!hud.message.empty() && a > 0) text(b, hud.message.c_str(), d3d_wd * 0.5f, y, 0, 0, with_alpha(GOLD, a), 64 * l.u);
  if (!hud.sub.empty() && sa > 0)
    text(b, hud.sub.c_str(), d3d_wd * 0.5f, y + 56 * l.u, 0, 0, with_alpha(PARCHMENT, sa), 34 * l.u);
}

void draw_anims(RenderBatch& b, const HudLayout& l)
{
  const float sx = d3d_wd * 0.5f, sy = d3d_ht * 0.5f;
  for (const Anim& a : hud.anims) {
    const float k = a.t / ANIM_SECONDS, e = 1 - (1 - k) * (1 - k); // ease out
    float tx, ty;
    if (a.slot >= 0) {
      ui::Box sb = slot_box(l, a.slot);
      tx = (sb.x0 + sb.x1) * 0.5f, ty = (sb.y0 + sb.y1) * 0.5f;
    } else {
      tx = l.stat_x + l.stat_h, ty = l.stat_y - 24 * l.u - l.stat_h * 1.8f;
    }
    const float x = sx + (tx - sx) * e, y = sy + (ty - sy) * e - sinf(k * 3.14159f) * 80 * l.u;
    const float size = l.slot * (2.2f - 1.4f * e);
    box(b, x - size * 0.6f, y - size * 0.6f, x + size * 0.6f, y + size * 0.6f, with_alpha(0x60FFD27A, 1 - k),
        size * 0.6f);
    icon(b, a.icon.c_str(), x, y, size, k > 0.85f ? (1 - k) / 0.15f : 1);
  }
}

void draw_crosshair(RenderBatch& b, const HudLayout& l)
{
  const float x = d3d_wd * 0.5f, y = d3d_ht * 0.5f, g = 6 * l.u, a = 16 * l.u;
  for (int pass = 0; pass < 2; pass++) {
    const float w = pass ? 2.f : 4.f;
    const D3dColor c = pass ? 0xE0FFFFFF : 0x90000000;
    render_ui_line(b, _mm_setr_ps(x - g - a, y, x - g, y), w, c);
    render_ui_line(b, _mm_setr_ps(x + g, y, x + g + a, y), w, c);
    render_ui_line(b, _mm_setr_ps(x, y - g - a, x, y - g), w, c);
    render_ui_line(b, _mm_setr_ps(x, y + g, x, y + g + a), w, c);
  }
}

// The world's name when it is entered (the host clears messages then).
void announce_world()
{
  const int w = get_entered_world();
  if (w < 0 || w == hud.announced || worlds.isNull()) return;
  hud.announced = w;
  try {
    SqObject world = sqbind::getSlot<SqObject>(worlds, w);
    std::string name = sqbind::getSlot<const char*>(world, "name");
    std::string kind = sqbind::getSlot<const char*>(world, "kind");
    show_screen_message(name.c_str());
    show_screen_sub_message(world_kind_title(kind).c_str());
  } catch (const SquirrelError& e) {
    debug("HUD: no name for world #%d: %s", w, e.what());
  }
}

} // namespace

// {===== What the other parts call (game.h)

void hud_update(float dt)
{
  hud.clock += dt;
  hud.message_age += dt;
  hud.sub_age += dt;
  announce_world();
  for (Anim& a : hud.anims) a.t += dt;
  while (!hud.anims.empty() && hud.anims.front().t >= ANIM_SECONDS) hud.anims.erase(hud.anims.begin());
  if (hud.over_bar && hud.hover_slot >= 0 && keyDown(VK_LBUTTON)) spell_bar_select(hud.hover_slot);
  // The crafting panel shows the hovered spell, else the selected one.
  crafting_panel_update(spell_bar_spell(hud.hover_slot >= 0 ? hud.hover_slot : spell_bar_selected()));
}

void hud_draw(float)
{
  hud.last_draw = get_ref_time();
  if (!hud.visible || d3d_ht <= 0) return;
  const HudLayout l = layout();
  draw_map(hud.batch, l);
  draw_stats(hud.batch, l);
  draw_spell_bar(hud.batch, l);
  draw_messages(hud.batch, l);
  draw_anims(hud.batch, l);
  draw_crosshair(hud.batch, l);
  crafting_panel_draw(hud.batch, l);
  draw_tip(hud.batch, l);
  flush_gui_batch(hud.batch);
}

bool hud_mouse(float)
{
  float x = -1, y = -1;
  getMousePos(&x, &y);
  const HudLayout l = layout();
  const ui::Box bar = bar_box(l);
  // The whole bar takes the mouse (a click between slots must not cast).
  hud.over_bar = hud.visible && d3d_ht > 0 && ui::inside(bar, x, y);
  hud.hover_slot = hud.over_bar ? slot_at(l, x, y) : -1;
  // The crafting panel takes the mouse too (its click crafts, never casts).
  const bool over_panel = crafting_panel_mouse(l, x, y);
  hud.over_bar = hud.over_bar || (over_panel && hud.visible && d3d_ht > 0);
  return hud.over_bar;
}

void hud_spell_picked_up(int class_id)
{
  const SpellInfo* info = find_spell_info(class_id);
  int slot = -1;
  for (int i = 0; i < spell_bar_count(); i++)
    if (spell_bar_spell(i) == class_id) slot = i;
  hud.anims.push_back(Anim{info && info->icon ? info->icon : "info", slot < 0 ? 0 : slot, 0});
  if (info) show_screen_sub_message((std::string("New spell: ") + info->name).c_str());
}

void hud_res_picked_up(const char* res_name)
{
  const char* icon_name = "mana";
  for (const auto& r : RESOURCES)
    if (res_name && !strcmp(r.name, res_name)) icon_name = r.icon;
  hud.anims.push_back(Anim{icon_name, -1, 0});
}

const char* hud_message_text() { return ui::message_alpha(hud.message_age) > 0 ? hud.message.c_str() : ""; }
bool hud_shown() { return hud.last_draw && get_ref_time() - hud.last_draw < time_ticks_per_sec() / 2; }
void hud_forget_world() { hud.announced = -1; }

// {===== Table entries

void reset_game_ui_screen()
{
  hud.message.clear();
  hud.sub.clear();
  hud.anims.clear();
  hud.hover_slot = -1;
  hud.over_bar = false;
}
void set_game_ui_screen() { hud.visible = true; }
void init_spells_ui() { init_map_ui(); }
void close_spells_ui()
{
  reset_game_ui_screen();
  hud.batch.clear();
}
void spells_ui_after_resize() { hud.hover_slot = -1; }
void start_spell_pick_up_anim()
{
  const int n = spell_bar_count();
  if (n > 0) hud_spell_picked_up(spell_bar_spell(n - 1)); // the newest spell of the bar
}
void start_res_pick_up_anim() { hud_res_picked_up(nullptr); }
void show_screen_message(const char* s)
{
  hud.message = s ? s : "";
  hud.message_age = 0;
  if (!hud.message.empty()) debug("HUD: message '%s'", hud.message.c_str());
}
void show_screen_sub_message(const char* s)
{
  hud.sub = s ? s : "";
  hud.sub_age = 0;
}
void draw_spells_ui(float dt) { hud_draw(dt); }
void update_spells_ui(float dt)
{
  // A click on the bar selects there; it must not also cast at the crosshair.
  if (!hud.over_bar) spell_input_update(dt);
  hud_update(dt);
}
bool update_spells_ui_mouse(float dt) { return hud_mouse(dt); }
// The mini-map reads the host's world map texture, which the terrain
// renderer redraws; nothing of its own to make or draw ahead.
void render_world_map() {}
void init_map_ui() { hud.map_state = UiBatchState{}; }
