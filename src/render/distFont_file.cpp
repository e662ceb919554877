// The description files of distance-field fonts and icons, and the text
// measurement that needs nothing but the description.
//
// Both files are read line by line (lines of up to 255 characters; the rest
// of a longer line is skipped) with fixed scanf formats. A missing line, a
// line without all its fields or a value that cannot be drawn (a count,
// size or atlas size below the allowed range, a non-finite number, a
// negative glyph size) ends the load with false and a log line naming the
// file and the line; what was read before stays.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/platform.h"
#include "render/distFont.h"
#include "render/texture.h"

namespace {

struct LineReader {
  FILE* f = nullptr;
  const char* name;
  int number = 0;
  char line[256];

  explicit LineReader(const char* file) : name(file) {
    PathString path = make_full_path(file);
    f = fopen(path.c_str(), "r");
  }
  ~LineReader() {
    if (f) fclose(f);
  }
  // The next line without its end; false at the end of the file.
  bool next() {
    if (!f || !fgets(line, sizeof line, f)) return false;
    number++;
    size_t n = strlen(line);
    if (n && line[n - 1] == '\n') {
      line[--n] = 0;
    } else {
      int c;
      while ((c = fgetc(f)) != EOF && c != '\n') {
      }
    }
    if (n && line[n - 1] == '\r') line[n - 1] = 0;
    return true;
  }
  bool fail(const char* what) {
    if (!f)
      debug("FONT: can't open '%s'", name);
    else
      debug("FONT: '%s' line %d: %s", name, number, what);
    return false;
  }
};

bool finite(float v) { return std::isfinite(v); }

// The atlas beside the description: its folder + page name + ".dds".
Texture* load_atlas(const char* file, const char* page) {
  char path[600];
  const char* slash = strrchr(file, '/');
  int dir_len = slash ? (int)(slash - file + 1) : 0;
  snprintf(path, sizeof path, "%.*s%s.dds", dir_len, file, page);
  Texture* t = get_texture(path, false);
  if (!t) debug("FONT: '%s': atlas '%s' is missing", file, path);
  return t;
}

// Counts above this are refused before anything is reserved: no atlas of
// the allowed size holds that many glyphs.
constexpr int MAX_ENTRIES = 1 << 20;
constexpr int MAX_ATLAS = 16384;

} // namespace

// {===== DistFont

// Memory only: the shared objects are destroyed after the device closed,
// so the atlas reference is dropped by clear() (close_dist_fonts), not here.
DistFont::~DistFont() { dist_font_free_state(state); }

void DistFont::clear() {
  if (texture) free_texture(texture);
  texture = nullptr;
  size = spread = lineHeight = 0;
  invWidth = invHeight = 0;
  glyphs.resize(0);
  ranges.resize(0);
  kernPairs.resize(0);
  kernGroups.resize(0);
  state = dist_font_state_for(false, state, nullptr);
}

bool DistFont::load(const char* file) {
  clear();
  LineReader in(file);
  char face[256], page[256];
  int count = 0, scale_w = 0, scale_h = 0;
  if (!in.next() || sscanf(in.line, "info face=\"%255[^\"]\" size=%d spread=%d", face, &size, &spread) != 3)
    return in.fail("expected info face=\"...\" size=N spread=N");
  if (size <= 0 || spread < 0) return in.fail("size must be above 0 and spread not negative");
  if (!in.next() ||
      sscanf(in.line, "common lineHeight=%d base=0 scaleW=%d scaleH=%d", &lineHeight, &scale_w, &scale_h) != 3)
    return in.fail("expected common lineHeight=N base=0 scaleW=N scaleH=N");
  if (scale_w <= 0 || scale_h <= 0 || scale_w > MAX_ATLAS || scale_h > MAX_ATLAS)
    return in.fail("atlas size out of range");
  invWidth = 1.f / (float)scale_w;
  invHeight = 1.f / (float)scale_h;
  if (!in.next() || sscanf(in.line, "page id=0 file=\"%255[^\"]\"", page) != 1)
    return in.fail("expected page id=0 file=\"...\"");
  if (!in.next() || sscanf(in.line, "chars count=%d", &count) != 1) return in.fail("expected chars count=N");
  if (count < 0 || count > MAX_ENTRIES) return in.fail("chars count out of range");
  for (int i = 0; i < count; i++) {
    int id;
    float x, y, w, h, xo, yo, xa;
    if (!in.next() || sscanf(in.line, "char id=%d x=%f y=%f width=%f height=%f xoffset=%f yoffset=%f xadvance=%f",
                             &id, &x, &y, &w, &h, &xo, &yo, &xa) != 8)
      return in.fail("expected char id=N x= y= width= height= xoffset= yoffset= xadvance=");
    if (!finite(x) || !finite(y) || !finite(w) || !finite(h) || !finite(xo) || !finite(yo) || !finite(xa) ||
        w < 0 || h < 0)
      return in.fail("glyph values must be finite, sizes not negative");
    // A code that follows the previous one extends its range.
    if (!ranges.empty() && ranges[ranges.size() - 1].end == id && id != 0x7fffffff)
      ranges[ranges.size() - 1].end++;
    else if (id != 0x7fffffff)
      ranges.push(DistCharRange{id, id + 1, glyphs.size()});
    glyphs.push(DistGlyph{x * invWidth, y * invHeight, w, h, xo, yo, xa});
  }
  if (!in.next() || sscanf(in.line, "kernings count=%d", &count) != 1) return in.fail("expected kernings count=N");
  if (count < 0 || count > MAX_ENTRIES) return in.fail("kernings count out of range");
  for (int i = 0; i < count; i++) {
    int first, second;
    float amount;
    if (!in.next() || sscanf(in.line, "kerning first=%d second=%d amount=%f", &first, &second, &amount) != 3)
      return in.fail("expected kerning first=N second=N amount=F");
    if (!finite(amount)) return in.fail("kerning amount must be finite");
    if (kernGroups.empty() || kernGroups[kernGroups.size() - 1].first != first)
      kernGroups.push(DistKernGroup{first, kernPairs.size(), 0});
    kernGroups[kernGroups.size() - 1].count++;
    kernPairs.push(DistKernPair{second, amount});
  }
  texture = load_atlas(file, page);
  if (!texture) return false;
  state = dist_font_state_for(false, state, texture);
  return true;
}

const DistGlyph* DistFont::glyph(int code) const {
  for (const DistCharRange& r : ranges)
    if (code >= r.first && code < r.end) return &glyphs[r.glyph + (code - r.first)];
  return nullptr;
}

float DistFont::kerning(int prev, int code) const {
  if (prev < 0) return 0;
  for (const DistKernGroup& g : kernGroups) {
    if (g.first != prev) continue;
    for (int i = 0; i < g.count; i++)
      if (kernPairs[g.pair + i].second == code) return kernPairs[g.pair + i].amount;
  }
  return 0;
}

DistTextBox DistFont::calcTextBox(const char* text, int len, int* glyph_count) const {
  if (len < 0) len = (int)strlen(text);
  float x0 = HUGE_VALF, y0 = HUGE_VALF, x1 = -HUGE_VALF, y1 = -HUGE_VALF;
  float px = 0, py = 0;
  int prev = -1, n = 0;
  for (int i = 0; i < len; i++) {
    int code = (uint8_t)text[i];
    if (code == '\n') {
      px = 0;
      py += (float)lineHeight;
      prev = -1;
      continue;
    }
    const DistGlyph* g = glyph(code);
    if (!g) continue;
    float k = kerning(prev, code);
    prev = code;
    if (g->width != 0) {
      float gx = px + k + g->xoffset, gy = py - g->yoffset;
      x0 = std::fmin(x0, gx);
      y0 = std::fmin(y0, gy);
      x1 = std::fmax(x1, gx + g->width);
      y1 = std::fmax(y1, gy + g->height);
      n++;
    }
    px += k + g->xadvance;
  }
  if (glyph_count) *glyph_count = n;
  if (!n) return DistTextBox{0, 0, 0, 0};
  return DistTextBox{x0, y0, x1, y1};
}

// {===== DistIcons

DistIcons::~DistIcons() {
  for (DistIcon& i : icons) free(i.name);
  dist_font_free_state(state);
}

void DistIcons::clear() {
  if (texture) free_texture(texture);
  texture = nullptr;
  for (DistIcon& i : icons) free(i.name);
  icons.resize(0);
  spread = 0;
  invWidth = invHeight = 0;
  state = dist_font_state_for(true, state, nullptr);
}

bool DistIcons::load(const char* file) {
  clear();
  LineReader in(file);
  char page[256];
  int scale_w = 0, scale_h = 0, count = 0;
  if (!in.next() ||
      sscanf(in.line, "info file=\"%255[^\"]\" scaleW=%d scaleH=%d spread=%d", page, &scale_w, &scale_h, &spread) != 4)
    return in.fail("expected info file=\"...\" scaleW=N scaleH=N spread=N");
  if (scale_w <= 0 || scale_h <= 0 || scale_w > MAX_ATLAS || scale_h > MAX_ATLAS || spread < 0)
    return in.fail("atlas size or spread out of range");
  invWidth = 1.f / (float)scale_w;
  invHeight = 1.f / (float)scale_h;
  if (!in.next() || sscanf(in.line, "icons count=%d", &count) != 1) return in.fail("expected icons count=N");
  if (count < 0 || count > MAX_ENTRIES) return in.fail("icons count out of range");
  for (int i = 0; i < count; i++) {
    char name[256];
    float v[8];
    if (!in.next() || sscanf(in.line, "icon \"%255[^\"]\" %f %f %f %f %f %f %f %f", name, &v[0], &v[1], &v[2], &v[3],
                             &v[4], &v[5], &v[6], &v[7]) != 9)
      return in.fail("expected icon \"name\" and eight numbers");
    for (float f : v)
      if (!finite(f)) return in.fail("icon values must be finite");
    if (v[4] < 0 || v[5] < 0) return in.fail("icon sizes must not be negative");
    char* copy = strdup(name);
    ASSERT(copy);
    icons.push(DistIcon{copy, v[2] * invWidth, v[3] * invHeight, v[4], v[5], v[6], v[7], v[0], v[1]});
  }
  texture = load_atlas(file, page);
  if (!texture) return false;
  state = dist_font_state_for(true, state, texture);
  return true;
}

int DistIcons::getIconId(const char* name) const {
  if (!name) return -1;
  for (int i = 0; i < icons.size(); i++)
    if (!strcmp(icons[i].name, name)) return i;
  return -1;
}

float DistIcons::getOrgW(int id) const { return id >= 0 && id < icons.size() ? icons[id].orgW : 0.f; }
float DistIcons::getOrgH(int id) const { return id >= 0 && id < icons.size() ? icons[id].orgH : 0.f; }
