// A world played as GAME.md means it, in the real program driven through its
// developer socket: a castle built with collected shards, orbs claimed and
// the castle's gatherers bringing their mana home, a wyvern and a caterpillar
// fought with fireballs and lightning, resources collected and crafted into a
// fallen star for a meteor on a hillside, then "Save and exit" and Continue
// with every object back. Pictures of each stage are kept in
// build/tests/artifacts/e2e_world_*.png.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "playthrough.h"

namespace {

using namespace e2e;

struct WorldRun : Playthrough {
  WorldRun() : Playthrough("rh-e2e-world") {}

  int res(const char* kind) { return atoi(pairs(one("resources"))[kind].c_str()); }
  // Picks up `n` pickups of a resource dropped where the player is, down
  // low enough to reach them.
  void collect(const char* kind, int n)
  {
    std::vector<double> at = numbers(player()["pos"]);
    fly_to(at[0], at[2], 3);
    int before = res(kind);
    for (int i = 0; i < n; ++i)
      EXPECT_EQ(one("spawnPickup what=" + std::string(kind) + " x=" + std::to_string(at[0]) + " z=" +
                    std::to_string(at[2]))
                    .substr(0, 1),
                "k");
    EXPECT_TRUE(wait_for([&] { return res(kind) >= before + n; }, 120))
        << kind << ": " << one("resources") << one("pickups") << one("player");
  }
  // Orbs by serial id: place on the ground (x, z), amount and owner; their
  // height bobs.
  std::map<int, std::string> orb_table()
  {
    std::map<int, std::string> orbs;
    std::istringstream list(pairs(one("orbs"))["orbs"]);
    std::string orb;
    char line[96];
    while (std::getline(list, orb, ';'))
      if (std::vector<double> o = numbers(orb); o.size() == 6) {
        snprintf(line, sizeof line, "%.1f,%.1f,%g,%g", o[1], o[3], o[4], o[5]);
        orbs[int(o[0])] = line;
      }
    return orbs;
  }
  // Pickups by serial id: what each is.
  std::map<int, std::string> pickup_kinds()
  {
    std::map<int, std::string> kinds;
    std::istringstream list(pairs(one("pickups"))["pickups"]);
    std::string pickup;
    while (std::getline(list, pickup, ';')) {
      size_t comma = pickup.find(',');
      if (comma != std::string::npos) kinds[atoi(pickup.c_str())] = pickup.substr(comma + 1, pickup.find(',', comma + 1) - comma - 1);
    }
    return kinds;
  }
  std::map<std::string, std::string> monsters() { return pairs(one("monsters")); }
  // Where each creature of a kind is: "id,x,y,z;..." from "monsters list=1".
  std::vector<std::vector<double>> creatures(const std::string& kind)
  {
    std::vector<std::vector<double>> found;
    std::istringstream list(pairs(one("monsters list=1"))[kind + "s"]);
    std::string one_of;
    while (std::getline(list, one_of, ';'))
      if (std::vector<double> c = numbers(one_of); c.size() == 4) found.push_back(c);
    return found;
  }
  // Casts `spell` at each live creature of `kind` until none is left or
  // `casts` have been made; answers how many casts it took.
  int fight(const std::string& kind, const char* spell, int casts)
  {
    int made = 0;
    for (; made < casts; ++made) {
      auto alive = creatures(kind);
      if (alive.empty()) break;
      cast(spell, alive[0][1], alive[0][3]);
      play_seconds(1.5);
    }
    return made;
  }
};

TEST(RuneholmWorldPlaythrough, CastleGatherersFightsCraftingAndMeteorSurviveSaveAndContinue)
{
  WorldRun run;
  run.start();
  if (HasFatalFailure()) return;
  EXPECT_EQ(run.one("newGame slot=1").substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=UniverseMode", 120)) << run.state() << run.log();
  EXPECT_EQ(run.one("enter world=0").substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 300)) << run.state() << run.log();
  EXPECT_EQ(run.one("speed factor=4"), "k\n");

  // The creatures come when the test calls them (Ctrl+M stops the spawning),
  // and mana is no concern here (Ctrl+N); costs have their own tests.
  EXPECT_EQ(run.client({"key name=Ctrl down=1", "key name=M", "key name=N", "key name=Ctrl down=0"}),
            "k\nk\nk\nk\n");
  EXPECT_EQ(run.monsters()["spawning"], "off") << run.one("monsters");
  run.one("monsters remove=1");
  for (const char* spell : {"CastleSpell", "LightningSpell", "MeteorSpell"})
    EXPECT_EQ(run.one(std::string("give spell=") + spell), "k\n") << spell;

  // A castle where one fits, paid with shards picked up on the way.
  std::vector<double> pos = numbers(run.player()["pos"]);
  ASSERT_EQ(pos.size(), 3u) << run.one("player");
  std::pair<double, double> site{NAN, NAN};
  for (auto [x, z] : run.dry_spots(pos[0], pos[2], 12))
    if (run.one("castleSite x=" + std::to_string(x) + " z=" + std::to_string(z)) == "k\n") {
      site = {x, z};
      break;
    }
  ASSERT_FALSE(std::isnan(site.first)) << "no place for a castle near the player";
  run.collect("shard", 2);
  std::string refused = run.cast("CastleSpell", site.first, site.second);
  EXPECT_EQ(refused, "k\n") << run.one("resources");
  run.play_seconds(4);
  auto castle = pairs(run.one("castle"));
  ASSERT_EQ(castle["exists"], "1") << run.one("castle") << run.log();
  std::vector<double> castle_at = numbers(castle["pos"]);
  ASSERT_EQ(castle_at.size(), 3u);
  EXPECT_LT(std::hypot(castle_at[0] - site.first, castle_at[2] - site.second), 4) << run.one("castle");
  run.fly_to(site.first + 24, site.second + 24);
  expect_world_picture(load_image(take_screenshot(run, "e2e_world_1_castle.png")), "the castle");

  // Claimed orbs send gatherers out; their mana comes home.
  for (int claimed = 0, round = 0; claimed < 2 && round < 8; ++round) {
    std::istringstream list(pairs(run.one("orbs"))["orbs"]);
    std::string orb;
    std::vector<double> o;
    while (std::getline(list, orb, ';')) {
      o = numbers(orb); // id,x,y,z,amount,owned
      if (o.size() == 6 && o[5] == 0) break;
      o.clear();
    }
    ASSERT_EQ(o.size(), 6u) << run.one("orbs");
    run.fly_to(o[1] + 10, o[3] + 10);
    claimed += run.cast("ClaimManaSpell", o[1], o[3]) == "k\n";
    run.play_seconds(4);
  }
  run.fly_to(castle_at[0] + 20, castle_at[2] + 20);
  EXPECT_TRUE(wait_for([&] { return atoi(pairs(run.one("castle"))["delivered"].c_str()) > 0; }, 300))
      << "no mana came home: " << run.one("castle") << run.one("orbs");
  EXPECT_GT(atoi(pairs(run.one("castle"))["gatherers"].c_str()), 0) << run.one("castle");
  take_screenshot(run, "e2e_world_2_gatherers.png");

  // A wyvern and a caterpillar near the player, fought with fireballs and
  // lightning; each leaves a resource behind.
  pos = numbers(run.player()["pos"]);
  int pickups_before = atoi(pairs(run.one("pickups"))["count"].c_str());
  auto spots = run.dry_spots(pos[0], pos[2], 2);
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(run.one("spawnMonster kind=wyvern x=" + std::to_string(spots[0].first) +
                    " z=" + std::to_string(spots[0].second))
                .substr(0, 1),
            "k");
  EXPECT_EQ(run.one("spawnMonster kind=caterpillar x=" + std::to_string(spots[1].first) +
                    " z=" + std::to_string(spots[1].second))
                .substr(0, 1),
            "k");
  run.play_seconds(2);
  take_screenshot(run, "e2e_world_3_fight.png");
  run.fight("caterpillar", "FireballSpell", 25);
  run.fight("wyvern", "LightningSpell", 25);
  auto after_fight = run.monsters();
  EXPECT_EQ(after_fight["wyvern"], "0") << run.one("monsters");
  EXPECT_EQ(after_fight["caterpillar"], "0") << run.one("monsters");
  EXPECT_GE(atoi(pairs(run.one("pickups"))["count"].c_str()), pickups_before + 2) << run.one("pickups");

  // Collected seeds crafted into a fallen star, the star spent on a meteor
  // at the highest dry point around: a crater in the hillside.
  run.collect("seed", 3);
  int stars = run.res("star");
  EXPECT_EQ(run.one("craft what=star").substr(0, 1), "k") << run.one("resources");
  EXPECT_EQ(run.res("star"), stars + 1) << run.one("resources");
  pos = numbers(run.player()["pos"]);
  std::pair<double, double> hill{pos[0], pos[2]};
  double top = -1e9;
  for (auto [x, z] : run.dry_spots(pos[0], pos[2], 10))
    if (double h = run.ground(x, z).land; h > top) top = h, hill = {x, z};
  auto before_meteor = run.ground(hill.first, hill.second);
  EXPECT_EQ(run.cast("MeteorSpell", hill.first, hill.second), "k\n") << run.one("resources");
  EXPECT_EQ(run.res("star"), stars) << "the meteor did not take its star";
  run.play_seconds(8);
  EXPECT_LT(run.settled(hill.first, hill.second).land, before_meteor.land - 1) << "no crater";
  expect_world_picture(load_image(take_screenshot(run, "e2e_world_4_meteor.png")), "after the meteor");

  // Save and exit, then Continue: every object is back. (The world runs on
  // until the menu opens, so what may still move is compared loosely.)
  auto castle_before = pairs(run.one("castle"));
  auto orbs_before = run.orb_table(), pickups_before_save = run.pickup_kinds();
  auto life_before = pairs(run.one("life"));
  std::string resources_before = run.one("resources");
  run.save_exit_and_continue();
  if (HasFatalFailure()) return;
  auto castle_back = pairs(run.one("castle"));
  EXPECT_EQ(castle_back["exists"], "1") << run.one("castle");
  EXPECT_EQ(castle_back["pos"], castle_before["pos"]);
  EXPECT_GE(atoi(castle_back["delivered"].c_str()), atoi(castle_before["delivered"].c_str())) << run.one("castle");
  EXPECT_EQ(castle_back["gatherers"], castle_before["gatherers"]) << run.one("castle");
  EXPECT_EQ(run.orb_table(), orbs_before);
  EXPECT_EQ(run.pickup_kinds(), pickups_before_save);
  EXPECT_EQ(run.one("resources"), resources_before);
  auto life_back = pairs(run.one("life"));
  // Every tree, standing, burning or a stump.
  EXPECT_EQ(life_back["trees"], life_before["trees"]);
  for (const char* count : {"stones", "volcanoes", "springs", "sensors"})
    EXPECT_EQ(life_back[count], life_before[count]) << count;
  expect_world_picture(load_image(take_screenshot(run, "e2e_world_5_continued.png")), "continued");

  run.quit();
}

} // namespace
