// Reading "gen/palettes.csv" into the world VM's "world_palettes" table.
#include "world/palettes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/sqbind.h"

namespace {

constexpr int MAX_HEADER = 1024; // the header line holds at most 1,023 characters
constexpr size_t MAX_NAME = 260;

bool is_separator(char c) { return c == ',' || c == ';' || c == '\r' || c == '\n'; }

// Splits on the separators, skipping empty fields; surrounding blanks are trimmed.
std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && is_separator(line[i])) i++;
    size_t s = i;
    while (i < n && !is_separator(line[i])) i++;
    size_t e = i;
    while (s < e && (line[s] == ' ' || line[s] == '\t')) s++;
    while (e > s && (line[e - 1] == ' ' || line[e - 1] == '\t')) e--;
    if (e > s) out.emplace_back(line, s, e - s);
  }
  return out;
}

bool read_line(FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = fgetc(f)) != EOF) {
    if (c == '\n') return true;
    line.push_back((char)c);
  }
  return !line.empty();
}

} // namespace

bool parse_palette_number(const char* field, uint32_t& value) {
  if (!field || !*field || *field == '-' || *field == '+') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = strtoull(field, &end, 0);
  if (end == field || *end || errno || v > 0xFFFFFFFFull) return false;
  value = (uint32_t)v;
  return true;
}

bool parse_palette_file(const char* path, PaletteTable& out, std::string& error) {
  out = PaletteTable();
  FILE* f = fopen(path, "rb");
  if (!f) {
    error = std::string("can't open ") + path;
    return false;
  }
  std::string line;
  if (read_line(f, line)) {
    if (line.size() >= MAX_HEADER) line.resize(MAX_HEADER - 1);
    out.columns = split_fields(line);
    for (const std::string& c : out.columns)
      if (c.size() >= MAX_NAME) {
        fclose(f);
        error = std::string("palette column name too long in ") + path;
        return false;
      }
  }
  while (read_line(f, line)) {
    if (!line.empty() && line[0] == '#') continue;
    std::vector<std::string> fields = split_fields(line);
    if (fields.empty()) continue;
    PaletteRow row;
    row.name = fields[0];
    for (size_t i = 1; i < fields.size() && i < out.columns.size(); i++) {
      uint32_t v;
      if (parse_palette_number(fields[i].c_str(), v)) row.values.emplace_back((int)i, v);
    }
    out.rows.push_back(std::move(row));
  }
  fclose(f);
  return true;
}

void load_world_palettes(HSQUIRRELVM vm, const char* path) {
  PaletteTable table;
  std::string error;
  if (!parse_palette_file(path, table, error)) throw SquirrelError(error.c_str());
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, "world_palettes", -1);
  sq_newtable(vm);
  const char* key0 = table.columns.empty() ? "name" : table.columns[0].c_str();
  for (const PaletteRow& row : table.rows) {
    sq_pushstring(vm, row.name.c_str(), -1);
    sq_newtable(vm);
    sq_pushstring(vm, key0, -1);
    sq_pushstring(vm, row.name.c_str(), -1);
    sq_newslot(vm, -3, SQFalse);
    for (const auto& [col, value] : row.values) {
      sq_pushstring(vm, table.columns[col].c_str(), -1);
      sq_pushinteger(vm, (SQInteger)(int32_t)value);
      sq_newslot(vm, -3, SQFalse);
    }
    sq_newslot(vm, -3, SQFalse); // world_palettes[name] = row
  }
  sq_newslot(vm, -3, SQFalse); // root.world_palettes
  sq_settop(vm, top);
}
