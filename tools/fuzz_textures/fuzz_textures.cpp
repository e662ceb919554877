// libFuzzer target for the texture file readers: DDS (header, every level, the truncation checks)
// and the 32-bit TGA reader. Byte 0 selects the reader (even: DDS, odd: TGA), the rest is
// written as the file. A bad file must be refused with a message naming it, never crash, read
// past its end or leave a texture behind. The device is a stand-in (fuzz_stubs.cpp) that reads
// every byte of each level the way the real upload hands it to GL, so a level the checks let
// through short is a read past the file's buffer. Built with clang by scripts/fuzz-textures.sh;
// the regression suite replays the saved inputs with the normal build.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/stream.h"
#include "render/texture.h"

int fuzz_live_textures(); // fuzz_stubs.cpp

namespace {

std::string folder;

void write_input(const uint8_t* data, size_t size) {
  FILE* f = fopen((folder + "in.tex").c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

void fuzz_dds() {
  char error[PATH_MAX + 128] = "";
  Texture* tex = try_load_dds_texture("in.tex", error, sizeof error);
  if (tex) {
    if (tex->levels < 1 || tex->width < 1 || tex->height < 1) abort();
    release_texture(tex);
  } else if (!strstr(error, "in.tex")) {
    abort(); // every refusal names the file
  }
  if (fuzz_live_textures() != 0) abort();
}

void fuzz_tga() {
  int w = 0, h = 0;
  DynArray<uint32_t> pixels;
  try {
    if (!load_tga("in.tex", w, h, pixels)) abort(); // the file exists
    if (w < 1 || h < 1 || pixels.num != w * h) abort();
  } catch (const StreamIOException& e) {
    if (!e.message[0]) abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char templ[] = "/tmp/rh-fuzz-textures-XXXXXX";
  if (!mkdtemp(templ)) abort();
  folder = std::string(templ) + "/";
  snprintf(app_path, sizeof app_path, "%s", folder.c_str());
  atexit([] {
    unlink((folder + "in.tex").c_str());
    rmdir(folder.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  write_input(data + 1, size - 1);
  if (data[0] & 1)
    fuzz_tga();
  else
    fuzz_dds();
  return 0;
}
