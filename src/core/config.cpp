// The settings file: lazy load, in-memory entries, atomic write-back, and
// ConfigNode. The line grammar is in config.h; both users share one scanner.
//
// Safety rules beyond the byte format:
// - An existing settings.cfg that cannot be read is never overwritten during
//   the run (the empty configuration would otherwise wipe the user's file).
// - The file is written to "settings.cfg.tmp" in the same folder, flushed,
//   synced and renamed over the old one, so a crash or a full disk leaves
//   either the old or the new file, never a cut one.
#include "core/config.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/platform.h"

static const char* config_version_key = "_CONFIG_VERSION_";
static const char* config_header = "// Game settings\n_CONFIG_VERSION_=1\n\n";

// {===== Scanner

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_eol(char c) { return c == '\r' || c == '\n'; }

// Calls add(key, keyLen, value, valueLen) for each entry of the text.
template <class Add>
static void config_scan(const char* text, int length, Add add) {
  int i = 0;
  while (i < length) {
    while (i < length && is_blank(text[i])) i++;
    if (i >= length) break;
    if (is_eol(text[i])) {
      i++;
      continue;
    }
    if (text[i] == '/' && i + 1 < length && text[i + 1] == '/') {
      while (i < length && !is_eol(text[i])) i++;
      continue;
    }
    int key = i;
    while (i < length && !is_blank(text[i]) && text[i] != '=' && !is_eol(text[i])) i++;
    int keyLen = i - key;
    while (i < length && is_blank(text[i])) i++;
    if (i >= length || text[i] != '=') continue; // a lone word: no entry
    i++;
    while (i < length && is_blank(text[i])) i++;
    int value = i;
    while (i < length && !is_eol(text[i])) i++;
    int valueLen = i - value;
    while (valueLen > 0 && is_blank(text[value + valueLen - 1])) valueLen--;
    if (keyLen == 0) continue;
    if (keyLen == (int)strlen(config_version_key) && memcmp(text + key, config_version_key, keyLen) == 0)
      continue;
    add(text + key, keyLen, text + value, valueLen);
  }
}

static char* copy_text(const char* text, int length) {
  char* s = (char*)malloc((size_t)length + 1);
  ASSERT(s);
  if (length) memcpy(s, text, (size_t)length);
  s[length] = 0;
  return s;
}

// Integer literal with automatic base; a value beyond the 32-bit range
// saturates like a 32-bit strtol would. False when no digit was converted.
static bool parse_config_int(const char* text, int& out) {
  char* end;
  errno = 0;
  long v = strtol(text, &end, 0);
  if (end == text) return false;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  out = (int)v;
  return true;
}

// Reads a whole regular file; `exists` tells a missing file from an unreadable one.
static char* read_whole_file(const char* path, int& length, bool& exists) {
  length = 0;
  struct stat st;
  if (stat(path, &st) != 0) {
    exists = errno != ENOENT && errno != ENOTDIR;
    return nullptr;
  }
  exists = true;
  if (!S_ISREG(st.st_mode)) return nullptr; // never block on a FIFO or read a folder
  FILE* f = fopen(path, "rb");
  if (!f) return nullptr;
  char* buf = nullptr;
  long size = -1;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size >= 0 && size < INT_MAX && fseek(f, 0, SEEK_SET) == 0) {
    buf = (char*)malloc((size_t)size + 1);
    if (buf && fread(buf, 1, (size_t)size, f) == (size_t)size) {
      buf[size] = 0;
      length = (int)size;
    } else {
      free(buf);
      buf = nullptr;
    }
  }
  fclose(f);
  return buf;
}

// {===== Application configuration

namespace {
struct ConfigEntry {
  char* key;
  char* value;
  int keyLen;
  int valueLen;
};

struct AppConfig {
  DynArray<ConfigEntry> entries;
  bool loaded = false;
  bool saved = false;
  bool protect_file = false; // an existing file could not be read: never overwrite it
  bool protect_logged = false;

  void freeEntries() {
    for (ConfigEntry& e : entries) {
      free(e.key);
      free(e.value);
    }
    entries.clear();
  }
  // The entries live until the process ends; freeing them at exit keeps leak
  // checkers quiet.
  ~AppConfig() { freeEntries(); }
};
} // namespace

static AppConfig cfg;

static void free_entries() { cfg.freeEntries(); }

static void append_entry(const char* key, int keyLen, const char* value, int valueLen) {
  ConfigEntry e = {copy_text(key, keyLen), copy_text(value, valueLen), keyLen, valueLen};
  cfg.entries.push(e);
}

static void lazy_load() {
  if (cfg.loaded) return;
  cfg.loaded = true;
  cfg.saved = false;
  PathString path = get_appdata_folder_path("settings.cfg");
  int length;
  bool exists;
  char* text = read_whole_file(path, length, exists);
  if (!text) {
    if (exists) {
      cfg.protect_file = true;
      debug("CONFIG: can't read '%s'; it will not be overwritten", path.c_str());
    }
    return;
  }
  free_entries();
  config_scan(text, length, append_entry);
  free(text);
  cfg.saved = true;
}

static ConfigEntry* find_entry(const char* key) {
  if (!key) return nullptr;
  for (ConfigEntry& e : cfg.entries)
    if (strcmp(e.key, key) == 0) return &e;
  return nullptr;
}

bool get_config_str(const char* key, char* buffer, int size) {
  lazy_load();
  ConfigEntry* e = find_entry(key);
  if (!e || !buffer || e->valueLen + 1 > size) return false;
  memcpy(buffer, e->value, (size_t)e->valueLen + 1);
  return true;
}

bool get_config_int(const char* key, int& out) {
  char buf[64];
  if (!get_config_str(key, buf, sizeof buf)) return false;
  return parse_config_int(buf, out);
}

bool get_config_bool(const char* key, bool& out) {
  int v;
  if (!get_config_int(key, v)) return false;
  out = v != 0;
  return true;
}

// A key that the grammar could not read back would corrupt the file.
static bool valid_key(const char* key) {
  if (!key || !key[0] || (key[0] == '/' && key[1] == '/')) return false;
  for (const char* p = key; *p; p++)
    if (is_blank(*p) || is_eol(*p) || *p == '=') return false;
  return strcmp(key, config_version_key) != 0;
}

bool set_config_str(const char* key, const char* text, int length) {
  lazy_load();
  if (!valid_key(key)) {
    debug("CONFIG: invalid settings key '%s'", key ? key : "(null)");
    return false;
  }
  if (!text) text = "";
  if (length < 0) length = (int)strlen(text);
  // One entry per line: a line break would start a new entry when read back.
  for (int i = 0; i < length; i++)
    if (is_eol(text[i]) || text[i] == 0) {
      length = i;
      break;
    }
  if (ConfigEntry* e = find_entry(key)) {
    free(e->value);
    e->value = copy_text(text, length);
    e->valueLen = length;
  } else {
    append_entry(key, (int)strlen(key), text, length);
  }
  cfg.saved = false;
  return true;
}

bool set_config_int(const char* key, int value) {
  char buf[16];
  snprintf(buf, sizeof buf, "%d", value);
  return set_config_str(key, buf, -1);
}

bool set_config_bool(const char* key, bool value) { return set_config_str(key, value ? "1" : "0", 1); }

// Writes the entries to a temporary file beside `path` and renames it over
// `path`. The old file stays untouched until the new one is complete on disk.
static bool write_config_file(const char* path) {
  char real[PATH_MAX];
  // Write through a symbolic link to the file it names, as opening it would.
  const char* target = realpath(path, real) ? real : path;
  char tmp[PATH_MAX + 8];
  snprintf(tmp, sizeof tmp, "%s.tmp", target);
  int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  if (stat(target, &st) == 0) fchmod(fd, st.st_mode & 07777);
  FILE* f = fdopen(fd, "w");
  if (!f) {
    close(fd);
    unlink(tmp);
    return false;
  }
  bool ok = fputs(config_header, f) >= 0;
  for (int i = 0; ok && i < cfg.entries.num; i++) {
    const ConfigEntry& e = cfg.entries[i];
    ok = fwrite(e.key, 1, (size_t)e.keyLen, f) == (size_t)e.keyLen && fputc('=', f) != EOF &&
         fwrite(e.value, 1, (size_t)e.valueLen, f) == (size_t)e.valueLen && fputc('\n', f) != EOF;
  }
  ok = ok && fflush(f) == 0 && fsync(fileno(f)) == 0;
  if (fclose(f) != 0) ok = false;
  if (ok && rename(tmp, target) != 0) ok = false;
  if (!ok) unlink(tmp);
  return ok;
}

bool flush_app_config() {
  lazy_load();
  if (cfg.saved) return true;
  cfg.saved = true; // a failed write waits for the next change
  PathString path = get_appdata_folder_path("settings.cfg");
  if (cfg.protect_file) {
    if (!cfg.protect_logged) debug("CONFIG: not overwriting unreadable '%s'", path.c_str());
    cfg.protect_logged = true;
    return false;
  }
  make_folders(get_appdata_folder_path(""));
  if (!write_config_file(path)) {
    debug("CONFIG: error writing '%s'", path.c_str());
    return false;
  }
  debug("app config saved");
  return true;
}

void config_reset_for_tests() {
  free_entries();
  cfg.loaded = cfg.saved = cfg.protect_file = cfg.protect_logged = false;
}

// {===== ConfigNode

ConfigNode* ConfigNode::fromFile(const char* path) {
  ConfigNode* node = new ConfigNode();
  if (!node->load(path)) {
    delete node;
    return nullptr;
  }
  return node;
}

bool ConfigNode::load(const char* path) {
  if (!path) return false;
  int length;
  bool exists;
  char* text = read_whole_file(path, length, exists);
  if (!text) return false;
  parse(text, length);
  free(text);
  return true;
}

void ConfigNode::parse(const char* text, int length) {
  if (!text || length <= 0) return;
  config_scan(text, length, [this](const char* k, int kl, const char* v, int vl) {
    Pair p = {copy_text(k, kl), copy_text(v, vl)};
    pairs.push(p);
  });
}

int ConfigNode::findEntry(const char* key) const {
  if (!key) return -1;
  for (int i = 0; i < pairs.num; i++)
    if (strcmp(pairs[i].key, key) == 0) return i;
  return -1;
}

const char* ConfigNode::getStr(const char* key, const char* def) const {
  int i = findEntry(key);
  return i < 0 ? def : pairs[i].value;
}

int ConfigNode::getInt(const char* key, int def) const {
  int i = findEntry(key);
  int v;
  if (i < 0 || !parse_config_int(pairs[i].value, v)) return def;
  return v;
}

void ConfigNode::clear() {
  for (Pair& p : pairs) {
    free(p.key);
    free(p.value);
  }
  pairs.clear();
}
