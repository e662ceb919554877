// libFuzzer target for the small text files a user edits or hands over: the settings file, the
// world palettes ("gen/palettes.csv"), the module's source lists (".ls") and a saved game's
// commit journal. Byte 0 selects the reader (bits 0-1: settings, palettes, source lists,
// journal); the rest is the file, or for source lists three files split at zero bytes
// ("main.ls", "a.ls", "b/c.ls", so imports reach each other). Never a crash, a read outside the
// input, a leak or a hang; beyond that:
// - settings: whatever loads is written back whole when a key changes - reading the file again
//   gives every entry as it was, with the changed key's value;
// - palettes: a file that parses loads into a VM with its stack as it was;
// - source lists: every watched path lies in the source folder and each is recorded once;
// - journal: recovery touches nothing outside the save's folder and leaves no journal and no
//   temporary file behind.
// Built with clang by scripts/fuzz-config.sh; the regression suite replays the saved inputs.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "host/gameobj_rebuild.h"
#include "script/sqbind.h"
#include "world/palettes.h"
#include "world/safe_file.h"

namespace {

std::string root; // the target's temporary folder, "/"-terminated
HSQUIRRELVM vm = nullptr;

void write_file(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entries_of(const ConfigNode& n) {
  Entries e;
  for (int i = 0; i < n.count(); i++) e.emplace_back(n.keyAt(i), n.valueAt(i));
  return e;
}

void fuzz_settings(const uint8_t* data, size_t size) {
  std::string folder = root + "Runeholm/";
  mkdir(folder.c_str(), 0755);
  std::string path = folder + "settings.cfg";
  write_file(path, data, size);
  ConfigNode given;
  given.parse((const char*)data, (int)size);
  Entries expected = entries_of(given);
  bool replaced = false;
  for (auto& [key, value] : expected)
    if (key == "fuzz_written") {
      value = std::string(1, '7');
      replaced = true;
      break;
    }
  if (!replaced) expected.emplace_back("fuzz_written", "7");

  config_reset_for_tests();
  if (!set_config_int("fuzz_written", 7) || !flush_app_config()) abort();
  ConfigNode* again = ConfigNode::fromFile(path.c_str());
  if (!again) abort();
  if (entries_of(*again) != expected) abort(); // the write-back lost or changed an entry
  delete again;
  config_reset_for_tests();
}

void fuzz_palettes(const uint8_t* data, size_t size) {
  std::string path = root + "palettes.csv";
  write_file(path, data, size);
  PaletteTable table;
  std::string error;
  if (!parse_palette_file(path.c_str(), table, error)) {
    if (error.empty()) abort();
    return;
  }
  SQInteger top = sq_gettop(vm);
  try {
    load_world_palettes(vm, path.c_str());
  } catch (const SquirrelError&) {
    abort(); // it parsed a moment ago
  }
  if (sq_gettop(vm) != top) abort();
  sq_collectgarbage(vm);
}

void fuzz_source_lists(const uint8_t* data, size_t size) {
  std::string folder = root + "src/";
  std::filesystem::remove_all(folder);
  mkdir(folder.c_str(), 0755);
  mkdir((folder + "b").c_str(), 0755);
  const char* names[] = {"main.ls", "a.ls", "b/c.ls"};
  const uint8_t* end = data + size;
  for (const char* name : names) {
    const uint8_t* zero = (const uint8_t*)memchr(data, 0, (size_t)(end - data));
    const uint8_t* stop = zero ? zero : end;
    write_file(folder + name, data, (size_t)(stop - data));
    data = zero ? zero + 1 : end;
  }
  set_gameobj_source(folder.c_str(), "main.ls");
  read_gameobj_source_list();
  int n = gameobj_source_count();
  if (n < 1) abort();
  for (int i = 0; i < n; i++) {
    const char* p = gameobj_source(i).path;
    if (strncmp(p, folder.c_str(), folder.size()) != 0) abort();
    for (int j = 0; j < i; j++)
      if (strcmp(gameobj_source(j).path, p) == 0) abort();
  }
  clear_gameobj_sources();
}

void fuzz_journal(const uint8_t* data, size_t size) {
  std::string folder = root + "save";
  std::filesystem::remove_all(folder);
  mkdir(folder.c_str(), 0755);
  // Files a journal may name, and one beside the folder that it must not reach.
  for (const char* name : {"info.tmp", "uni.tmp", "w000.tmp", "w000"}) write_file(folder + "/" + name, "x", 1);
  std::string outside = root + "outside.tmp";
  write_file(outside, "x", 1);
  write_file(folder + "/" + SAFE_FILE_JOURNAL, data, size);
  safe_file_recover_folder(folder.c_str());
  if (access(outside.c_str(), F_OK) != 0) abort();
  DIR* d = opendir(folder.c_str());
  if (!d) abort();
  while (dirent* e = readdir(d)) {
    size_t n = strlen(e->d_name);
    if (!strcmp(e->d_name, SAFE_FILE_JOURNAL) || (n > 4 && !strcmp(e->d_name + n - 4, ".tmp"))) abort();
  }
  closedir(d);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char templ[] = "/tmp/rh-fuzz-config-XXXXXX";
  if (!mkdtemp(templ)) abort();
  root = std::string(templ) + "/";
  setenv("XDG_DATA_HOME", templ, 1);
  vm = sqbind::open_vm(1024);
  atexit([] {
    config_reset_for_tests();
    sqbind::close_vm(vm);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 64 * 1024) return 0;
  switch (data[0] & 3) {
  case 0: fuzz_settings(data + 1, size - 1); break;
  case 1: fuzz_palettes(data + 1, size - 1); break;
  case 2: fuzz_source_lists(data + 1, size - 1); break;
  case 3: fuzz_journal(data + 1, size - 1); break;
  }
  return 0;
}
