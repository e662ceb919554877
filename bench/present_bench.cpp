// Presenting a frame at 1280 x 720 on the headless device (SDL's offscreen
// driver, Mesa): a cleared back buffer swapped, with and without keeping a
// copy for a capture. "WithCapture" is what every frame cost while the copy
// was made unconditionally; "Plain" is a frame nobody asked to capture.
#include <benchmark/benchmark.h>

#include <SDL2/SDL.h>

#include <cstdlib>

#include "core/app_globals.h"
#include "core/window.h"
#include "render/device.h"

namespace {

// The window is made here, not by create_main_window, which would clamp it
// to the offscreen driver's 1024 x 768 display.
bool open_device() {
  static bool ok = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 0);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    isFullscreen = false;
    if (!register_main_window_class()) return false;
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("present_bench", 0, 0, 1280, 720, SDL_WINDOW_OPENGL);
    return window && init_d3d(window, 1280, 720);
  }();
  return ok;
}

void present_frames(benchmark::State& st, bool capture) {
  if (!open_device()) {
    st.SkipWithError("no GL device");
    return;
  }
  for (auto _ : st) {
    set_back_buffer_target();
    set_viewport(0, 0, d3d_wd, d3d_ht);
    clear_view_color(0xFF24344A);
    if (capture) request_front_buffer_capture(nullptr);
    present_d3d();
    flush_gpu(); // the frame's work, not only its submission
  }
  st.counters["width"] = d3d_wd;
  st.counters["height"] = d3d_ht;
}

void BM_PresentPlain(benchmark::State& st) { present_frames(st, false); }
void BM_PresentWithCapture(benchmark::State& st) { present_frames(st, true); }

} // namespace

BENCHMARK(BM_PresentPlain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PresentWithCapture)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
