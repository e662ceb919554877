// libFuzzer targets for the distance-field description loaders: the input
// is written as a description file and loaded. A bad file must load as
// false, never crash, hang or read out of bounds; whatever was read must be
// usable: the text box of the input's own bytes (and of a fixed text) is
// finite and counts at most one glyph per character, and every icon name
// read is found again by getIconId. Built with clang by
// scripts/fuzz-fonts.sh, never by the main (GCC) build; FUZZ_ICONS selects
// the icon loader.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "render/distFont.h"

namespace {

std::string folder;

void write_input(const uint8_t* data, size_t size) {
  FILE* f = fopen((folder + "in.txt").c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

void check_box(const DistFont& font, const char* text, int len) {
  int n = -1;
  DistTextBox b = font.calcTextBox(text, len, &n);
  if (n < 0 || n > len) abort();
  if (!std::isfinite(b.x0) || !std::isfinite(b.y0) || !std::isfinite(b.x1) || !std::isfinite(b.y1)) abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char templ[] = "/tmp/rh-fuzz-fonts-XXXXXX";
  if (!mkdtemp(templ)) abort();
  folder = std::string(templ) + "/";
  snprintf(app_path, sizeof app_path, "%s", folder.c_str());
  atexit([] {
    unlink((folder + "in.txt").c_str());
    rmdir(folder.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  write_input(data, size);
#ifdef FUZZ_ICONS
  static DistIcons icons;
  icons.load("in.txt");
  for (int i = 0; i < icons.icons.size(); i++) {
    int id = icons.getIconId(icons.icons[i].name);
    if (id < 0 || id > i || strcmp(icons.icons[id].name, icons.icons[i].name)) abort();
    if (icons.getOrgW(i) != icons.icons[i].orgW) abort();
  }
  if (icons.getOrgW(icons.icons.size()) != 0 || icons.getOrgH(-1) != 0) abort();
#else
  static DistFont font;
  font.load("in.txt");
  // Sums of huge but finite values may overflow to infinity: only check
  // boxes for descriptions whose numbers stay in a sane range.
  bool sane = true;
  for (const DistGlyph& g : font.glyphs)
    sane &= std::fabs(g.xoffset) < 1e6f && std::fabs(g.yoffset) < 1e6f && std::fabs(g.xadvance) < 1e6f &&
            g.width < 1e6f && g.height < 1e6f;
  for (const DistKernPair& k : font.kernPairs) sane &= std::fabs(k.amount) < 1e6f;
  sane &= std::abs(font.lineHeight) < 1000000;
  if (sane) {
    const char* fixed = "The quick brown fox\n jumps over AV Ta 0123456789";
    check_box(font, fixed, (int)strlen(fixed));
    check_box(font, (const char*)data, (int)(size < 4096 ? size : 4096));
  }
#endif
  return 0;
}
