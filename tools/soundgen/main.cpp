// soundgen: synthesises the game's sound effects (one per sound event, named
// after it) and its music, and writes them into the given folder:
//   <event>.wav         16-bit mono WAV, 44,100 Hz
//   music_<name>.ogg    Ogg Vorbis stereo
// The output is the same on every run. Usage: soundgen <output folder>
#include "soundgen.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen <output folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "soundgen: can't create '%s': %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    auto t0 = std::chrono::steady_clock::now();
    std::atomic<bool> ok{true};
    // Music takes longest (encoding): one worker per piece next to the effects.
    std::vector<std::thread> workers;
    for (int i = 0; i < MUSIC_PIECE_COUNT; ++i)
        workers.emplace_back([&, i] {
            synth::Stereo s = make_music(i);
            if (!synth::write_ogg(dir + "/" + music_files[i] + ".ogg", s, 0.4))
                ok = false;
        });
    for (int i = 0; i < SOUND_EVENT_COUNT; ++i)
        if (!synth::write_wav(dir + "/" + sound_event_files[i] + ".wav", make_effect(i)))
            ok = false;
    for (std::thread& w : workers)
        w.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("soundgen: %d effects and %d music pieces in %.1f s\n", SOUND_EVENT_COUNT,
                MUSIC_PIECE_COUNT, secs);
    return ok ? 0 : 1;
}
