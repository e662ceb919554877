// The generated sound content (bin/sound/, made by tools/soundgen at build
// time): every file loads, is heard, and the loops have no seam. Skipped when
// the content has not been built next to the tests.
#include "sound_test_util.h"

#include <unistd.h>

using namespace soundtest;

namespace {

std::string sound_dir() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = 0;
    // Tests live in <build>/tests, content in <build>/bin/sound.
    return (std::filesystem::path(exe).parent_path().parent_path() / "bin" / "sound").string();
}

const char* const EVENTS[] = {
    "use_portal", "enter_world", "portal_appears", "portal_loop", "trigger_activated",
    "player_hit", "start_combat", "end_combat", "spell_appears", "spell_loop",
    "spell_discharge", "pick_up_spell", "res_appears", "res_loop", "res_discharge",
    "pick_up_res", "gatherer_summon", "gatherer_death", "generic_cast", "generic_missile",
    "fireball_cast", "fireball_missile", "fireball_hit", "fireball_hit_water", "meteor_cast",
    "meteor_missile", "meteor_hit", "lightning_cast", "thstorm_cast", "thstorm_missile",
    "thstorm_lightning", "burn_loop", "tree_regrows", "land_moving", "mana_idle",
    "claim_mana", "wyvern_spawn", "wyvern_idle", "wyvern_attack", "wyvern_hit",
    "caterpillar_spawn", "caterpillar_idle", "caterpillar_attack", "caterpillar_hit", "bird_idle",
    "bird_hit", "volcano_explosion", "volcano_eruption", "main_menu", "universe_map",
};
const char* const LOOPS[] = {"portal_loop", "spell_loop", "res_loop", "generic_missile",
                             "fireball_missile", "meteor_missile", "thstorm_missile",
                             "burn_loop", "land_moving", "mana_idle"};
const char* const MUSIC[] = {"music_dawn", "music_drift", "music_embers"};

class SoundContent : public LoopbackTest {
protected:
    void SetUp() override {
        dir = sound_dir();
        if (!std::filesystem::exists(dir + "/land_moving.wav"))
            GTEST_SKIP() << "no generated sounds in " << dir;
        LoopbackTest::SetUp();
    }
    std::string dir;
};

TEST_F(SoundContent, EveryEventHasAnAudibleSound) {
    for (const char* name : EVENTS) {
        std::string path = dir + "/" + name + ".wav";
        unsigned smp = load_sound_sample(path.c_str(), 1, SOUND_SAMPLE_3D, 1, 0, 0);
        ASSERT_NE(smp, 0u) << path;
        unsigned ch = get_sound_sample_channel(smp, false);
        set_sound_3d_pos(ch, SoundVec{0, 0, 1, 0});
        ASSERT_TRUE(play_sound(ch, true));
        std::vector<Level> lv;
        for (int i = 0; i < 100 && is_sound_playing(ch); ++i)
            render_steps(1, &lv);
        float loudest = 0;
        for (const Level& l : lv)
            loudest = std::max(loudest, l.both());
        EXPECT_GT(loudest, 0.02f) << name;
        EXPECT_LT(loudest, 0.9f) << name;
        free_sound_sample(smp);
    }
}

// A seamless loop: the step from its last sample to its first is no bigger
// than the steps inside it.
TEST_F(SoundContent, LoopsHaveNoSeam) {
    for (const char* name : LOOPS) {
        std::string path = dir + "/" + name + ".wav";
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr) << path;
        std::vector<float> x(size_t(info.frames));
        sf_readf_float(sf, x.data(), info.frames);
        sf_close(sf);
        ASSERT_EQ(info.channels, 1);
        float max_step = 0;
        for (size_t i = 1; i < x.size(); ++i)
            max_step = std::max(max_step, std::fabs(x[i] - x[i - 1]));
        float seam = std::fabs(x.front() - x.back());
        EXPECT_LE(seam, max_step) << name;
        EXPECT_GE(double(info.frames) / info.samplerate, 1.5) << name;
    }
}

std::vector<float> read_mono(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(sf, nullptr) << path;
    if (!sf)
        return {};
    EXPECT_EQ(info.channels, 1) << path;
    std::vector<float> x(size_t(info.frames));
    sf_readf_float(sf, x.data(), info.frames);
    sf_close(sf);
    return x;
}

// No effect carries a DC offset (brown noise used to wander far below the
// audible range and leave one in every rumble).
TEST_F(SoundContent, EffectsHaveNoDcOffset) {
    for (const char* name : EVENTS) {
        std::vector<float> x = read_mono(dir + "/" + name + ".wav");
        ASSERT_FALSE(x.empty()) << name;
        double sum = 0;
        for (float v : x)
            sum += v;
        EXPECT_LT(std::fabs(sum / double(x.size())), 0.002) << name;
    }
}

// Bells ring out: their level falls smoothly to near silence, never by a
// cut (a bell stopped while still loud drops by 15 dB or more at once).
TEST_F(SoundContent, BellsDecayWithoutBeingCutOff) {
    for (const char* name : {"enter_world", "trigger_activated", "pick_up_spell", "res_appears",
                             "end_combat"}) {
        std::vector<float> x = read_mono(dir + "/" + name + ".wav");
        ASSERT_GT(x.size(), size_t(STEP_FRAMES * 4)) << name;
        std::vector<double> level;
        for (size_t at = 0; at + STEP_FRAMES <= x.size(); at += STEP_FRAMES) {
            double sum = 0;
            for (size_t i = at; i < at + STEP_FRAMES; ++i)
                sum += double(x[i]) * x[i];
            level.push_back(std::sqrt(sum / STEP_FRAMES));
        }
        double top = *std::max_element(level.begin(), level.end());
        double worst_drop_db = 0;
        for (size_t i = 1; i < level.size(); ++i)
            if (level[i - 1] > top * 0.01) // above -40 dB
                worst_drop_db = std::max(worst_drop_db, 20 * std::log10(level[i - 1] / std::max(level[i], 1e-9)));
        EXPECT_LT(worst_drop_db, 6.0) << name;
        EXPECT_LT(level.back(), top * 1e-3) << name; // -60 dB at the end
    }
}

TEST_F(SoundContent, MusicStreamsPlayAndChain) {
    for (const char* name : MUSIC) {
        std::string path = dir + "/" + name + ".ogg";
        unsigned s = load_sound_stream(path.c_str(), -1, SOUND_STREAM_CHAIN, 0, 0);
        ASSERT_NE(s, 0u) << path;
        play_sound(s, true);
        std::vector<Level> lv;
        render_steps(100, &lv); // five seconds, past the fade-in
        EXPECT_GT(lv.back().both(), 0.02f) << name;
        // Near the end: the stream ends and asks for the next piece.
        set_relative_sound_pos(s, 0.99f);
        render_steps(40);
        EXPECT_EQ(sound_stream_to_chain, s) << name;
        EXPECT_FALSE(is_sound_playing(s));
        sound_stream_to_chain = 0;
        free_sound_stream(s);
    }
}

} // namespace
