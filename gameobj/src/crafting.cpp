// Resource costs of the strong spells and crafting, on the universe's
// "resources" table (the rules are in crafting_rules.h), and their developer
// commands. The panel that shows them is ui_crafting.cpp.
#include <stdio.h>
#include <string.h>

#include <string>

#include "core/log.h"
#include "crafting_rules.h"
#include "devtools/dev_server.h"
#include "game.h"
#include "host/gameobj_api.h"
#include "objects.h"
#include "table_entries.h"
#include "world/universe.h"

namespace {

craft::Stock read_stock()
{
  craft::Stock have{};
  for (int i = 0; i < craft::RES_COUNT; i++) have[i] = get_glob_res_amount(craft::RESOURCES[i].kind);
  return have;
}

Vec4f player_at()
{
  return local_player ? Vec4f{local_player->pos[0], local_player->pos[1], local_player->pos[2], 1} : Vec4f{0, 0, 0, 1};
}

// Takes the recipe's input and adds its output in the universe; the stock
// was checked just before, so only a broken table can fail here.
const char* run_recipe(const craft::Recipe& r, char* reason, int size)
{
  craft::Stock have = read_stock();
  if (const char* short_of = craft::apply_recipe(r, have, reason, size)) return short_of;
  if (!add_glob_res_amount(craft::RESOURCES[r.from].kind, -craft::CRAFT_INPUT) ||
      !add_glob_res_amount(craft::RESOURCES[r.to].kind, 1)) {
    snprintf(reason, size, "The universe's resources could not be changed");
    return reason;
  }
  play_sound_at("pick_up_res", player_at());
  hud_res_picked_up(craft::RESOURCES[r.to].kind);
  debug("crafting: %d %s made 1 %s", craft::CRAFT_INPUT, craft::res_name(r.from, craft::CRAFT_INPUT),
        craft::res_name(r.to, 1));
  return nullptr;
}

} // namespace

// ===== Costs ===================================================================

bool spell_resources_apply() { return !universe.isNull(); }

const char* check_spell_resources(int class_id)
{
  if (!spell_resources_apply()) return nullptr; // no game: the strong spells can be tried freely
  static char reason[96];
  return craft::check_costs(gameobj_class_name(class_id), read_stock(), reason, sizeof reason);
}

void take_spell_resources(int class_id)
{
  if (!spell_resources_apply()) return;
  craft::Cost costs[craft::RES_COUNT];
  const int n = craft::spell_costs(gameobj_class_name(class_id), costs, craft::RES_COUNT);
  for (int i = 0; i < n; i++) add_glob_res_amount(craft::RESOURCES[costs[i].res].kind, -costs[i].need);
}

void spell_cost_text(int class_id, char* out, int size) { craft::cost_text(gameobj_class_name(class_id), out, size); }

// ===== Crafting ================================================================

const char* craft_resource(const char* what)
{
  static char reason[160];
  if (!spell_resources_apply()) return "There is no game to craft in";
  const craft::Recipe* recipe = craft::find_recipe(what);
  if (!recipe) {
    const int target = craft::res_index(what);
    if (target < 0) {
      snprintf(reason, sizeof reason, "'%s' is neither a recipe nor a resource", what ? what : "");
      return reason;
    }
    char makes[128];
    craft::recipe_text(target, makes, sizeof makes);
    if (!*makes) {
      snprintf(reason, sizeof reason, "%s cannot be crafted", craft::res_name(target, 2));
      return reason;
    }
    recipe = craft::pick_recipe(target, read_stock());
    if (!recipe) {
      snprintf(reason, sizeof reason, "Too few to craft: %s", makes);
      return reason;
    }
  }
  return run_recipe(*recipe, reason, sizeof reason);
}

const char* craft_for_spell(int class_id)
{
  if (!spell_resources_apply()) return "There is no game to craft in";
  const char* spell = gameobj_class_name(class_id);
  const craft::Stock have = read_stock();
  const int res = craft::craftable_shortfall(spell, have);
  if (res >= 0) return craft_resource(craft::RESOURCES[res].kind);
  static char reason[160];
  char short_of[96];
  if (!craft::check_costs(spell, have, short_of, sizeof short_of)) return "Nothing to craft: the spell is paid for";
  // The first short cost, and what would make it.
  craft::Cost costs[craft::RES_COUNT];
  const int n = craft::spell_costs(spell, costs, craft::RES_COUNT);
  for (int i = 0; i < n; i++)
    if (have[costs[i].res] < costs[i].need) {
      char makes[128];
      craft::recipe_text(costs[i].res, makes, sizeof makes);
      snprintf(reason, sizeof reason, "%s: %s", short_of,
               *makes ? makes : "find it in the worlds or win it from the creatures");
      break;
    }
  return reason;
}

// ===== Developer socket ========================================================

namespace {

void dev_resources(const DevMessage&, DevReply& reply)
{
  const craft::Stock have = read_stock();
  for (int i = 0; i < craft::RES_COUNT; i++) reply.add(" %s=%d", craft::RESOURCES[i].kind, have[i]);
}

// Developer aid: adds to a resource (a negative amount takes, never below 0).
void dev_give_res(const DevMessage& msg, DevReply& reply)
{
  const std::string& kind = msg.getString("kind");
  const int amount = msg.getInt("amount");
  if (craft::res_index(kind.c_str()) < 0) {
    reply.fail("'%s' is not a resource (shard, vortex, firebloom, star, seed)", kind.c_str());
    return;
  }
  if (!spell_resources_apply()) {
    reply.fail("There is no game: resources belong to a game's universe");
    return;
  }
  const int have = get_glob_res_amount(kind.c_str());
  if (have + (long long)amount < 0 || have + (long long)amount > 1000000) {
    reply.fail("%s %d + %d is out of range", kind.c_str(), have, amount);
    return;
  }
  if (!add_glob_res_amount(kind.c_str(), amount)) {
    reply.fail("The universe's resources could not be changed");
    return;
  }
  reply.add(" %s=%d", kind.c_str(), get_glob_res_amount(kind.c_str()));
}

// "what" is a recipe ("seed_to_star") or the resource to make ("star");
// without it, what the panel's spell lacks.
void dev_craft(const DevMessage& msg, DevReply& reply)
{
  const char* failed = msg.has("what") ? craft_resource(msg.getString("what").c_str())
                                       : craft_for_spell(crafting_panel_spell());
  if (failed) {
    reply.fail("%s", failed);
    return;
  }
  dev_resources(msg, reply);
}

void dev_crafting(const DevMessage&, DevReply& reply) { crafting_panel_describe(reply); }

} // namespace

void register_crafting_dev_commands()
{
  register_dev_command("resources", dev_resources);
  register_dev_command("giveRes", dev_give_res);
  register_dev_command("craft", dev_craft);
  register_dev_command("crafting", dev_crafting);
}
