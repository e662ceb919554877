// House placement: five built-in footprints that set vertex heights on a
// grid, house tiles on the surface and MARK_HOUSE on their ground.
// Template strings are stored top row first: tile row r covers the cells at
// z0 + nz - 1 - r, vertex row r the vertex line z0 + nz - r, and the first
// character of a row is column x0.
#include "core/log.h"
#include "world/heightmap.h"
#include "world/hmGen.h"

using namespace HeightmapData;

namespace {

struct HouseTemplate {
  int nx, nz;
  const char* heights; // (nx + 1) * (nz + 1): '0'..'9' = digit * scale / 9, others keep the vertex
  const char* tiles;   // nx * nz: 'a'..'z' = tile 0..25, others leave the cell
  const char* rots;    // nx * nz: tile_rot = character & 7
};

constexpr float HOUSE_HEIGHT_SCALE = 6.75f;

// A walled keep, 18 x 18.
const HouseTemplate KEEP = {
    18, 18,
    "0000000000000000000"
    "0888000000000008880"
    "0898664466644668980"
    "0888664466644668880"
    "0066444444444446600"
    "0066444444444446600"
    "0044440000000444400"
    "0044440000000444400"
    "0066440088800446600"
    "0066440089800446600"
    "0066440088800446600"
    "0044440000000444400"
    "0044440000000444400"
    "0066444444444446600"
    "0066444444444446600"
    "0888664466644668880"
    "0898664466644668980"
    "0888000000000008880"
    "0000000000000000000",
    "bdcb..........bdcb"
    "caarkomnkjqlpjraad"
    "daaifheiffheifhaac"
    "brhsigeghigeghsirb"
    ".jfheeeeeeeeeeifk."
    ".pigebcdcdcdbegho."
    ".leeed......ceeem."
    ".qhgec.bdcb.degin."
    ".jfied.caad.cehfk."
    ".kfhec.daac.deifj."
    ".niged.bcdb.ceghq."
    ".meeec......deeel."
    ".ohgebdcdcdcbegip."
    ".kfieeeeeeeeeehfj."
    "brishgegihgegishrb"
    "caahfiehffiehfiaad"
    "daarjplqjknmokraac"
    "bcdb..........bcdb",
    "566600000000005666"
    "556766666666665563"
    "503363056630565033"
    "000303000030000043"
    "055300000000005330"
    "050305000000600030"
    "050003000000500030"
    "056603056660505630"
    "055303055630505330"
    "055303050330505330"
    "050303000030500030"
    "050003000000500030"
    "056600666666305630"
    "055300000000005330"
    "526666056660565666"
    "556303050030505563"
    "503300000000001033"
    "000300000000000003"};

// A small 4 x 4 house (templates 1 and 2).
const HouseTemplate SMALL = {4, 4,
                             "00000"
                             "08880"
                             "08980"
                             "08880"
                             "00000",
                             "bdcb"
                             "caad"
                             "daac"
                             "bcdb",
                             "5666"
                             "5563"
                             "5033"
                             "0003"};

// A long house along z, 4 x 10.
const HouseTemplate LONG_Z = {4, 10,
                              "00000"
                              "05550"
                              "05650"
                              "05550"
                              "05550"
                              "05750"
                              "05550"
                              "05550"
                              "05650"
                              "05550"
                              "00000",
                              "bdcb"
                              "caad"
                              "daac"
                              "ceed"
                              "daac"
                              "caad"
                              "deec"
                              "caad"
                              "daac"
                              "bcdb",
                              "5666"
                              "5563"
                              "5033"
                              "5003"
                              "5563"
                              "5033"
                              "5003"
                              "5563"
                              "5033"
                              "0003"};

// A long house along x, 10 x 4.
const HouseTemplate LONG_X = {10, 4,
                              "00000000000"
                              "05555555550"
                              "05655755650"
                              "05555555550"
                              "00000000000",
                              "bdcdcdcdcb"
                              "caaeaaeaad"
                              "daaeaaeaac"
                              "bcdcdcdcdb",
                              "5666666666"
                              "5560560563"
                              "5030030033"
                              "0000000003"};

const HouseTemplate* const HOUSE_TEMPLATES[5] = {&KEEP, &SMALL, &SMALL, &LONG_Z, &LONG_X};

// -1 the keep, -2 the small house; otherwise by type mod 3. Other negative
// types have no template of their own: they take the positive remainder
// instead of indexing outside the table.
const HouseTemplate& house_template(int type) {
  if (type == -1) return *HOUSE_TEMPLATES[0];
  if (type == -2) return *HOUSE_TEMPLATES[1];
  int m = type % 3;
  if (m < 0) m += 3;
  return *HOUSE_TEMPLATES[2 + m];
}

} // namespace

void HeightmapData::placeHouse(int x, int z, int type, float* grid, bool keep_mean) {
  const HouseTemplate& t = house_template(type);
  int nx = t.nx, nz = t.nz;
  int x0 = (x - nx / 2) & 255, z0 = (z - nz / 2) & 255;
  if (type >= 0 && !test_rect_mark(x0, z0, x0 + nx, z0 + nz, 15, 0)) return; // reserved
  mark_rect(x0, z0, x0 + nx, z0 + nz, MARK_HOUSE, 0);

  // Base: the mean ground over the vertices (minus the template's own mean
  // when the footprint is to keep its mean height).
  float sum = 0.0f;
  for (int j = 0; j <= nz; j++)
    for (int i = 0; i <= nx; i++) sum += grid[hmap_index(x0 + i, z0 + j)];
  if (keep_mean) {
    for (const char* c = t.heights; *c; c++)
      if (*c >= '0' && *c <= '9') sum -= (float)(*c - '0') * HOUSE_HEIGHT_SCALE / 9.0f;
  }
  float base = sum / (float)((nx + 1) * (nz + 1));

  for (int r = 0; r <= nz; r++) {
    int vz = z0 + nz - r;
    for (int i = 0; i <= nx; i++) {
      char c = t.heights[r * (nx + 1) + i];
      if (c >= '0' && c <= '9')
        grid[hmap_index(x0 + i, vz)] = (float)(c - '0') * HOUSE_HEIGHT_SCALE / 9.0f + base;
    }
  }
  for (int r = 0; r < nz; r++) {
    int cz = z0 + nz - 1 - r;
    for (int i = 0; i < nx; i++) {
      char c = t.tiles[r * nx + i];
      if (c < 'a' || c > 'z') continue;
      Surface& s = surface[hmap_index(x0 + i, cz)];
      s.tile = (uint32_t)(c - 'a');
      s.tile_rot = (uint32_t)(t.rots[r * nx + i] & 7);
      s.ground = GT_HOUSE;
      s.cover = ST_NONE;
      s.top_color = 0;
    }
  }
}
