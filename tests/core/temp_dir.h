// Test helpers: a user-data folder (XDG_DATA_HOME) that is never the real
// home, and small file helpers. Temporary folders: core/temp_folders.h.
#pragma once
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/temp_folders.h"

// Points XDG_DATA_HOME at a new temporary folder; returns the "Runeholm/"
// folder inside it (not created).
inline std::string use_fresh_data_home() {
  std::string home = make_temp_dir("rh-data");
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  return home + "Runeholm/";
}

inline std::string read_text_file(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
  }
  return text;
}

inline void write_text_file(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

inline bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Every test binary that includes this starts with a private data folder, so
// even a test that logs before choosing its own never touches the real home.
inline const bool temp_dir_home_set = (use_fresh_data_home(), true);
