// Screenshots through the device's front-buffer capture and stb_image_write.
#include "devtools/screenshot.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "core/platform.h"
#include "render/device.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

static void append_bytes(void* context, void* data, int size) {
  auto* out = (std::vector<uint8_t>*)context;
  out->insert(out->end(), (const uint8_t*)data, (const uint8_t*)data + size);
}

bool save_screenshot_png(const char* path, const uint8_t* bgra, int width, int height, int pitch) {
  if (!bgra || width < 1 || height < 1) return false;
  std::vector<uint8_t> rgba((size_t)width * height * 4);
  for (int y = 0; y < height; y++) {
    const uint8_t* s = bgra + (size_t)y * pitch;
    uint8_t* d = rgba.data() + (size_t)y * width * 4;
    for (int x = 0; x < width; x++, s += 4, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 255;
    }
  }
  std::vector<uint8_t> png;
  if (!stbi_write_png_to_func(append_bytes, &png, width, height, 4, rgba.data(), width * 4) ||
      png.empty())
    return false;
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = fclose(f) == 0 && ok;
  return ok;
}

// Start of the screenshot being taken, for the log's timing, and its file.
static int64_t screenshot_start = 0;
static PathString screenshot_path;

// "shots/shot<local time>.png" in the application-data folder. A second
// picture in the same second (or a file already there) gets "_2", "_3", ...
// rather than overwriting the first.
static PathString screenshot_file_path() {
  static char last_stem[64];
  static int taken_in_second = 0;
  char stem[64], name[80];
  time_t now = time(nullptr);
  struct tm t;
  if (now != (time_t)-1 && localtime_r(&now, &t))
    snprintf(stem, sizeof stem, "shots/shot%4u_%02u_%02u_%02u_%02u_%02u", (unsigned)t.tm_year + 1900,
             (unsigned)t.tm_mon + 1, (unsigned)t.tm_mday, (unsigned)t.tm_hour, (unsigned)t.tm_min,
             (unsigned)t.tm_sec);
  else
    snprintf(stem, sizeof stem, "shots/shot");
  int n = strcmp(stem, last_stem) == 0 ? taken_in_second + 1 : 1;
  snprintf(last_stem, sizeof last_stem, "%s", stem);
  for (;; n++) {
    if (n == 1)
      snprintf(name, sizeof name, "%s.png", stem);
    else
      snprintf(name, sizeof name, "%s_%d.png", stem, n);
    PathString path = get_appdata_folder_path(name);
    if (n >= 1000 || access(path.c_str(), F_OK) != 0) {
      taken_in_second = n;
      return path;
    }
  }
}

// Runs after the present that kept the frame.
static void save_captured_screenshot() {
  int w = 0, h = 0, pitch = 0;
  uint8_t* pixels = capture_front_buffer(w, h, pitch);
  if (!pixels) {
    debug("failed to capture the screen for the screenshot");
    return;
  }
  make_folders(get_appdata_folder_path(""));
  make_folders(get_appdata_folder_path("shots"));
  const PathString& path = screenshot_path;

  bool ok = save_screenshot_png(path, pixels, w, h, pitch);
  release_front_buffer_capture();
  if (ok)
    debug("screenshot captured to '%s' in %d ms", path.c_str(),
          get_time_msec(get_ref_time() - screenshot_start));
  else
    debug("failed to save screenshot to '%s'", path.c_str());
}

// The device copies a frame only on request, so the picture is the next
// presented frame and the file is written right after that present. The
// name is taken now (a frame later at most), so the caller can be told it.
PathString make_screenshot() {
  screenshot_start = get_ref_time();
  debug("screenshot...");
  screenshot_path = screenshot_file_path();
  request_front_buffer_capture(save_captured_screenshot);
  return screenshot_path;
}
