// The rules of resources and crafting as plain tables and functions over a
// stock of the five resources, so tests check them without a universe
// (crafting.cpp applies them to the universe's "resources" table).
#pragma once
#include <stdio.h>
#include <string.h>

#include <array>

namespace craft {

enum Res { SHARD, VORTEX, FIREBLOOM, STAR, SEED, RES_COUNT };

struct ResInfo {
  const char* kind;   // slot name in the universe's "resources" table
  const char* title;  // one
  const char* plural; // more than one
  const char* icon;   // in the UI icon atlas
};
inline constexpr ResInfo RESOURCES[RES_COUNT] = {
    {"shard", "Crystal shard", "Crystal shards", "shard"},
    {"vortex", "Magic vortex", "Magic vortices", "magic_vortex"},
    {"firebloom", "Firebloom", "Fireblooms", "firebloom"},
    {"star", "Fallen star", "Fallen stars", "fallen_star"},
    {"seed", "Rare seed", "Rare seeds", "rare_seed"},
};

// -1 for an unknown or null kind.
inline int res_index(const char* kind)
{
  for (int i = 0; i < RES_COUNT; i++)
    if (kind && strcmp(kind, RESOURCES[i].kind) == 0) return i;
  return -1;
}
inline const char* res_name(int res, int count) { return count == 1 ? RESOURCES[res].title : RESOURCES[res].plural; }

using Stock = std::array<int, RES_COUNT>;

// What the strong spells cost besides mana (by spell class); the spells not
// listed are free of resources.
struct Cost {
  const char* spell_class;
  int res;
  int need;
};
inline constexpr Cost COSTS[] = {
    {"MeteorSpell", STAR, 1},
    {"ThunderstormSpell", VORTEX, 1},
    {"CastleSpell", SHARD, 2},
    {"GuardTowerSpell", FIREBLOOM, 1},
    {"HouseSpell", SEED, 1},
};

// The spell's costs into `out` (at most `max`); how many there are.
inline int spell_costs(const char* spell_class, Cost* out, int max)
{
  int n = 0;
  for (const Cost& c : COSTS)
    if (spell_class && strcmp(c.spell_class, spell_class) == 0 && n < max) out[n++] = c;
  return n;
}

// Null when the stock pays for the spell, else the first cost it cannot pay
// ("Needs 1 Fallen star"), written into `reason`.
inline const char* check_costs(const char* spell_class, const Stock& have, char* reason, int size)
{
  Cost costs[RES_COUNT];
  const int n = spell_costs(spell_class, costs, RES_COUNT);
  for (int i = 0; i < n; i++)
    if (have[costs[i].res] < costs[i].need) {
      snprintf(reason, size, "Needs %d %s", costs[i].need, res_name(costs[i].res, costs[i].need));
      return reason;
    }
  return nullptr;
}

// "Costs 2 Crystal shards" (with every cost), or "" for a free spell.
inline void cost_text(const char* spell_class, char* out, int size)
{
  Cost costs[RES_COUNT];
  const int n = spell_costs(spell_class, costs, RES_COUNT);
  int used = 0;
  out[0] = 0;
  for (int i = 0; i < n && used < size; i++)
    used += snprintf(out + used, size - used, "%s%d %s", i ? ", " : "Costs ", costs[i].need,
                     res_name(costs[i].res, costs[i].need));
}

// Crafting: three of a common resource (the creatures' drops) make one of a
// rarer one (the worlds' own finds).
constexpr int CRAFT_INPUT = 3;
struct Recipe {
  const char* name; // "<from>_to_<to>"
  int from;
  int to;
};
inline constexpr Recipe RECIPES[] = {
    {"firebloom_to_star", FIREBLOOM, STAR},   {"seed_to_star", SEED, STAR},
    {"firebloom_to_vortex", FIREBLOOM, VORTEX}, {"seed_to_vortex", SEED, VORTEX},
    {"firebloom_to_shard", FIREBLOOM, SHARD}, {"seed_to_shard", SEED, SHARD},
};

inline const Recipe* find_recipe(const char* name)
{
  for (const Recipe& r : RECIPES)
    if (name && strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

// The recipe that makes `target` from what the stock holds most of (ties go
// to the first listed); null when no recipe makes it or none can be paid.
inline const Recipe* pick_recipe(int target, const Stock& have)
{
  const Recipe* best = nullptr;
  for (const Recipe& r : RECIPES)
    if (r.to == target && have[r.from] >= CRAFT_INPUT && (!best || have[r.from] > have[best->from])) best = &r;
  return best;
}

// What a target needs to be crafted, for the player: "3 Fireblooms or 3 Rare
// seeds make 1 Fallen star", or "" when nothing makes it.
inline void recipe_text(int target, char* out, int size)
{
  int used = 0;
  out[0] = 0;
  for (const Recipe& r : RECIPES)
    if (r.to == target && used < size)
      used += snprintf(out + used, size - used, "%s%d %s", used ? " or " : "", CRAFT_INPUT,
                       res_name(r.from, CRAFT_INPUT));
  if (used && used < size) snprintf(out + used, size - used, " make 1 %s", res_name(target, 1));
}

// Crafts once: null and the stock changed, or the reason and the stock as it was.
inline const char* apply_recipe(const Recipe& r, Stock& have, char* reason, int size)
{
  if (have[r.from] < CRAFT_INPUT) {
    snprintf(reason, size, "Needs %d %s to craft a %s (you have %d)", CRAFT_INPUT, res_name(r.from, CRAFT_INPUT),
             res_name(r.to, 1), have[r.from]);
    return reason;
  }
  have[r.from] -= CRAFT_INPUT;
  have[r.to] += 1;
  return nullptr;
}

// The cost of the spell the stock is short of that a recipe can make now,
// as its resource; -1 when nothing is short or nothing short can be made.
inline int craftable_shortfall(const char* spell_class, const Stock& have)
{
  Cost costs[RES_COUNT];
  const int n = spell_costs(spell_class, costs, RES_COUNT);
  for (int i = 0; i < n; i++)
    if (have[costs[i].res] < costs[i].need && pick_recipe(costs[i].res, have)) return costs[i].res;
  return -1;
}

} // namespace craft
