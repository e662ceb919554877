// The world's life as the world script and the developer socket see it: the
// script functions that place trees, stones, volcanoes, springs, sensors and
// timers, and the socket's "ignite" and "life" commands.
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "core/log.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "living.h"
#include "objects.h"
#include "script/sqbind.h"
#include "world/heightmap.h"

using namespace living;

namespace {

[[noreturn]] void refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
void refuse(const char* format, ...)
{
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  throw SquirrelError(text);
}

void check_place(const char* fn, float x, float z)
{
  if (!isfinite(x) || !isfinite(z)) refuse("%s: the position (%g, %g) is not a number", fn, x, z);
}

void check_event(const char* fn, const char* event)
{
  size_t len = strlen(event);
  if (len == 0 || len >= sizeof(TriggerObject::event))
    refuse("%s: the event name must have 1 to %d characters, not %d", fn, int(sizeof(TriggerObject::event)) - 1,
           int(len));
}

// Looks and sizes vary by place, the same for the same world.
float place_hash(float x, float z, int salt)
{
  uint64_t seed = uint64_t(uint32_t(int(floorf(x * 16.0f)))) << 32 ^ uint32_t(int(floorf(z * 16.0f)));
  Rng rng(seed * 0x9E3779B97F4A7C15ull + uint64_t(salt));
  return rng.unit();
}

template <class T>
T* place(int class_id, float x, float z)
{
  auto* obj = static_cast<T*>(new_gameobj_by_id(class_id));
  obj->pos[0] = x - 256.0f * floorf(x / 256.0f);
  obj->pos[2] = z - 256.0f * floorf(z / 256.0f);
  obj->pos[1] = get_land_height_at(vec_of(obj->pos));
  return obj;
}

// ===== Script functions ======================================================

int sq_spawn_tree(float x, float z, int kind)
{
  check_place("spawn_tree", x, z);
  if (kind < 0 || kind >= TREE_KINDS) refuse("spawn_tree: kind %d is not 0 (broad-leaved), 1 (fir) or 2 (bush)", kind);
  auto* tree = place<TreeObject>(CID_TreeObject, x, z);
  tree->kind = kind;
  tree->yaw = place_hash(x, z, 1) * 6.2831853f;
  tree->scale = 0.8f + 0.45f * place_hash(x, z, 2);
  return tree->serialId;
}

int sq_spawn_stone(const char* kind, float x, float z)
{
  check_place("spawn_stone", x, z);
  static const struct {
    const char* name;
    int class_id;
    float scale;
  } kinds[] = {{"stone", CID_Stone1StaticObject, 1.0f},
               {"menhir", CID_Menhir1StaticObject, 1.0f},
               {"runestone", CID_Menhir2StaticObject, 1.0f},
               {"cup", CID_StoneCup1Object, 1.0f},
               {"villager", CID_HumanoidStaticObject, 1.0f}};
  for (const auto& k : kinds)
    if (strcmp(k.name, kind) == 0) {
      auto* stone = place<HumanoidStaticObject>(k.class_id, x, z);
      stone->yaw = place_hash(x, z, 3) * 6.2831853f;
      stone->scale = k.scale * (0.8f + 0.4f * place_hash(x, z, 4));
      return stone->serialId;
    }
  refuse("spawn_stone: unknown kind '%s' (stone, menhir, runestone, cup, villager)", kind);
}

int sq_spawn_volcano(float x, float z, float period)
{
  check_place("spawn_volcano", x, z);
  if (!(period >= 5.0f && period <= 3600.0f)) refuse("spawn_volcano: period %g is not 5 to 3600 seconds", period);
  auto* v = place<NaturalVolcano>(CID_NaturalVolcano, x, z);
  v->period = period;
  // The first eruption within the first period, differing between volcanoes.
  v->timer = whole_ticks(period * (0.3f + 0.7f * place_hash(x, z, 5)));
  return v->serialId;
}

int sq_spawn_spring(float x, float z, float rate)
{
  check_place("spawn_spring", x, z);
  if (!(rate > 0.0f && rate <= 5.0f)) refuse("spawn_spring: rate %g is not above 0 and at most 5", rate);
  WaterSource* spring = add_water_source(Vec4f{x, 0, z, 1}, 1.5f, rate, 0);
  return spring ? spring->serialId : 0;
}

int sq_add_sensor(float x, float z, float radius, const char* event)
{
  check_place("add_sensor", x, z);
  check_event("add_sensor", event);
  if (!(radius > 0.0f && radius <= 128.0f)) refuse("add_sensor: radius %g is not above 0 and at most 128", radius);
  auto* s = place<Sensor>(CID_Sensor, x, z);
  s->radius = radius;
  snprintf(s->event, sizeof s->event, "%s", event);
  return s->serialId;
}

int sq_add_timer(float seconds, const char* event)
{
  check_event("add_timer", event);
  if (!(seconds >= 0.0f && seconds <= 1e6f)) refuse("add_timer: %g seconds is not 0 to 1000000", seconds);
  auto* t = static_cast<TimeTrigger*>(new_gameobj_by_id(CID_TimeTrigger));
  t->fire_tick = get_world_time() + int(lroundf(seconds * 20.0f));
  snprintf(t->event, sizeof t->event, "%s", event);
  return t->serialId;
}

void sq_ignite(float x, float z, float radius)
{
  check_place("ignite", x, z);
  ignite_near(Vec4f{x, 0, z, 1}, radius);
}

// ===== Developer socket ======================================================

struct LifeCounts {
  int trees = 0, burning = 0, stumps = 0, stones = 0, toppled = 0, house_fires = 0;
};
LifeCounts count_life()
{
  LifeCounts n;
  for (TreeObject* t : TreeObject_list) {
    if (t->destroyed) continue;
    ++n.trees;
    n.burning += t->state == TREE_BURNING;
    n.stumps += t->state == TREE_STUMP;
  }
  for (HumanoidStaticObject* s : HumanoidStaticObject_list) {
    if (s->destroyed) continue;
    ++n.stones;
    n.toppled += s->tilt != 0.0f;
  }
  for (BurnEffect* fx : BurnEffect_list) n.house_fires += !fx->destroyed && !fx->target;
  return n;
}

void dev_ignite(const DevMessage& msg, DevReply& reply)
{
  double x = msg.getDouble("x"), z = msg.getDouble("z"), radius = msg.getDouble("radius", 6.0);
  if (!isfinite(x) || !isfinite(z) || !(radius > 0.0 && radius <= 64.0)) {
    reply.fail("ignite needs a finite x and z and a radius above 0 and at most 64");
    return;
  }
  int before = count_life().burning;
  ignite_near(Vec4f{float(x), 0, float(z), 1}, float(radius));
  reply.add("%d", count_life().burning - before);
}

void dev_life(const DevMessage&, DevReply& reply)
{
  LifeCounts n = count_life();
  reply.add("trees=%d burning=%d stumps=%d stones=%d toppled=%d house_fires=%d volcanoes=%d springs=%d "
            "sensors=%d timers=%d",
            n.trees, n.burning, n.stumps, n.stones, n.toppled, n.house_fires, NaturalVolcano_list.num,
            WaterSource_list.num, Sensor_list.num, TimeTrigger_list.num);
}

// Where the trees stand thickest: the live tree with the most live trees
// within 8 cells ("k x z y count"; "e" when the world has no trees).
void dev_forest(const DevMessage&, DevReply& reply)
{
  TreeObject* best = nullptr;
  int best_count = -1;
  for (TreeObject* t : TreeObject_list) {
    if (t->destroyed || t->state != TREE_ALIVE) continue;
    int n = 0;
    for (TreeObject* o : TreeObject_list) n += !o->destroyed && o->state == TREE_ALIVE && living_distance(t->pos, o->pos) < 8.0f;
    if (n > best_count) {
      best = t;
      best_count = n;
    }
  }
  if (!best) {
    reply.fail("no live trees in this world");
    return;
  }
  reply.add("%.2f %.2f %.2f %d", best->pos[0], best->pos[2], best->pos[1], best_count);
}

// A house to look at: the middle of the first house's cells in the world
// ("k x z y"; "e" when the world has none).
void dev_house(const DevMessage&, DevReply& reply)
{
  using namespace HeightmapData;
  for (int i = 0; i < HMAP_CELLS; ++i) {
    if (surface[i].ground != GT_HOUSE) continue;
    int x0 = i & (HMAP_SIZE - 1), z0 = i >> HMAP_SIZE_SHIFT, n = 0;
    float sx = 0, sz = 0;
    for (int dz = 0; dz < 20; ++dz)
      for (int dx = -10; dx < 20; ++dx)
        if (surface[hmap_index(x0 + dx, z0 + dz)].ground == GT_HOUSE) {
          sx += float(x0 + dx) + 0.5f;
          sz += float(z0 + dz) + 0.5f;
          ++n;
        }
    float x = sx / float(n), z = sz / float(n);
    reply.add("%.2f %.2f %.2f", x, z, get_land_height_at(Vec4f{x, 0, z, 1}));
    return;
  }
  reply.fail("no houses in this world");
}

} // namespace

void bind_living_world(HSQUIRRELVM vm)
{
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "spawn_tree", sq_spawn_tree);
  sqbind::register_function(vm, root, "spawn_stone", sq_spawn_stone);
  sqbind::register_function(vm, root, "spawn_volcano", sq_spawn_volcano);
  sqbind::register_function(vm, root, "spawn_spring", sq_spawn_spring);
  sqbind::register_function(vm, root, "add_sensor", sq_add_sensor);
  sqbind::register_function(vm, root, "add_timer", sq_add_timer);
  sqbind::register_function(vm, root, "ignite", sq_ignite);
}

void register_living_dev_commands()
{
  register_dev_command("ignite", dev_ignite);
  register_dev_command("life", dev_life);
  register_dev_command("forest", dev_forest);
  register_dev_command("house", dev_house);
}
