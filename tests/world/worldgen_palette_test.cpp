// Parsing "gen/palettes.csv" and the "world_palettes" table it becomes.
#include "world/palettes.h"
#include "worldgen_test_util.h"

namespace {

TEST(WorldGenPalettes, NumbersTakeTheirBaseFromThePrefix) {
  uint32_t v = 0;
  EXPECT_TRUE(parse_palette_number("0xFF102030", v));
  EXPECT_EQ(v, 0xFF102030u);
  EXPECT_TRUE(parse_palette_number("010", v));
  EXPECT_EQ(v, 8u);
  EXPECT_TRUE(parse_palette_number("42", v));
  EXPECT_EQ(v, 42u);
  EXPECT_FALSE(parse_palette_number("green", v));
  EXPECT_FALSE(parse_palette_number("12abc", v));
  EXPECT_FALSE(parse_palette_number("", v));
  EXPECT_FALSE(parse_palette_number("-1", v));
  EXPECT_FALSE(parse_palette_number("0x1FFFFFFFF", v));
}

TEST(WorldGenPalettes, CommentsAreSkippedAndBadFieldsLeftOut) {
  std::string dir = wg_temp_dir();
  wg_write_file(dir + "p.csv",
                "name;grass,rock\r\n"
                "# a comment line, 0x1\n"
                "green,0xFF00FF00,12\n"
                "odd;notanumber;0x10\n"
                "\n"
                "short\n");
  PaletteTable t;
  std::string err;
  ASSERT_TRUE(parse_palette_file((dir + "p.csv").c_str(), t, err)) << err;
  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_EQ(t.columns[1], "grass");
  ASSERT_EQ(t.rows.size(), 3u);
  EXPECT_EQ(t.rows[0].name, "green");
  ASSERT_EQ(t.rows[0].values.size(), 2u);
  EXPECT_EQ(t.rows[0].values[0].second, 0xFF00FF00u);
  ASSERT_EQ(t.rows[1].values.size(), 1u);
  EXPECT_EQ(t.rows[1].values[0].first, 2);
  EXPECT_EQ(t.rows[1].values[0].second, 16u);
  EXPECT_TRUE(t.rows[2].values.empty());
}

TEST(WorldGenPalettes, MissingFileNamesThePath) {
  PaletteTable t;
  std::string err;
  EXPECT_FALSE(parse_palette_file("/nonexistent/gen/palettes.csv", t, err));
  EXPECT_EQ(err, "can't open /nonexistent/gen/palettes.csv");
  std::string dir = wg_temp_dir();
  wg_write_file(dir + "long.csv", "name," + std::string(300, 'c') + "\n");
  EXPECT_FALSE(parse_palette_file((dir + "long.csv").c_str(), t, err));
}

TEST_F(WorldGenApiTest, PalettesBecomeTheWorldPalettesTable) {
  std::string dir = wg_temp_dir();
  wg_write_file(dir + "p.csv", "name,grass,rock\ntemperate,0xFF4E8A2E,bad\n#x,1\nsnowy,1,2\n");
  load_world_palettes(vm, (dir + "p.csv").c_str());
  EXPECT_EQ(evalInt("world_palettes.temperate.grass"), (int)0xFF4E8A2E);
  EXPECT_FALSE(evalBool("\"rock\" in world_palettes.temperate"));
  EXPECT_TRUE(evalBool("world_palettes.temperate.name == \"temperate\""));
  EXPECT_EQ(evalInt("world_palettes.snowy.rock"), 2);
  EXPECT_FALSE(evalBool("\"#x\" in world_palettes"));
  try {
    load_world_palettes(vm, (dir + "none.csv").c_str());
    ADD_FAILURE() << "no error for a missing file";
  } catch (const SquirrelError& e) {
    EXPECT_EQ(std::string(e.what()), "can't open " + dir + "none.csv");
  }
}

} // namespace
