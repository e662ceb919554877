// The player, the spell bar and the land and water spells in the real
// gameobj.so on a flat world, driven through the module's own developer
// commands (answered in process) and its table, as the game drives them.
#include <gtest/gtest.h>
#include <math.h>
#include <squirrel.h>

#include <algorithm>
#include <string>

#include "devtools/dev_server.h"
#include "render/device.h"
#include "world/hmGen.h"
#include "real_module.h"
#include "script/sqbind.h"
#include "world/universe.h"

namespace {

// The developer server with its reply kept instead of sent.
struct ReplyCatcher : DevServer {
  std::string reply;
  void send(const char* data, int length) override { reply.assign(data, length); }
};

class Spells : public RealModule {
protected:
  ReplyCatcher server;
  Player* player = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    call(gameobj_funcs.init_spell_grid);
    player = gameobj_api.create_player(Vec4f{128, 5, 128, 1});
    local_player = player;
    step(1);
  }
  // Moves the player as the play mode does when it takes the camera's place.
  void move_player(float x, float y, float z) { gameobj_api.player_take_camera(player, Vec4f{x, y, z, 1}); }
  Vec4f player_pos()
  {
    Vec4f p{NAN, NAN, NAN, 1};
    EXPECT_TRUE(gameobj_api.player_position(player, &p));
    return p;
  }
  // A table entry without arguments.
  void call(void* entry) { fn<void (*)()>(entry)(); }
  std::string dev(const std::string& line)
  {
    std::string msg, error;
    EXPECT_TRUE(dev_encode_text_command(line.c_str(), msg, error)) << error;
    server.reply.clear();
    server.handleMessage(msg.data(), (int)msg.size());
    return server.reply;
  }
  std::string cast(const char* spell, float x, float z)
  {
    return dev("cast spell=\"" + std::string(spell) + "\" x:d=" + std::to_string(x) + " z:d=" + std::to_string(z));
  }
  // A number of the "player" reply.
  float player_value(const char* key)
  {
    std::string r = dev("player");
    size_t at = r.find(std::string(" ") + key + "=");
    if (r.rfind(std::string("k") + key + "=", 0) == 0) at = 0;
    EXPECT_NE(at, std::string::npos) << r;
    return at == std::string::npos ? NAN : strtof(r.c_str() + r.find('=', at) + 1, nullptr);
  }
  std::string player_field(const char* key)
  {
    std::string r = dev("player");
    size_t at = r.find(std::string(" ") + key + "=");
    if (at == std::string::npos) return "";
    at = r.find('=', at) + 1;
    return r.substr(at, r.find(' ', at) - at);
  }
  float target(int x, int z) { return target_hmap[hmap_index(x, z)]; }
  float fluid(int x, int z) { return water[z & 255][x & 255].depth; }
};

TEST_F(Spells, CastChecksOwnershipCooldownAndManaInOrderAndChargesOnlySuccess)
{
  EXPECT_EQ(cast("VolcanoSpell", 100, 100), "eYou do not have that spell");
  EXPECT_EQ(dev("give spell=\"Dragon\""), "e'Dragon' is not a spell");
  EXPECT_EQ(dev("give spell=\"VolcanoSpell\""), "k");

  EXPECT_EQ(dev("setPlayer mana:d=30"), "k");
  EXPECT_EQ(cast("VolcanoSpell", 100, 100), "eNot enough mana");
  EXPECT_FLOAT_EQ(player_value("mana"), 30);
  EXPECT_EQ(VolcanoMissile_list.num, 0);

  dev("setPlayer mana:d=100");
  EXPECT_EQ(cast("VolcanoSpell", 100, 100), "k");
  EXPECT_FLOAT_EQ(player_value("mana"), 40); // the volcano costs 60
  EXPECT_EQ(VolcanoMissile_list.num, 1);
  // Cooling down is told before the lack of mana.
  dev("setPlayer mana:d=0");
  EXPECT_EQ(cast("VolcanoSpell", 100, 100), "eNot ready yet");
  dev("setPlayer mana:d=100");
  step(19 * 10); // 9.5 s of the 10 s cooldown
  EXPECT_EQ(cast("VolcanoSpell", 100, 100), "eNot ready yet");
  step(20);
  EXPECT_EQ(cast("VolcanoSpell", 60, 60), "k");

  // A spell whose own casting fails takes neither mana nor a cooldown (the
  // castle refuses the volcano's lava).
  call(gameobj_funcs.add_initial_spells);
  dev("give spell=\"CastleSpell\"");
  dev("setPlayer mana:d=90");
  EXPECT_EQ(cast("CastleSpell", 100, 100), "eNot on water or lava");
  EXPECT_EQ(cast("CastleSpell", 100, 100), "eNot on water or lava");
  EXPECT_FLOAT_EQ(player_value("mana"), 90);

  // Endless mana: nothing is taken, and casting works from an empty pool.
  call(gameobj_funcs.toggle_mana_cheat);
  dev("setPlayer mana:d=0");
  EXPECT_EQ(cast("HillSpell", 30, 30), "k");
  call(gameobj_funcs.toggle_mana_cheat);
  step(1);
  dev("setPlayer mana:d=0");
  EXPECT_EQ(cast("PitSpell", 30, 30), "eNot enough mana");
}

TEST_F(Spells, ManaRefillsHealthHealsAndLavaHurtsOnlyCloseAbove)
{
  dev("setPlayer mana:d=0 health:d=50");
  step(20 * 4);
  EXPECT_NEAR(player_value("mana"), 2.0f, 0.1f); // 0.5 a second without owned mana
  EXPECT_FLOAT_EQ(player_value("health"), 50);   // healing waits five quiet seconds
  step(20 * 3);
  EXPECT_GT(player_value("health"), 51.0f);

  // Lava under a player high above does nothing; low over it, it burns.
  for (int z = 40; z < 80; ++z)
    for (int x = 40; x < 80; ++x) water[z][x].depth = -1.0f;
  dev("setPlayer health:d=100 mana:d=50");
  move_player(60, 30, 60);
  step(20);
  EXPECT_FLOAT_EQ(player_value("health"), 100);
  move_player(60, -10, 60); // kept above the surface, within reach of the heat
  EXPECT_GT(player_pos().y, 2.0f);
  step(20);
  EXPECT_NEAR(player_value("health"), 75.0f, 1.0f);

  // Dying takes the player back to where it entered the world (no castle),
  // with full health and a quarter of the mana pool less.
  float mana_before = player_value("mana");
  step(20 * 3 + 5);
  EXPECT_NEAR(player_pos().x, 128, 0.01);
  EXPECT_NEAR(player_pos().z, 128, 0.01);
  EXPECT_GT(player_value("health"), 99.0f);
  EXPECT_NEAR(player_value("mana"), mana_before + 0.5f * 3.25f - 25.0f, 0.5f);

  // With a castle the player comes back over it.
  gameobj_api.single_castle = [](Vec4f* pos) {
    *pos = Vec4f{30, 10, 40, 1};
    return reinterpret_cast<BaseObject*>(&gameobj_api);
  };
  EXPECT_EQ(dev("setPlayer health:d=0"), "k");
  gameobj_api.single_castle = nullptr;
  EXPECT_NEAR(player_pos().x, 30, 0.01);
  EXPECT_NEAR(player_pos().y, 16, 0.01);
  EXPECT_NEAR(player_pos().z, 40, 0.01);
  EXPECT_FLOAT_EQ(player_value("health"), 100);
}

TEST_F(Spells, TheCrosshairFindsTheGroundAndThePlayerStaysInTheAir)
{
  // Looking down 45 degrees from 20 over flat land: the point 20 ahead.
  EXPECT_EQ(dev("setCamera x=100 y=20 z=100 ha=0 va=-45"), "k");
  float x = NAN, y = NAN, z = NAN;
  ASSERT_EQ(sscanf(dev("aim").c_str(), "kx=%f y=%f z=%f", &x, &y, &z), 3) << dev("aim");
  EXPECT_NEAR(x, 100, 0.05);
  EXPECT_NEAR(z, 120, 0.05);
  // Behind a hill the view stops at its near slope.
  for (int zz = 108; zz < 112; ++zz)
    for (int xx = 90; xx < 110; ++xx) hmap[hmap_index(xx, zz)] = 30;
  ASSERT_EQ(sscanf(dev("aim").c_str(), "kx=%f y=%f z=%f", &x, &y, &z), 3);
  EXPECT_LT(z, 109.0f);
  EXPECT_GT(y, 5.0f);
  EXPECT_EQ(dev("setCamera x=100 y=20 z=100 ha=180 va=30"), "k");
  EXPECT_EQ(dev("aim"), "eNo ground there"); // the sky

  // The developer mode's click casts the selected spell where its ray meets
  // the land (here straight down at 60, 60), and a held button does not
  // cast again while the spell cools down.
  call(gameobj_funcs.add_initial_spells);
  gameobj_api.player_spell_op(player, 1, 29); // select the hill (the host's number 29)
  auto click = gameobj_fn<void (*)(const Vec4f&, const Vec4f&)>(gameobj_funcs.on_devmode_click);
  float before = player_value("mana");
  click(Vec4f{60, 30, 60, 1}, Vec4f{0, -1, 0, 0});
  click(Vec4f{60, 30, 60, 1}, Vec4f{0, -1, 0, 0});
  EXPECT_FLOAT_EQ(player_value("mana"), before - 8) << "cast once, at the hill's price";
  step(20);
  EXPECT_GT(target(60, 60), 4.0f);
  EXPECT_FLOAT_EQ(target(30, 30), 0.0f);

  // Flying into the land or far up is stopped over the surface and under the ceiling.
  Matrix44 m{};
  gameobj_api.player_move(player, 0.05f, 1, Vec4f{0, -500, 0, 0}, m, 0);
  EXPECT_NEAR(player_pos().y, 1.5f, 0.01);
  gameobj_api.player_move(player, 0.05f, 1, Vec4f{0, 500, 0, 0}, m, 0);
  EXPECT_NEAR(player_pos().y, 80.0f, 0.01);
  gameobj_api.player_move(player, 0.05f, 1, Vec4f{NAN, 0, 3, 0}, m, 0);
  EXPECT_NEAR(player_pos().x, 128, 0.01);
  EXPECT_NEAR(player_pos().z, 131, 0.01);
}

TEST_F(Spells, TheBarRoundTripsThroughTheGamesDataAndSkipsWhatIsNoSpell)
{
  HSQUIRRELVM v = sq_open(1024);
  sq_newtable(v);
  cur_game_info = SqObject::fromStack(v, -1);
  sq_pop(v, 1);
  struct Release {
    HSQUIRRELVM v;
    ~Release() { cur_game_info = SqObject(); sq_close(v); }
  } release{v};

  // A game saved before it had a bar starts with the first spells.
  call(gameobj_funcs.load_spells);
  EXPECT_EQ(player_field("spells"), "FireballSpell,HillSpell,PitSpell,ClaimManaSpell");

  dev("give spell=\"WaterSinkSpell\"");
  gameobj_api.player_spell_op(player, 1, 54); // the host's number of the pit
  EXPECT_EQ(player_field("selected"), "2");
  call(gameobj_funcs.save_spells);
  call(gameobj_funcs.init_spell_grid);
  EXPECT_EQ(player_field("spells"), "");
  call(gameobj_funcs.load_spells);
  EXPECT_EQ(player_field("spells"), "FireballSpell,HillSpell,PitSpell,ClaimManaSpell,WaterSinkSpell");
  EXPECT_EQ(player_field("selected"), "2");

  // Names that are not spells are skipped, the rest kept in order.
  SqObject spells = sqbind::getSlot<SqObject>(cur_game_info, "spells");
  spells.push(v);
  for (const char* name : {"Dragon", "Player", "VolcanoSpell"}) {
    sq_pushstring(v, name, -1);
    sq_arrayappend(v, -2);
  }
  sq_pushinteger(v, 7);
  sq_arrayappend(v, -2);
  sq_pop(v, 1);
  call(gameobj_funcs.load_spells);
  EXPECT_EQ(player_field("spells"), "FireballSpell,HillSpell,PitSpell,ClaimManaSpell,WaterSinkSpell,VolcanoSpell");
  // Saving again replaces what the game's data held.
  call(gameobj_funcs.save_spells);
  call(gameobj_funcs.load_spells);
  EXPECT_EQ(player_field("spells"), "FireballSpell,HillSpell,PitSpell,ClaimManaSpell,WaterSinkSpell,VolcanoSpell");

  // A pickup adds its spell once; the host's questions see the bar.
  auto id_of = fn<int (*)(const char*)>(gameobj_funcs.gameobj_id_by_name);
  auto pick_up = fn<void (*)(int)>(gameobj_funcs.pick_up_spell);
  pick_up(id_of("MeteorSpell"));
  pick_up(id_of("MeteorSpell"));
  pick_up(id_of("Player"));
  EXPECT_EQ(player_field("spells"), "FireballSpell,HillSpell,PitSpell,ClaimManaSpell,WaterSinkSpell,VolcanoSpell,MeteorSpell");
  EXPECT_TRUE(gameobj_api.player_has_spell("MeteorSpell"));
  EXPECT_FALSE(gameobj_api.player_has_spell("UsePortalSpell"));
  auto has_selected = fn<bool (*)(const char*)>(gameobj_funcs.player_has_spell_selected);
  EXPECT_TRUE(has_selected("PitSpell"));
  EXPECT_FALSE(has_selected("HillSpell"));

  // Every spell class of the game is in the catalogue, and only those.
  call(gameobj_funcs.init_spell_grid);
  int spells_listed = 0;
  for (const char* name : {
#define NAME(n) #n,
         GAMEOBJ_WALKED_LISTS(NAME) GAMEOBJ_UNWALKED_LISTS(NAME)
#undef NAME
       }) {
    std::string n = name;
    bool spell = n.size() > 5 && n.compare(n.size() - 5, 5, "Spell") == 0 && n != "SpellObject";
    EXPECT_EQ(dev("give spell=\"" + n + "\"") == "k", spell) << n;
    spells_listed += spell;
  }
  call(gameobj_funcs.add_all_spells);
  std::string all = player_field("spells");
  EXPECT_EQ(std::count(all.begin(), all.end(), ',') + 1, spells_listed) << all;
}

TEST_F(Spells, LandSpellsMoveTheTargetWhereTheirMissilesLand)
{
  call(gameobj_funcs.add_all_spells);
  call(gameobj_funcs.toggle_mana_cheat);
  move_player(128, 5, 60);
  EXPECT_EQ(cast("HillSpell", 128, 100), "k");
  step(1);
  EXPECT_FLOAT_EQ(target(128, 100), 0.0f) << "the missile is still flying";
  step(12); // the land starts to move within a second of the cast
  EXPECT_GT(target(128, 100), 4.0f);
  EXPECT_GT(target(131, 100), 1.0f);
  EXPECT_FLOAT_EQ(target(128, 112), 0.0f);

  EXPECT_EQ(cast("PitSpell", 60, 200), "k");
  step(13);
  EXPECT_LT(target(60, 200), -4.0f);
  EXPECT_FLOAT_EQ(target(60, 212), 0.0f);

  // The crack runs along the cast: from the player at z = 60 toward +z.
  EXPECT_EQ(cast("FaultSpell", 128, 160), "k");
  step(13);
  for (int z : {150, 160, 170}) EXPECT_LT(target(128, z), -3.0f) << z;
  EXPECT_FLOAT_EQ(target(136, 160), 0.0f);
  EXPECT_FLOAT_EQ(target(128, 176), 0.0f);

  EXPECT_EQ(cast("VolcanoSpell", 200, 60), "k");
  step(13);
  EXPECT_GT(target(206, 60), 3.0f); // the cone's flank
  EXPECT_GT(target(200, 60), 2.0f); // the crater's floor, under the rim
  EXPECT_LT(target(200, 60), target(202, 60) + 1.0f);
  EXPECT_FLOAT_EQ(target(214, 60), 0.0f);
  step(20);
  EXPECT_LT(fluid(200, 60), 0.0f) << "no lava poured into the crater";
}

TEST_F(Spells, WaterSpellsPourDrainAndBurst)
{
  call(gameobj_funcs.add_all_spells);
  call(gameobj_funcs.toggle_mana_cheat);
  // The globe: nothing until it lands, then a ball's worth of water.
  EXPECT_EQ(cast("WaterballSpell", 100, 100), "k");
  step(1);
  EXPECT_FLOAT_EQ(fluid(100, 100), 0.0f);
  step(12);
  EXPECT_GT(fluid(100, 100), 4.0f);
  EXPECT_FLOAT_EQ(fluid(100, 104), 0.0f);

  // The source keeps pouring step after step.
  EXPECT_EQ(cast("WaterSourceSpell", 160, 160), "k");
  step(13);
  float first = fluid(160, 160);
  EXPECT_GT(first, 0.0f);
  step(20);
  EXPECT_GT(fluid(160, 160), first + 0.5f);

  // The sink drains a lake and never turns its water into lava or rock.
  for (int z = 20; z < 40; ++z)
    for (int x = 200; x < 220; ++x) water[z][x].depth = 2.0f;
  EXPECT_EQ(cast("WaterSinkSpell", 210, 30), "k");
  step(13 + 20);
  EXPECT_FLOAT_EQ(fluid(210, 30), 0.0f);
  EXPECT_LT(fluid(212, 30), 2.0f);
  EXPECT_FLOAT_EQ(fluid(219, 39), 2.0f);
  for (int z = 20; z < 40; ++z)
    for (int x = 200; x < 220; ++x) {
      ASSERT_GE(fluid(x, z), 0.0f) << x << "," << z;
      ASSERT_FLOAT_EQ(hmap[hmap_index(x, z)], 0.0f) << x << "," << z;
    }
}

TEST_F(Spells, PlayerAndMissilesSaveAndAnOlderPlayerLoads)
{
  call(gameobj_funcs.add_all_spells);
  dev("setPlayer health:d=42 mana:d=77");
  ASSERT_EQ(cast("HillSpell", 100, 100), "k");
  step(2); // the missile is on its way
  MemoryOutputStream block = saved();
  gameobj_api.remove_all_gameobj();
  MemoryInputStream in(block.data(), block.size());
  gameobj_api.load_gameobjs(in);
  ASSERT_EQ(Player_list.num, 1);
  local_player = Player_list[0];
  EXPECT_NEAR(player_value("health"), 42, 0.01);
  EXPECT_NEAR(player_value("mana"), 69 + 0.5f * 0.1f, 0.01); // 77 less the hill's 8, refilled 2 steps
  ASSERT_EQ(HillMissile_list.num, 1);
  step(12);
  EXPECT_GT(target(100, 100), 4.0f) << "the loaded missile did not land";
  EXPECT_EQ(HillMissile_list.num, 0);

  // A player of a version-2 block (no fields of its own) is a fresh one.
  gameobj_api.remove_all_gameobj();
  MemoryOutputStream old = version2_block_of_one("Player", 3, {50.0f, 5.0f, 60.0f, 1.0f});
  MemoryInputStream old_in(old.data(), old.size());
  gameobj_api.load_gameobjs(old_in);
  ASSERT_EQ(Player_list.num, 1);
  local_player = Player_list[0];
  EXPECT_FLOAT_EQ(player_value("health"), 100);
  EXPECT_FLOAT_EQ(player_value("mana"), 100);
  EXPECT_EQ(player_field("pos"), "50,5,60");
}

} // namespace
