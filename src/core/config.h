// Settings: settings.cfg in the user's data folder, held in memory as an
// ordered list of key/value strings, read lazily on the first access, written
// back whole by flush_app_config when something changed. ConfigNode offers the
// same line grammar as a stand-alone parsed file.
//
// Line grammar: leading spaces/tabs are skipped; "//" starts a comment to the
// end of the line; a key runs to the first space, tab, "=", CR or LF, may be
// followed by spaces/tabs, then "=" must follow (otherwise the word is no entry
// and scanning continues after it); after "=" spaces/tabs are skipped and the
// value runs to the end of the line with trailing spaces/tabs removed.
// "_CONFIG_VERSION_" is never stored. Keys are case-sensitive; the first entry
// with a key wins.
#pragma once
#include "core/dynArray.h"

// {===== Application configuration

// True with the value copied when the key exists and value length + 1 <= size.
bool get_config_str(const char* key, char* buffer, int size);
// Integer literal with automatic base (decimal, 0x hex, leading-zero octal);
// false, `out` untouched, when missing, too long (64+ characters) or no digit.
bool get_config_int(const char* key, int& out);
bool get_config_bool(const char* key, bool& out);
// Null text is empty; a negative length means up to the NUL. A value is cut
// at its first line break (the file holds one entry per line).
bool set_config_str(const char* key, const char* text, int length = -1);
bool set_config_int(const char* key, int value);
bool set_config_bool(const char* key, bool value);
// Writes settings.cfg when something changed; true when nothing had to be
// written or the write succeeded. The file is replaced atomically.
bool flush_app_config();

// Forgets the in-memory configuration so the next access loads again (tests).
void config_reset_for_tests();

// {===== ConfigNode

class ConfigNode {
public:
  struct Pair {
    char* key;
    char* value;
  };

  ConfigNode() = default;
  ConfigNode(const ConfigNode&) = delete;
  ConfigNode& operator=(const ConfigNode&) = delete;
  ~ConfigNode() { clear(); }

  // Loads a file into a new node; null when loading fails.
  static ConfigNode* fromFile(const char* path);
  // Appends the entries of the file; false when it cannot be read whole.
  bool load(const char* path);
  // Appends the entries of `length` bytes of text; existing entries stay.
  void parse(const char* text, int length);
  int findEntry(const char* key) const; // first pair with the key, or -1
  bool hasValue(const char* key) const { return findEntry(key) != -1; }
  const char* getStr(const char* key, const char* def) const;
  int getInt(const char* key, int def) const;
  void clear();

  int count() const { return pairs.num; }
  const char* keyAt(int i) const { return pairs[i].key; }
  const char* valueAt(int i) const { return pairs[i].value; }

private:
  DynArray<Pair> pairs;
};
