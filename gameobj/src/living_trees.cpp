// Trees and fire: trees stand on the land, lava under them or a spell sets
// them burning, fire spreads to their neighbours by the rule of
// living_rules.h, a burnt tree becomes a stump that grows again after a
// while, and water puts a fire out. Houses burn for a while where fire
// reaches them (their cells stay as they are).
#include <math.h>

#include "audio/sound.h"
#include "audio/sound_events.h"
#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "living.h"
#include "objects.h"
#include "world/heightmap.h"

using namespace living;

namespace {

// A burning tree glows red and chars towards black as it burns (`burnt` 0..1).
uint32_t burn_tint(float burnt)
{
  float t = fminf(fmaxf(burnt, 0.0f), 1.0f);
  auto ch = [t](float a, float b) { return uint32_t(a + (b - a) * t); };
  return 0xFF000000u | ch(255, 45) << 16 | ch(90, 28) << 8 | ch(30, 20);
}
constexpr uint32_t STUMP_TINT = 0xFF2A2420;
constexpr float FIR_LOD_DISTANCE = 55.0f;
// Beyond this the land fades into the sky; trees there would cost the most
// and show the least.
constexpr float TREE_DRAW_DISTANCE = 120.0f;
constexpr float HOUSE_BURN_SECONDS = 30.0f;
// One fire per house: none starts this close to another.
constexpr float HOUSE_FIRE_SPACING = 5.0f;

TreeObject* as_tree(GameObj* obj)
{
  return obj && obj->classId() == CID_TreeObject ? static_cast<TreeObject*>(obj) : nullptr;
}

} // namespace

// ===== Trees =================================================================

void TreeObject::ignite()
{
  if (state != TREE_ALIVE || destroyed) return;
  state = TREE_BURNING;
  state_tick = get_world_time() + seconds_to_ticks(FIRE.burn_seconds);
  auto* fx = static_cast<BurnEffect*>(new_gameobj_by_id(CID_BurnEffect));
  if (fx) {
    fx->target = this;
    for (int i = 0; i < 4; ++i) fx->pos[i] = pos[i];
  }
}

// A fire put out early leaves the tree standing; one that burnt half its
// time leaves a stump.
void TreeObject::putOut()
{
  if (state != TREE_BURNING) return;
  int left = state_tick - get_world_time();
  if (left <= seconds_to_ticks(FIRE.burn_seconds * 0.5f)) {
    state = TREE_STUMP;
    state_tick = get_world_time() + seconds_to_ticks(FIRE.regrow_seconds);
  } else {
    state = TREE_ALIVE;
    state_tick = 0;
  }
}

int TreeObject::query(int what)
{
  switch (what) {
  case QUERY_STATE: return state;
  case QUERY_TIMER_MS: return state == TREE_ALIVE ? 0 : (state_tick - get_world_time()) * 50;
  case QUERY_KIND: return kind;
  default: return GameObj::query(what);
  }
}

void TreeObject::update(float dt)
{
  Vec4f at = vec_of(pos);
  pos[1] = get_land_height_at(at);
  float fluid = get_water_at(at);
  switch (state) {
  case TREE_ALIVE:
    if (growth < 1.0f) growth = fminf(1.0f, growth + dt / FIRE.grow_seconds);
    if (fluid < -FIRE.lava_depth) ignite();
    break;
  case TREE_BURNING: {
    if (fluid > FIRE.water_depth) {
      putOut();
      break;
    }
    Rng rng(fire_seed(get_world_time(), serialId));
    for (TreeObject* other : TreeObject_list) {
      if (other == this || other->destroyed || other->state != TREE_ALIVE) continue;
      if (fire_spreads(living_distance(pos, other->pos), dt, rng)) other->ignite();
    }
    if (get_world_time() >= state_tick) {
      state = TREE_STUMP;
      state_tick = get_world_time() + seconds_to_ticks(FIRE.regrow_seconds);
    }
    break;
  }
  case TREE_STUMP:
    // Nothing grows under water or lava: the wait goes on once it is dry.
    if (fabsf(fluid) > FIRE.lava_depth) {
      state_tick += seconds_to_ticks(dt);
      break;
    }
    if (get_world_time() >= state_tick) {
      state = TREE_ALIVE;
      state_tick = 0;
      growth = 0;
      play_sound_at("tree_regrows", at);
    }
    break;
  }
}

void TreeObject::render(float dt)
{
  float at[3];
  if (!living_place(pos, 6.0f * scale, at)) return;
  Vec4f cam = living_camera();
  float dx = at[0] - cam.x, dz = at[2] - cam.z, d2 = dx * dx + dz * dz;
  if (d2 > TREE_DRAW_DISTANCE * TREE_DRAW_DISTANCE) return;
  const char* mesh = kind == TREE_BROADLEAF || kind == TREE_BUSH ? "tree1" : "tree1f";
  if (kind == TREE_FIR && d2 > FIR_LOD_DISTANCE * FIR_LOD_DISTANCE) mesh = "tree1flod";
  float sxz = scale, sy = scale;
  if (kind == TREE_BUSH) {
    sxz *= 0.55f;
    sy *= 0.35f;
  }
  uint32_t color = 0xFFFFFFFF;
  if (state == TREE_BURNING) {
    float left = float(state_tick - get_world_time()) / seconds_to_ticks(FIRE.burn_seconds);
    color = burn_tint(1.0f - left);
    sy *= 1.0f - 0.3f * (1.0f - left); // the crown burns away
  } else if (state == TREE_STUMP) {
    color = STUMP_TINT;
    sxz *= 0.7f;
    sy *= 0.15f;
  } else if (growth < 1.0f) {
    float g = 0.15f + 0.85f * growth;
    sxz *= g;
    sy *= g;
  }
  living_queue(living_renderer(mesh), at, yaw, sxz, sy, 0, 0, color);
}

void TreeObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeInt(kind);
  out.writeInt(state);
  out.writeFloat(yaw);
  out.writeFloat(scale);
  out.writeInt(state_tick);
  out.writeFloat(growth);
}

void TreeObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return;
  kind = in.readInt();
  state = in.readInt();
  yaw = in.readFloat();
  scale = in.readFloat();
  state_tick = in.readInt();
  growth = in.readFloat();
  if (kind < 0 || kind >= TREE_KINDS) kind = TREE_BROADLEAF;
  if (state < TREE_ALIVE || state > TREE_STUMP) state = TREE_ALIVE;
  if (!isfinite(scale) || scale <= 0.0f) scale = 1.0f;
  if (!(growth >= 0.0f && growth <= 1.0f)) growth = 1.0f;
}

// ===== Burning ===============================================================

void BurnEffect::update(float dt)
{
  // A tree's fire (a house's has no target: once its tree is gone, life 0 ends it).
  if (target) {
    TreeObject* tree = as_tree(target.get());
    if (!tree || tree->destroyed || tree->state != TREE_BURNING) {
      destroy();
      return;
    }
    for (int i = 0; i < 4; ++i) pos[i] = tree->pos[i];
  } else {
    life -= dt;
    if (life <= 1e-3f) {
      destroy();
      return;
    }
  }
  // The crackle loops while the fire lasts; the event's channels are few, so
  // a fire without one asks again now and then.
  sound_retry -= dt;
  if (!sound_ch && sound_retry <= 0.0f) {
    sound_retry = 2.0f;
    sound_ch = play_sound_event("burn_loop");
    update_3d_sound(sound_ch, SoundVec{pos[0], pos[1] + 1.0f, pos[2], 1}, SoundVec{0, 0, 0, 0});
  }
  fx_timer -= dt;
  if (fx_timer <= 0.0f) {
    fx_timer = 0.3f;
    TreeObject* tree = as_tree(target.get());
    float size = tree ? tree->scale * (tree->kind == TREE_BUSH ? 0.5f : 1.0f) : 1.5f;
    Vec4f at{pos[0], pos[1] + 1.5f * size, pos[2], 1};
    play_fx("living_burn_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, size);
  }
}

// A loop is stopped by its owner: the fire going out (or being removed) ends it.
BurnEffect::~BurnEffect()
{
  if (sound_ch) fade_out_and_stop_sound(sound_ch, 400);
}

void BurnEffect::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeInt(target ? target->serialId : 0);
  out.writeFloat(life);
}

void BurnEffect::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return;
  loader.readRef(in, target);
  life = in.readFloat();
  if (!isfinite(life)) life = 0.0f;
}

bool ignite_house_at(int x, int z)
{
  if (HeightmapData::surface[hmap_index(x, z)].ground != GT_HOUSE) return false;
  float at[4] = {x + 0.5f, 0, z + 0.5f, 1};
  for (BurnEffect* fx : BurnEffect_list)
    if (!fx->destroyed && !fx->target && living_distance(fx->pos, at) < HOUSE_FIRE_SPACING) return false;
  auto* fx = static_cast<BurnEffect*>(new_gameobj_by_id(CID_BurnEffect));
  if (!fx) return false;
  at[1] = get_land_height_at(vec_of(at));
  for (int i = 0; i < 4; ++i) fx->pos[i] = at[i];
  fx->life = HOUSE_BURN_SECONDS;
  return true;
}

void ignite_near(const Vec4f& pos, float radius)
{
  if (!isfinite(pos.x) || !isfinite(pos.z) || !(radius > 0.0f)) return;
  radius = fminf(radius, 64.0f);
  float at[4] = {pos.x, pos.y, pos.z, 1};
  int trees = 0, houses = 0;
  for (TreeObject* tree : TreeObject_list)
    if (!tree->destroyed && tree->state == TREE_ALIVE && living_distance(at, tree->pos) <= radius) {
      tree->ignite();
      ++trees;
    }
  int r = int(ceilf(radius));
  for (int dz = -r; dz <= r; ++dz)
    for (int dx = -r; dx <= r; ++dx)
      if (dx * dx + dz * dz <= radius * radius)
        houses += ignite_house_at(int(floorf(pos.x)) + dx, int(floorf(pos.z)) + dz);
  if (trees || houses) debug("gameobj: fire at %.1f %.1f set %d trees and %d houses burning", pos.x, pos.z, trees, houses);
}
