// Distance-field fonts and icons on small hand-written descriptions: the
// loaders' refusal of short and malformed files, the text box with kerning
// and uncovered codes, alignment as written into the batch, icon placement;
// and a picture of the generated font and icons drawn for real.
#include <filesystem>
#include <string>
#include <vector>

#include "gl_test_util.h"
#include "content_test_util.h"
#include "render/distFont.h"
#include "render/splash.h"
#include "render/shader.h"
#include "render/texture.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;

// size 10, spread 2, line height 12; 'A', 'B' and 'a' with space and a
// range gap; kerning groups for 'A' twice (not consecutive).
const char* kFontLines[] = {
    "info face=\"Test\" size=10 spread=2",
    "common lineHeight=12 base=0 scaleW=64 scaleH=32",
    "page id=0 file=\"atlas\"",
    "chars count=4",
    "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=4",
    "char id=65 x=0 y=0 width=8 height=10 xoffset=-1 yoffset=9 xadvance=6",
    "char id=66 x=8 y=0 width=6 height=10 xoffset=0 yoffset=9 xadvance=5",
    "char id=97 x=16 y=16 width=6 height=8 xoffset=0 yoffset=7 xadvance=5",
    "kernings count=3",
    "kerning first=65 second=66 amount=-1.5",
    "kerning first=66 second=65 amount=1",
    "kerning first=65 second=97 amount=-0.5",
};
constexpr int kFontLineCount = sizeof kFontLines / sizeof kFontLines[0];

const char* kIconLines[] = {
    "info file=\"atlas\" scaleW=64 scaleH=32 spread=2",
    "icons count=2",
    "icon \"star\" 16 16 0 0 20 20 -10 10",
    "icon \"ring\" 12 14 20 0 16 18 -8 9",
};

std::string join(const char* const* lines, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += std::string(lines[i]) + "\n";
  return s;
}

struct Captured {
  Captured() { ::testing::internal::CaptureStdout(); }
  std::string text() { return ::testing::internal::GetCapturedStdout(); }
};

struct Vert {
  float x, y;
};
// Positions of every vertex in the batch (the first two floats of each).
std::vector<Vert> vertices(RenderBatch& b, int stride) {
  std::vector<Vert> out;
  for (const RenderBatchGroup& g : b.groups)
    for (RenderBatchBlock* k = g.first; k; k = k->next)
      for (int off = 0; off < k->size; off += stride) {
        const float* f = (const float*)(k->data() + off);
        out.push_back(Vert{f[0], f[1]});
      }
  return out;
}

class DistFontTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    content::use_as_app_path();
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) init_common_vb_writer();
    init_dist_fonts();
    init_dist_icons();
    content::write("t/atlas.dds", content::dds(content::argb(4, 4, true), std::vector<uint8_t>(64, 255)));
    content::write("t/font.fnt", join(kFontLines, kFontLineCount));
    content::write("t/icons.txt", join(kIconLines, 4));
  }
  void TearDown() override {
    if (!gltest::GlEnv::ok) return;
    close_dist_fonts();
    free_all_textures();
    close_shaders();
  }
};

TEST_F(DistFontTest, ShortOrMalformedDescriptionsLoadAsFalseAndNameTheFile) {
  DistFont f;
  ASSERT_TRUE(f.load("t/font.fnt"));
  EXPECT_TRUE(f.loaded());
  EXPECT_EQ(f.glyphs.size(), 4);
  EXPECT_EQ(f.ranges.size(), 3) << "32, 65..66 and 97";
  EXPECT_EQ(f.kernGroups.size(), 3);

  // The designed case: fewer char lines than announced. What was read stays.
  std::vector<const char*> lines(kFontLines, kFontLines + 7); // chars count=4 and three chars
  content::write("t/short.fnt", join(lines.data(), (int)lines.size()));
  Captured log;
  EXPECT_FALSE(f.load("t/short.fnt"));
  EXPECT_NE(log.text().find("'t/short.fnt'"), std::string::npos);
  EXPECT_EQ(f.glyphs.size(), 3);
  EXPECT_FALSE(f.loaded());

  // Every truncation at a line boundary, and a cut inside the last line.
  for (int n = 0; n < kFontLineCount; n++) {
    content::write("t/cut.fnt", join(kFontLines, n));
    EXPECT_FALSE(f.load("t/cut.fnt")) << n << " lines";
  }
  std::string whole = join(kFontLines, kFontLineCount);
  content::write("t/cut.fnt", whole.substr(0, whole.size() - 12));
  EXPECT_FALSE(f.load("t/cut.fnt"));

  // Malformed lines: each replaces one line of the valid file.
  const std::pair<int, const char*> bad[] = {
      {0, "info face=\"Test\" size=0 spread=2"},
      {0, "info face=Test size=10 spread=2"},
      {1, "common lineHeight=12 base=1 scaleW=64 scaleH=32"},
      {1, "common lineHeight=12 base=0 scaleW=-64 scaleH=32"},
      {3, "chars count=-1"},
      {3, "chars count=2000000000"},
      {5, "char id=65 x=0 y=0 width=8 height=10 xoffset=-1 yoffset=9"},
      {5, "char id=65 x=nan y=0 width=8 height=10 xoffset=-1 yoffset=9 xadvance=6"},
      {5, "char id=65 x=0 y=0 width=-8 height=10 xoffset=-1 yoffset=9 xadvance=6"},
      {9, "kerning first=65 second=66 amount=inf"},
      {2, "page id=0 file=\"no_such_atlas\""},
  };
  for (const auto& [line, text] : bad) {
    std::vector<const char*> l(kFontLines, kFontLines + kFontLineCount);
    l[line] = text;
    content::write("t/bad.fnt", join(l.data(), kFontLineCount));
    EXPECT_FALSE(f.load("t/bad.fnt")) << text;
  }
  EXPECT_FALSE(f.load("t/missing.fnt"));

  DistIcons icons;
  ASSERT_TRUE(icons.load("t/icons.txt"));
  content::write("t/short.txt", join(kIconLines, 3));
  EXPECT_FALSE(icons.load("t/short.txt"));
  EXPECT_EQ(icons.icons.size(), 1);
  content::write("t/bad.txt", "info file=\"atlas\" scaleW=64 scaleH=32 spread=2\nicons count=1\nicon star 1 2 3 4 5 6 7 8\n");
  EXPECT_FALSE(icons.load("t/bad.txt"));
}

TEST_F(DistFontTest, TextBoxFollowsKerningNewlinesAndSkipsUncoveredCodes) {
  DistFont f;
  ASSERT_TRUE(f.load("t/font.fnt"));
  auto box = [&](const char* t, int want_count) {
    int n = -1;
    DistTextBox b = f.calcTextBox(t, -1, &n);
    EXPECT_EQ(n, want_count) << t;
    return std::vector<float>{b.x0, b.y0, b.x1, b.y1};
  };
  // 'A' at -1..7, then 'B' kerned by -1.5 after the advance of 6.
  EXPECT_EQ(box("AB", 2), (std::vector<float>{-1, -9, 10.5f, 1}));
  // '?' has no glyph: skipped, and the kerning still pairs 'A' with 'B'.
  EXPECT_EQ(box("A?B", 2), (std::vector<float>{-1, -9, 10.5f, 1}));
  // The space only advances (width 0, not counted) and breaks the pair.
  EXPECT_EQ(box("A B", 2), (std::vector<float>{-1, -9, 16, 1}));
  // A newline returns the pen and resets the previous code.
  EXPECT_EQ(box("A\nB", 2), (std::vector<float>{-1, -9, 7, 13}));
  // The second group of first code 'A' is found too.
  EXPECT_EQ(box("Aa", 2), (std::vector<float>{-1, -9, 11.5f, 1}));
  EXPECT_EQ(box(" ", 0), (std::vector<float>{0, 0, 0, 0}));
  int n = 0;
  DistTextBox part = f.calcTextBox("ABAB", 1, &n);
  EXPECT_EQ(n, 1);
  EXPECT_FLOAT_EQ(part.x1, 7);
}

TEST_F(DistFontTest, AlignmentPlacesTheScaledBox) {
  DistFont f;
  ASSERT_TRUE(f.load("t/font.fnt"));
  RenderBatch b;
  // Right and top: s = 20 / 10 = 2; the box (-1, -9, 10.5, 1) scaled.
  f.renderText(b, BatchRect{10, 20, 110, 60}, 2 | 1 << 2, 0xFFFFFFFF, 20, "AB", -1, 0, 0, 0, 0, 0, nullptr);
  std::vector<Vert> v = vertices(b, 28);
  ASSERT_EQ(v.size(), 12u);
  float x1 = -1e9f, y0 = 1e9f;
  for (const Vert& p : v) x1 = std::max(x1, p.x), y0 = std::min(y0, p.y);
  EXPECT_FLOAT_EQ(x1, 110) << "the box's right edge exactly at the rectangle's";
  EXPECT_FLOAT_EQ(y0, 20);
  EXPECT_EQ(b.groups[0].first->count, 4);

  // Left and bottom.
  b.clear();
  f.renderText(b, BatchRect{10, 20, 110, 60}, 1 | 2 << 2, 0xFFFFFFFF, 20, "AB", -1, 0, 0, 0, 0, 0, nullptr);
  v = vertices(b, 28);
  float x0 = 1e9f, y1 = -1e9f;
  for (const Vert& p : v) x0 = std::min(x0, p.x), y1 = std::max(y1, p.y);
  EXPECT_FLOAT_EQ(x0, 10);
  EXPECT_FLOAT_EQ(y1, 60);

  // Centred: each line by itself about x = 60.
  b.clear();
  f.renderText(b, BatchRect{10, 20, 110, 60}, 0, 0xFFFFFFFF, 20, "AB\nB", -1, 0, 0, 0, 0, 0, nullptr);
  v = vertices(b, 28);
  ASSERT_EQ(v.size(), 18u);
  float l0 = 1e9f, l1 = -1e9f; // the first line's two glyphs
  for (int i = 0; i < 12; i++) l0 = std::min(l0, v[i].x), l1 = std::max(l1, v[i].x);
  float m0 = 1e9f, m1 = -1e9f;
  for (int i = 12; i < 18; i++) m0 = std::min(m0, v[i].x), m1 = std::max(m1, v[i].x);
  EXPECT_FLOAT_EQ((l0 + l1) / 2, 60);
  EXPECT_FLOAT_EQ((m0 + m1) / 2, 60);
  EXPECT_FLOAT_EQ(v[12].y - v[0].y, 24) << "one line height (12) scaled by 2 apart";

  // A long text goes into blocks that each fit the writer.
  b.clear();
  std::string many(1000, 'A');
  f.renderText(b, BatchRect{0, 0, 100, 100}, 0, 0xFFFFFFFF, 20, many.c_str(), -1, 0, 0, 0, 0, 0, nullptr);
  int glyphs = 0;
  for (RenderBatchBlock* k = b.groups[0].first; k; k = k->next) {
    EXPECT_LE(k->size, 65536);
    glyphs += k->count / 2;
  }
  EXPECT_EQ(glyphs, 1000);
}

TEST_F(DistFontTest, IconsAreFoundByNameAndTurnedByTheAxis) {
  DistIcons icons;
  ASSERT_TRUE(icons.load("t/icons.txt"));
  EXPECT_EQ(icons.getIconId("ring"), 1);
  EXPECT_EQ(icons.getIconId("Ring"), -1);
  EXPECT_EQ(icons.getOrgW(1), 12);
  EXPECT_EQ(icons.getOrgH(1), 14);
  EXPECT_EQ(icons.getOrgW(2), 0);
  EXPECT_EQ(icons.getOrgH(-1), 0);

  RenderBatch b;
  icons.renderIcon(b, 50, 40, 1, 0, 2, 7, 0, 0, 0, 0, 1, 2, 3, 4, 5, nullptr);
  EXPECT_TRUE(b.groups.empty()) << "an invalid id draws nothing";
  // A quarter turn: local (lx, ly) lands at (x - ly, y + lx).
  icons.renderIcon(b, 50, 40, 0, 1, 2, 1, 0, 0, 0, 0, 1, 2, 3, 4, 5, nullptr);
  std::vector<Vert> v = vertices(b, 40);
  ASSERT_EQ(v.size(), 6u);
  // x0 = 2 x -8 = -16, y0 = -2 x 9 = -18: the first corner is (50 + 18, 40 - 16).
  EXPECT_FLOAT_EQ(v[0].x, 68);
  EXPECT_FLOAT_EQ(v[0].y, 24);
  // x1 = 2 x (-8 + 16) = 16, y1 = 2 x (18 - 9) = 18: the third corner is (50 - 18, 40 + 16).
  EXPECT_FLOAT_EQ(v[2].x, 32);
  EXPECT_FLOAT_EQ(v[2].y, 56);
  const uint32_t* words = (const uint32_t*)b.groups[0].first->data();
  EXPECT_EQ(words[2], 1u);
  EXPECT_EQ(words[6], 2u);
  EXPECT_EQ(words[9], 5u) << "the five colours: COLOR0, then TEXCOORD1..4";
}

// {===== The picture

constexpr int W = 480, H = 360;

struct Rgb {
  int r, g, b;
};

// A device of the picture's size for one test; the shared test device and
// its program come back when it ends, also after a failed assertion.
struct PictureDevice {
  PictureDevice() { gltest::remake_device(W, H); }
  ~PictureDevice() {
    if (scene_image) release_texture(scene_image);
    scene_image = splash_background = nullptr;
    close_dist_fonts();
    close_common_vb_writer();
    free_all_textures();
    close_shaders();
    gltest::remake_device(gltest::kWd, gltest::kHt);
    gltest::GlEnv::program = gltest::make_program();
    gltest::GlEnv::vb = create_vb(64 * sizeof(gltest::Vertex), 0);
  }
};

TEST(DistFontPicture, DefaultFontTextIconsAndTheSplash) {
  REQUIRE_GL();
  fs::path bin = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  ASSERT_TRUE(fs::exists(bin / "fonts/default_font.fnt")) << "build the content_dist_fonts target";
  content::use_as_app_path();
  fs::create_directories(content::path("fonts"));
  for (const auto& e : fs::directory_iterator(bin / "fonts"))
    fs::copy_file(e.path(), content::path("fonts/" + e.path().filename().string()),
                  fs::copy_options::overwrite_existing);
  PictureDevice device;
  load_shader_compiler();
  init_common_vb_writer();
  init_dist_fonts();
  init_dist_icons();
  ASSERT_TRUE(load_default_dist_fonts());
  EXPECT_EQ(ui_icons.icons.size(), 36);

  begin_d3d_scene();
  set_back_buffer_target();
  clear_view_color(0xFF5A6470);
  RenderBatch batch;
  default_font.renderText(batch, BatchRect{10, 8, W - 10.f, 30}, 1 | 1 << 2, 0xFFFFFFFF, 16,
                          "Small text: the quick brown fox, 0123456789", -1, 0, 0, 0, 0, 0, nullptr);
  default_font.renderText(batch, BatchRect{10, 34, W - 10.f, 70}, 1 | 1 << 2, 0xFFFFFFFF, 32, "Outline: Runeholm",
                          -1, 0, 0, 0, 5, 0xFF000000, nullptr);
  default_font.renderText(batch, BatchRect{10, 76, W - 10.f, 150}, 1 | 1 << 2, 0xFFFFE080, 64, "Glow \xC4\xF6\xDF!",
                          -1, 0, 0, 0, 24, 0xE0FF6000, nullptr);
  // Icons in rows of 12, 32 pixels nominal, tinted by row, a dark outline.
  const D3dColor tint[3][4] = {{0xFFB0B0B8, 0xFFFF7A1A, 0xFFFFF0A0, 0xFF20305A},
                               {0xFFC8C0A8, 0xFF3C8CFF, 0xFFE8F4FF, 0xFF203060},
                               {0xFFD8D0C0, 0xFF40A050, 0xFFFFFFC0, 0xFF402020}};
  for (int i = 0; i < ui_icons.icons.size(); i++) {
    const D3dColor* t = tint[i / 12];
    ui_icons.renderIcon(batch, 24.f + 38.f * (i % 12), 200.f + 48.f * (i / 12), 1, 0, 0.5f, i, 0, 0, 0, 3, t[0], t[1],
                        t[2], t[3], 0xC0000000, nullptr);
  }
  batch.render();
  std::vector<uint8_t> px(size_t(W) * H * 4);
  EXPECT_TRUE(read_render_target(0, 0, W, H, px.data()));
  end_d3d_scene();

  auto at = [&](int x, int y) {
    const uint8_t* p = &px[(size_t(y) * W + x) * 4];
    return Rgb{p[2], p[1], p[0]};
  };
  auto count = [&](int x0, int y0, int x1, int y1, auto&& pred) {
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) n += pred(at(x, y));
    return n;
  };
  auto white = [](Rgb c) { return c.r > 230 && c.g > 230 && c.b > 230; };
  auto black = [](Rgb c) { return c.r < 30 && c.g < 30 && c.b < 30; };
  auto orange = [](Rgb c) { return c.r > 150 && c.r > c.g + 40 && c.g > c.b + 20; };
  // Small text: white ink in its band, none above the first line's top.
  EXPECT_GT(count(10, 8, W - 10, 30, white), 300);
  // The outline: black around the white letters of the second line.
  EXPECT_GT(count(10, 34, W - 10, 72, white), 800);
  EXPECT_GT(count(10, 34, W - 10, 72, black), 600);
  // The glow: orange beyond the yellow letters.
  EXPECT_GT(count(10, 76, W - 10, 160, orange), 1500);
  // Every icon leaves its mark in its own cell.
  for (int i = 0; i < ui_icons.icons.size(); i++) {
    int cx = 24 + 38 * (i % 12), cy = 200 + 48 * (i / 12);
    int n = count(cx - 16, cy - 16, cx + 16, cy + 16, [](Rgb c) { return std::abs(c.r - 0x5A) + std::abs(c.b - 0x70) > 60; });
    EXPECT_GT(n, 60) << ui_icons.icons[i].name;
  }

  fs::path dir = fs::read_symlink("/proc/self/exe").parent_path() / "artifacts";
  fs::create_directories(dir);
  std::vector<uint8_t> rgb(size_t(W) * H * 3);
  for (int i = 0; i < W * H; i++) {
    rgb[i * 3] = px[i * 4 + 2];
    rgb[i * 3 + 1] = px[i * 4 + 1];
    rgb[i * 3 + 2] = px[i * 4];
  }
  stbi_write_png((dir / "dist_text.png").c_str(), W, H, 3, rgb.data(), W * 3);

  // The splash over a grabbed scene: green on the left, magenta on the right.
  set_back_buffer_target();
  set_viewport(0, 0, W / 2, H);
  clear_view_color(0xFF00C000);
  set_viewport(W / 2, 0, W - W / 2, H);
  clear_view_color(0xFFC000C0);
  set_viewport(0, 0, W, H);
  scene_image = create_screen_render_texture();
  ASSERT_TRUE(grab_scene_for_splash());
  clear_view_color(0xFF000000);
  splash_text = "Generating the world...";
  splash_progress = 0.5f;
  begin_d3d_scene();
  draw_splash();
  EXPECT_TRUE(read_render_target(0, 0, W, H, px.data()));
  end_d3d_scene();
  for (int i = 0; i < W * H; i++) {
    rgb[i * 3] = px[i * 4 + 2];
    rgb[i * 3 + 1] = px[i * 4 + 1];
    rgb[i * 3 + 2] = px[i * 4];
  }
  stbi_write_png((dir / "splash_dist.png").c_str(), W, H, 3, rgb.data(), W * 3);
  auto near = [](Rgb c, int r, int g, int b) {
    return std::abs(c.r - r) < 12 && std::abs(c.g - g) < 12 && std::abs(c.b - b) < 12;
  };
  EXPECT_TRUE(near(at(10, 10), 0, 0xC0, 0)) << "the grabbed scene behind the splash";
  EXPECT_TRUE(near(at(W - 10, 10), 0xC0, 0, 0xC0));
  // Light text (0xCCCCCC) centred in the band from 0.9 of the height.
  EXPECT_GT(count(W / 4, H * 9 / 10, W * 3 / 4, H * 9 / 10 + 12, [](Rgb c) { return c.g > 180 && c.r > 180; }), 40);
  // The bar: h = 11, top = round(324 + 16.5), from x = 180 to 300, filled to 240.
  EXPECT_TRUE(near(at(200, 346), 0xCC, 0xCC, 0xCC));
  Rgb dark = at(280, 346);
  EXPECT_TRUE(dark.g < 10 && dark.r > 60 && dark.r < 120) << "half-dark bar over magenta: " << dark.r;
  splash_text = "";
  splash_progress = -1.f;
}

} // namespace
