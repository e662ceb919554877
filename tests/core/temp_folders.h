// Temporary folders for tests. Every folder a test makes under /tmp comes from here, and
// each is removed with its contents, also when the test failed, so a test run leaves nothing
// behind (docs/testing.md).
#pragma once
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// Removes a folder and everything in it; symbolic links are removed, not followed.
inline void remove_temp_tree(const std::string& dir) {
  nftw(dir.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
       FTW_DEPTH | FTW_PHYS);
}

// Creates a new empty folder /tmp/TAG-XXXXXX and returns its path without a trailing "/".
inline std::string create_temp_folder(const char* tag) {
  std::string templ = std::string("/tmp/") + tag + "-XXXXXX";
  if (!mkdtemp(templ.data())) {
    perror(templ.c_str());
    abort();
  }
  return templ;
}

// A temporary folder owned by one object: made when it is constructed, removed with its
// contents when it goes out of scope, also when the test using it failed. Forked children
// (death tests) leave it to the process that made it.
class TempDir {
public:
  explicit TempDir(const char* tag = "rh") : path_(create_temp_folder(tag)) {}
  ~TempDir() {
    if (getpid() == owner_) remove_temp_tree(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing "/".
  const std::string& path() const { return path_; }
  // The path of NAME inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
  pid_t owner_ = getpid();
};

// Folders that live as long as the test process (make_temp_dir): removed when it exits,
// not by the forked children of death tests, which exit while the parent still needs them.
struct TempDirRegistry {
  std::vector<std::string> dirs;
  pid_t owner = getpid();
  ~TempDirRegistry() {
    if (getpid() != owner) return;
    for (const std::string& d : dirs) remove_temp_tree(d);
  }
};
inline TempDirRegistry temp_dir_registry;

// Creates a new empty folder under /tmp, removed when the process exits, and returns its
// path with a trailing "/".
inline std::string make_temp_dir(const char* tag = "rh") {
  std::string dir = create_temp_folder(tag);
  temp_dir_registry.dirs.push_back(dir);
  return dir + "/";
}
