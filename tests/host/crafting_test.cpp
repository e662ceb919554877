// Resource costs of the strong spells, crafting and the crafting panel: the
// rules on their own, then the real module casting, crafting and showing the
// panel on a universe table made in a test VM, through its developer
// commands (answered in process) as the game drives them.
#include <gtest/gtest.h>
#include <squirrel.h>

#include <string>

#include "../../gameobj/src/crafting_rules.h"
#include "devtools/dev_server.h"
#include "world/hmGen.h"
#include "real_module.h"
#include "script/sqbind.h"
#include "world/universe.h"

namespace {

using namespace craft;

TEST(CraftingRules, StrongSpellsCostTheirResourceAndTheFirstShortCostIsNamed)
{
  char reason[96];
  Stock none{};
  EXPECT_STREQ(check_costs("MeteorSpell", none, reason, sizeof reason), "Needs 1 Fallen star");
  EXPECT_STREQ(check_costs("CastleSpell", Stock{1, 0, 0, 0, 0}, reason, sizeof reason), "Needs 2 Crystal shards");
  EXPECT_STREQ(check_costs("ThunderstormSpell", none, reason, sizeof reason), "Needs 1 Magic vortex");
  EXPECT_STREQ(check_costs("GuardTowerSpell", none, reason, sizeof reason), "Needs 1 Firebloom");
  EXPECT_STREQ(check_costs("HouseSpell", none, reason, sizeof reason), "Needs 1 Rare seed");
  EXPECT_EQ(check_costs("CastleSpell", Stock{2, 0, 0, 0, 0}, reason, sizeof reason), nullptr);
  // The spells of the land, the water and the mana cost nothing but mana.
  for (const char* free : {"FireballSpell", "HillSpell", "PitSpell", "FaultSpell", "VolcanoSpell", "WaterballSpell",
                           "WaterSourceSpell", "WaterSinkSpell", "ClaimManaSpell", "UsePortalSpell", "LightningSpell",
                           "HealingSpell"}) {
    EXPECT_EQ(check_costs(free, none, reason, sizeof reason), nullptr) << free;
    cost_text(free, reason, sizeof reason);
    EXPECT_STREQ(reason, "") << free;
  }
  cost_text("CastleSpell", reason, sizeof reason);
  EXPECT_STREQ(reason, "Costs 2 Crystal shards");
  EXPECT_EQ(res_index("star"), STAR);
  EXPECT_EQ(res_index("gold"), -1);
  EXPECT_EQ(res_index(nullptr), -1);
}

TEST(CraftingRules, ThreeCommonMakeOneRareShortExactAndOver)
{
  char reason[128];
  const Recipe* seeds = find_recipe("seed_to_star");
  ASSERT_NE(seeds, nullptr);
  Stock have{0, 0, 0, 0, 2};
  EXPECT_STREQ(apply_recipe(*seeds, have, reason, sizeof reason),
               "Needs 3 Rare seeds to craft a Fallen star (you have 2)");
  EXPECT_EQ(have, (Stock{0, 0, 0, 0, 2})); // a refusal changes nothing
  have[SEED] = 3;
  EXPECT_EQ(apply_recipe(*seeds, have, reason, sizeof reason), nullptr);
  EXPECT_EQ(have, (Stock{0, 0, 0, 1, 0}));
  have[SEED] = 7;
  EXPECT_EQ(apply_recipe(*seeds, have, reason, sizeof reason), nullptr);
  EXPECT_EQ(have, (Stock{0, 0, 0, 2, 4}));

  // The target alone: made from whichever common resource there is more of.
  EXPECT_EQ(pick_recipe(STAR, Stock{0, 0, 3, 0, 5})->from, SEED);
  EXPECT_EQ(pick_recipe(STAR, Stock{0, 0, 4, 0, 2})->from, FIREBLOOM);
  EXPECT_EQ(pick_recipe(STAR, Stock{0, 0, 2, 0, 2}), nullptr);
  EXPECT_EQ(pick_recipe(FIREBLOOM, Stock{9, 9, 9, 9, 9}), nullptr); // the common ones are found, not made
  recipe_text(STAR, reason, sizeof reason);
  EXPECT_STREQ(reason, "3 Fireblooms or 3 Rare seeds make 1 Fallen star");
  recipe_text(SEED, reason, sizeof reason);
  EXPECT_STREQ(reason, "");

  // What the panel crafts for a spell: only a short cost a recipe can pay now.
  EXPECT_EQ(craftable_shortfall("MeteorSpell", Stock{0, 0, 3, 0, 0}), STAR);
  EXPECT_EQ(craftable_shortfall("MeteorSpell", Stock{0, 0, 3, 1, 0}), -1); // paid for
  EXPECT_EQ(craftable_shortfall("MeteorSpell", Stock{0, 0, 2, 0, 2}), -1); // too few
  EXPECT_EQ(craftable_shortfall("HouseSpell", Stock{0, 0, 9, 0, 0}), -1);  // seeds are not made
  EXPECT_EQ(craftable_shortfall("CastleSpell", Stock{1, 0, 0, 0, 3}), SHARD);
}

// The developer server with its reply kept instead of sent.
struct ReplyCatcher : DevServer {
  std::string reply;
  void send(const char* data, int length) override { reply.assign(data, length); }
};

class Crafting : public RealModule {
protected:
  ReplyCatcher server;
  HSQUIRRELVM vm = nullptr;
  Player* player = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    vm = sq_open(1024);
    fn<void (*)()>(gameobj_funcs.init_spell_grid)();
    player = gameobj_api.create_player(Vec4f{128, 5, 128, 1});
    local_player = player;
    step(1);
  }
  void TearDown() override
  {
    worlds.reset();
    universe.reset();
    RealModule::TearDown();
    sq_close(vm);
  }
  // A universe holding these resources, made the host's active one.
  void make_universe(const std::string& resources)
  {
    std::string code = "universe <- { worlds = [{ index = 0, links = [] }], resources = " + resources +
                       ", enteredWorld = 0 };";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test", SQTrue)));
    sq_pushroottable(vm);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQFalse)));
    sq_pop(vm, 1);
    universe = sqbind::getSlot<SqObject>(sqbind::root_table(vm), "universe");
    worlds = sqbind::getSlot<SqObject>(universe, "worlds");
  }
  std::string dev(const std::string& line)
  {
    std::string msg, error;
    EXPECT_TRUE(dev_encode_text_command(line.c_str(), msg, error)) << error;
    server.reply.clear();
    server.handleMessage(msg.data(), (int)msg.size());
    return server.reply;
  }
  std::string cast(const char* spell) { return dev("cast spell=\"" + std::string(spell) + "\" x:d=100 z:d=100"); }
  float mana()
  {
    std::string r = dev("player");
    size_t at = r.find("mana=");
    return at == std::string::npos ? -1 : strtof(r.c_str() + at + 5, nullptr);
  }
  // The HUD's update with the bar's selection as it is (no mouse in tests).
  void hud_step() { fn<void (*)(float)>(gameobj_funcs.update_spells_ui)(0.05f); }
  void select(int host_spell_id) { gameobj_api.player_spell_op(player, 1, host_spell_id); }
};

TEST_F(Crafting, ResourcesAreCheckedAfterManaAndTakenWithItOnlyOnACast)
{
  make_universe("{ shard = 0, vortex = 0, firebloom = 0, star = 0, seed = 0 }");
  EXPECT_EQ(dev("give spell=MeteorSpell"), "k");
  // Short of both: mana is told first.
  EXPECT_EQ(dev("setPlayer mana:d=10"), "k");
  EXPECT_EQ(cast("MeteorSpell"), "eNot enough mana");
  // Mana enough, no star: refused, nothing taken, no cooldown started.
  EXPECT_EQ(dev("setPlayer mana:d=100"), "k");
  EXPECT_EQ(cast("MeteorSpell"), "eNeeds 1 Fallen star");
  EXPECT_EQ(cast("MeteorSpell"), "eNeeds 1 Fallen star");
  EXPECT_FLOAT_EQ(mana(), 100);
  EXPECT_EQ(MeteorMissile_list.num, 0);

  EXPECT_EQ(dev("giveRes kind=star amount=2"), "k star=2");
  EXPECT_EQ(cast("MeteorSpell"), "k");
  EXPECT_FLOAT_EQ(mana(), 50);
  EXPECT_EQ(MeteorMissile_list.num, 1);
  EXPECT_EQ(dev("resources"), "k shard=0 vortex=0 firebloom=0 star=1 seed=0");
  // Cooling down is told before anything else, and takes nothing.
  EXPECT_EQ(cast("MeteorSpell"), "eNot ready yet");
  EXPECT_EQ(dev("resources"), "k shard=0 vortex=0 firebloom=0 star=1 seed=0");

  // Endless mana leaves the resources their price.
  fn<void (*)()>(gameobj_funcs.toggle_mana_cheat)();
  EXPECT_EQ(dev("give spell=ThunderstormSpell"), "k");
  EXPECT_EQ(cast("ThunderstormSpell"), "eNeeds 1 Magic vortex");
  fn<void (*)()>(gameobj_funcs.toggle_mana_cheat)();

  // The developer aid refuses what is not a resource or would go below 0.
  EXPECT_EQ(dev("giveRes kind=gold amount=1"), "e'gold' is not a resource (shard, vortex, firebloom, star, seed)");
  EXPECT_EQ(dev("giveRes kind=star amount=-2").substr(0, 1), "e");
  EXPECT_EQ(dev("giveRes kind=star amount=-1"), "k star=0");

  // Without a universe (the main menu's world) the strong spells are free.
  worlds.reset();
  universe.reset();
  EXPECT_EQ(cast("ThunderstormSpell"), "k");
  EXPECT_EQ(dev("resources"), "k shard=0 vortex=0 firebloom=0 star=0 seed=0");
  EXPECT_EQ(dev("giveRes kind=star amount=1").substr(0, 1), "e");
  EXPECT_EQ(dev("craft what=star"), "eThere is no game to craft in");
}

TEST_F(Crafting, CraftingChangesTheUniverseOnlyWhenPaid)
{
  make_universe("{ shard = 1, firebloom = 4, seed = 2 }"); // no slot for stars yet
  EXPECT_EQ(dev("craft what=seed_to_star"), "eNeeds 3 Rare seeds to craft a Fallen star (you have 2)");
  EXPECT_EQ(dev("craft what=firebloom"), "eFireblooms cannot be crafted");
  EXPECT_EQ(dev("craft what=gold"), "e'gold' is neither a recipe nor a resource");
  EXPECT_EQ(dev("resources"), "k shard=1 vortex=0 firebloom=4 star=0 seed=2");
  // The target alone takes from the fireblooms (there are more of them).
  EXPECT_EQ(dev("craft what=star"), "k shard=1 vortex=0 firebloom=1 star=1 seed=2");
  EXPECT_EQ(dev("craft what=vortex"), "eToo few to craft: 3 Fireblooms or 3 Rare seeds make 1 Magic vortex");
  EXPECT_EQ(dev("giveRes kind=seed amount=1"), "k seed=3");
  EXPECT_EQ(dev("craft what=seed_to_shard"), "k shard=2 vortex=0 firebloom=1 star=1 seed=0");
}

TEST_F(Crafting, ThePanelShowsTheSelectedCostlySpellAndCraftsWhatItLacks)
{
  make_universe("{ shard = 0, vortex = 0, firebloom = 3, star = 0, seed = 1 }");
  fn<void (*)()>(gameobj_funcs.add_initial_spells)();
  EXPECT_EQ(dev("give spell=MeteorSpell"), "k");
  hud_step(); // Fireball is selected: free, no panel
  EXPECT_EQ(dev("crafting"), "k visible=0 spell=none costs=");

  select(47); // Meteor
  hud_step();
  EXPECT_EQ(dev("crafting"), "k visible=1 spell=MeteorSpell costs=star:1/0");
  // "craft" without a target crafts what the panel's spell lacks.
  EXPECT_EQ(dev("craft"), "k shard=0 vortex=0 firebloom=0 star=1 seed=1");
  EXPECT_EQ(dev("crafting"), "k visible=1 spell=MeteorSpell costs=star:1/1");
  EXPECT_EQ(dev("craft"), "eNothing to craft: the spell is paid for");
  EXPECT_EQ(dev("setPlayer mana:d=100"), "k");
  EXPECT_EQ(cast("MeteorSpell"), "k");
  EXPECT_EQ(dev("crafting"), "k visible=1 spell=MeteorSpell costs=star:1/0");
  EXPECT_EQ(dev("craft"), "eNeeds 1 Fallen star: 3 Fireblooms or 3 Rare seeds make 1 Fallen star");

  // The panel's own entries: unknown resources and needs below 1 are left out.
  fn<void (*)()>(gameobj_funcs.reset_crafting_ui)();
  fn<void (*)(const char*)>(gameobj_funcs.show_crafting_ui)("Test");
  fn<void (*)(const char*, int)>(gameobj_funcs.add_crafting_cost)("gold", 1);
  fn<void (*)(const char*, int)>(gameobj_funcs.add_crafting_cost)("shard", 0);
  fn<void (*)(const char*, int)>(gameobj_funcs.add_crafting_cost)("vortex", 2);
  EXPECT_EQ(dev("crafting"), "k visible=1 spell=none costs=vortex:2/0");
  fn<void (*)()>(gameobj_funcs.hide_crafting_ui)();
  EXPECT_EQ(dev("crafting"), "k visible=0 spell=none costs=");

  // Without a game the panel stays hidden (the spells are free).
  hud_step();
  EXPECT_EQ(dev("crafting").substr(0, 11), "k visible=1");
  worlds.reset();
  universe.reset();
  hud_step();
  EXPECT_EQ(dev("crafting"), "k visible=0 spell=none costs=");
}

} // namespace
