// Scripted input: a time-ordered list of SDL events pushed into SDL's queue
// when the game time reaches them.
#include "devtools/scripted_input.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/window.h"

void (*scripted_generate_fn)(uint64_t seed, bool game_world) = nullptr;
void (*scripted_camera_fn)(const float v[5]) = nullptr;

namespace {

DynArray<ScriptedInput> script;
int next_event = 0;

struct NamedKey {
    const char* name;
    SDL_Keycode keycode;
    SDL_Scancode scancode;
};

const NamedKey named_keys[] = {
    {"PRINT", SDLK_PRINTSCREEN, SDL_SCANCODE_PRINTSCREEN},
    {"ESCAPE", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE},
    {"RETURN", SDLK_RETURN, SDL_SCANCODE_RETURN},
    {"SPACE", SDLK_SPACE, SDL_SCANCODE_SPACE},
};

bool parse_key(const std::string& name, ScriptedInput& out)
{
    for (const NamedKey& k : named_keys)
        if (name == k.name) {
            out.keycode = k.keycode;
            out.scancode = k.scancode;
            return true;
        }
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') {
        out.keycode = SDLK_a + (name[0] - 'A');
        out.scancode = SDL_SCANCODE_A + (name[0] - 'A');
        return true;
    }
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') {
        // SDL orders the digit scancodes 1..9, then 0.
        out.keycode = SDLK_0 + (name[0] - '0');
        out.scancode = name[0] == '0' ? SDL_SCANCODE_0 : SDL_SCANCODE_1 + (name[0] - '1');
        return true;
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        char* end = nullptr;
        long n = strtol(name.c_str() + 1, &end, 10);
        if (*end == 0 && n >= 1 && n <= 12) {
            out.keycode = SDLK_F1 + int(n - 1);
            out.scancode = SDL_SCANCODE_F1 + int(n - 1);
            return true;
        }
    }
    return false;
}

// SEED:<n> and CAM:<x>:<y>:<z>:<yaw>:<pitch>.
bool parse_setup(const std::string& name, ScriptedInput& out)
{
    if (name.rfind("SEED:", 0) == 0) {
        const char* p = name.c_str() + 5;
        char* end = nullptr;
        unsigned long long v = strtoull(p, &end, 10);
        if (end == p || (*end && strcmp(end, ":game") != 0))
            return false;
        out.kind = SCRIPTED_SEED;
        out.seed = v;
        out.game_world = *end != 0;
        return true;
    }
    if (name.rfind("CAM:", 0) == 0) {
        const char* p = name.c_str() + 4;
        for (int i = 0; i < 5; i++) {
            char* end = nullptr;
            out.camera[i] = strtof(p, &end);
            if (end == p || !(out.camera[i] == out.camera[i]))
                return false;
            if (i < 4 && *end != ':')
                return false;
            if (i == 4 && *end)
                return false;
            p = end + 1;
        }
        out.kind = SCRIPTED_CAMERA;
        return true;
    }
    return false;
}

void push_key(const ScriptedInput& in, unsigned window_id)
{
    for (int pressed = 1; pressed >= 0; --pressed) {
        SDL_Event e;
        memset(&e, 0, sizeof e);
        e.type = pressed ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.timestamp = SDL_GetTicks();
        e.key.windowID = window_id;
        e.key.state = pressed ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = in.keycode;
        e.key.keysym.scancode = SDL_Scancode(in.scancode);
        e.key.keysym.mod = Uint16(in.mod);
        SDL_PushEvent(&e);
    }
}

} // namespace

bool scripted_input_parse_entry(const char* text, int len, ScriptedInput& out)
{
    std::string entry(text, size_t(len));
    size_t at = entry.find('@');
    if (at == std::string::npos || at + 1 >= entry.size())
        return false;
    const char* time_text = entry.c_str() + at + 1;
    char* end = nullptr;
    double t = strtod(time_text, &end);
    if (end == time_text || *end != 0 || !(t >= 0) || t > 1e9)
        return false;
    out = ScriptedInput{t, SCRIPTED_KEY, 0, 0, 0, 0, false, {0, 0, 0, 0, 0}};
    std::string name = entry.substr(0, at);
    if (name.rfind("SEED:", 0) == 0 || name.rfind("CAM:", 0) == 0)
        return parse_setup(name, out);

    if (name == "QUIT") {
        out.kind = SCRIPTED_QUIT;
        return true;
    }
    if (name == "CLOSE") {
        out.kind = SCRIPTED_CLOSE;
        return true;
    }
    if (name.rfind("ALT+", 0) == 0) {
        out.mod = KMOD_LALT;
        name.erase(0, 4);
    }
    return parse_key(name, out);
}

int scripted_input_parse(const char* text, DynArray<ScriptedInput>& out)
{
    int rejected = 0;
    for (const char* p = text; p && *p;) {
        const char* comma = strchr(p, ',');
        int len = comma ? int(comma - p) : int(strlen(p));
        if (len > 0) {
            ScriptedInput in;
            if (!scripted_input_parse_entry(p, len, in)) {
                ++rejected;
            } else {
                // Insert after every entry at the same time or earlier.
                int pos = out.size();
                while (pos > 0 && out[pos - 1].time > in.time)
                    --pos;
                out.insert(pos, 1, &in);
            }
        }
        p = comma ? comma + 1 : p + len;
    }
    return rejected;
}

void scripted_input_start()
{
    script.clear();
    next_event = 0;
    const char* text = getenv("RUNEHOLM_TEST_KEYS");
    if (!text || !*text)
        return;
    int rejected = scripted_input_parse(text, script);
    if (rejected)
        debug("TEST: %d entries of RUNEHOLM_TEST_KEYS='%s' not understood", rejected, text);
    debug("TEST: %d scripted input events", script.size());
}

void scripted_input_advance(double game_time)
{
    SDL_Window* window = get_main_window();
    unsigned window_id = window ? SDL_GetWindowID(window) : 0;
    for (; next_event < script.size() && script[next_event].time <= game_time; ++next_event) {
        const ScriptedInput& in = script[next_event];
        if (in.kind == SCRIPTED_KEY) {
            push_key(in, window_id);
            continue;
        }
        // A world or a camera waits until the keys before it were handled: a
        // busy machine runs several steps per frame, and an F9 still queued
        // would switch modes after the camera was placed instead of before.
        if ((in.kind == SCRIPTED_SEED || in.kind == SCRIPTED_CAMERA) &&
            SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYUP) > 0)
            break;
        if (in.kind == SCRIPTED_SEED) {
            debug("TEST: new world from seed %llu", (unsigned long long)in.seed);
            if (scripted_generate_fn)
                scripted_generate_fn(in.seed, in.game_world);
            continue;
        }
        if (in.kind == SCRIPTED_CAMERA) {
            const float* c = in.camera;
            debug("TEST: camera at (%g, %g, %g), yaw %g, pitch %g", c[0], c[1], c[2], c[3], c[4]);
            if (scripted_camera_fn)
                scripted_camera_fn(c);
            continue;
        }
        SDL_Event e;
        memset(&e, 0, sizeof e);
        if (in.kind == SCRIPTED_QUIT) {
            e.type = SDL_QUIT;
        } else {
            e.type = SDL_WINDOWEVENT;
            e.window.windowID = window_id;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
        }
        e.common.timestamp = SDL_GetTicks();
        SDL_PushEvent(&e);
    }
}

int scripted_input_pending()
{
    return script.size() - next_event;
}
