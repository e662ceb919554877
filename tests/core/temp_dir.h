// Test helpers: fresh temporary folders, and a user-data folder
// (XDG_DATA_HOME) that is never the real home.
#pragma once
#include <stdlib.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// Folders made by this process, removed when it exits (not by the forked
// children of death tests, which exit while the parent still needs them).
struct TempDirRegistry {
  std::vector<std::string> dirs;
  pid_t owner = getpid();
  ~TempDirRegistry() {
    if (getpid() != owner) return;
    for (const std::string& d : dirs)
      nftw(d.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
           FTW_DEPTH | FTW_PHYS);
  }
};
inline TempDirRegistry temp_dir_registry;

// Creates a new empty folder under /tmp and returns its path with a trailing "/".
inline std::string make_temp_dir(const char* tag = "rh") {
  std::string templ = std::string("/tmp/") + tag + "-XXXXXX";
  if (!mkdtemp(templ.data())) abort();
  temp_dir_registry.dirs.push_back(templ);
  return templ + "/";
}

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
