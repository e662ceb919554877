// The world palettes of "gen/palettes.csv": a header line naming the
// columns (column 0 holds each palette's name, the others colour names),
// then one palette per line with its colours as unsigned integers
// (typically 0xAARRGGBB). The script sees them as the root-table slot
// "world_palettes": palette name -> row table (column name -> value).
#pragma once
#include <squirrel.h>

#include <cstdint>
#include <string>
#include <vector>

struct PaletteRow {
  std::string name;
  // (column index, value) of every field that parsed as a number.
  std::vector<std::pair<int, uint32_t>> values;
};

struct PaletteTable {
  std::vector<std::string> columns;
  std::vector<PaletteRow> rows;
};

// Parses the file; false with `error` set when it can't be opened
// ("can't open <path>") or a column name is too long.
bool parse_palette_file(const char* path, PaletteTable& out, std::string& error);
// Parses one field as an unsigned integer with the base from its prefix
// ("0x" hexadecimal, "0" octal, else decimal); false when it isn't one.
bool parse_palette_number(const char* field, uint32_t& value);
// Creates the root-table slot "world_palettes" of `vm` from the file;
// throws SquirrelError with the parse error.
void load_world_palettes(HSQUIRRELVM vm, const char* path);
