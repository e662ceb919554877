// Replays saved fuzz inputs without libFuzzer: every file named on the command line, or found
// (sorted, not recursively) in a folder named there, goes once through the harness's
// LLVMFuzzerTestOneInput, after its LLVMFuzzerInitialize when it has one. A fault aborts the
// process, as under the fuzzer; the file being replayed is named on standard error first, so a
// failing test says which input broke. Built by the normal (GCC) build for the regression suite.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool read_file(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

void collect(const std::string& path, std::vector<std::string>& files) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    fprintf(stderr, "replay: can't find '%s'\n", path.c_str());
    exit(2);
  }
  if (!S_ISDIR(st.st_mode)) {
    files.push_back(path);
    return;
  }
  DIR* d = opendir(path.c_str());
  if (!d) {
    fprintf(stderr, "replay: can't list '%s'\n", path.c_str());
    exit(2);
  }
  std::vector<std::string> found;
  while (dirent* e = readdir(d)) {
    std::string p = path + "/" + e->d_name;
    if (e->d_name[0] != '.' && stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) found.push_back(p);
  }
  closedir(d);
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) collect(argv[i], files);
  if (files.empty()) {
    fprintf(stderr, "replay: no inputs found\n");
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<uint8_t> data;
  for (const std::string& f : files) {
    if (!read_file(f, data)) {
      fprintf(stderr, "replay: can't read '%s'\n", f.c_str());
      return 2;
    }
    fprintf(stderr, "replay: %s\n", f.c_str());
    // A private copy of exactly the input's size, so that a read past its end is caught.
    // An empty input still gets a valid pointer, as libFuzzer gives it.
    std::vector<uint8_t> copy(data);
    static uint8_t none;
    LLVMFuzzerTestOneInput(copy.empty() ? &none : copy.data(), copy.size());
  }
  printf("replayed %zu inputs\n", files.size());
  return 0;
}
