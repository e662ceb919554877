// Start-up settings from a real settings.cfg in a fresh data folder and from
// command lines.
#include "core/app_globals.h"
#include "core/app_settings.h"
#include "core/config.h"
#include "core/priority.h"
#include "core/temp_data_home.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path.empty());
        data_home = home.path;
        // Leftovers a broken reader would keep instead of the defaults.
        app_fullscreen = false;
        app_screen_wd = 123;
        app_screen_ht = 45;
        use_ppaa = app_use_vsync = true;
        gfx_quality = 0;
    }

    void write_settings(const char* text)
    {
        fs::create_directories(fs::path(data_home) / "Runeholm");
        FILE* f = fopen((fs::path(data_home) / "Runeholm" / "settings.cfg").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fputs(text, f);
        fclose(f);
        config_reset_for_tests();
    }

    static void read(std::initializer_list<const char*> args)
    {
        std::vector<char*> argv{const_cast<char*>("runeholm")};
        for (const char* a : args)
            argv.push_back(const_cast<char*>(a));
        read_app_settings(int(argv.size()), argv.data());
    }

    TempDataHome home;
    std::string data_home;
};

TEST_F(AppSettingsTest, NothingGivenMeansDesktopFullScreenHighQuality)
{
    read({});
    EXPECT_TRUE(app_fullscreen);
    EXPECT_EQ(app_screen_wd, 0);
    EXPECT_EQ(app_screen_ht, 0);
    EXPECT_FALSE(use_ppaa);
    EXPECT_FALSE(app_use_vsync);
    EXPECT_EQ(gfx_quality, 1);
    EXPECT_TRUE(use_obj_shadows);
    EXPECT_FALSE(left_handed);
    EXPECT_EQ(land_shadow_quality, 2);
    EXPECT_EQ(shadow_resolution, 1);
    EXPECT_FALSE(blur_shadows);
    EXPECT_FALSE(invert_mouse_y);
    EXPECT_EQ(get_process_priority(), 0);
}

TEST_F(AppSettingsTest, LastSizeArgumentWinsAndUnknownOnesAreIgnored)
{
    read({"-720", "--help", "-AA", "720", "-360", "-gfx-medium"});
    EXPECT_EQ(app_screen_wd, 640);
    EXPECT_EQ(app_screen_ht, 360);
    EXPECT_FALSE(use_ppaa); // matching is case-sensitive
    EXPECT_EQ(gfx_quality, 1);

    read({"-1024"});
    EXPECT_EQ(app_screen_wd, 1280);
    EXPECT_EQ(app_screen_ht, 1024);
    read({"-720"});
    EXPECT_EQ(app_screen_wd, 1280);
    EXPECT_EQ(app_screen_ht, 720);
}

TEST_F(AppSettingsTest, SettingsKeysLandInGlobals)
{
    write_settings("// Game settings\n_CONFIG_VERSION_=1\n\n"
                   "screen_wd=1024\nscreen_ht = 768\nfullscreen=0\nantialias=1\nvsync=1  // on\n"
                   "obj_shadows=0\nleft_handed=1\nland_shadows=0\nshadow_resolution=0x2\n"
                   "blur_shadows=1\ninvert_mouse_y=1\ngfx_quality=LOW\nprocess_priority=0\n");
    read({});
    EXPECT_EQ(app_screen_wd, 1024);
    EXPECT_EQ(app_screen_ht, 768);
    EXPECT_FALSE(app_fullscreen);
    EXPECT_TRUE(use_ppaa);
    EXPECT_TRUE(app_use_vsync);
    EXPECT_FALSE(use_obj_shadows);
    EXPECT_TRUE(left_handed);
    EXPECT_EQ(land_shadow_quality, 0);
    EXPECT_EQ(shadow_resolution, 2);
    EXPECT_TRUE(blur_shadows);
    EXPECT_TRUE(invert_mouse_y);
    EXPECT_EQ(gfx_quality, 0);
}

TEST_F(AppSettingsTest, ArgumentsOverrideSettings)
{
    write_settings("antialias=1\nvsync=0\nfullscreen=0\ngfx_quality=high\nscreen_wd=800\nscreen_ht=600\n");
    read({"-noaa", "-vs", "-win", "-fullscr", "-gfx-low"});
    EXPECT_FALSE(use_ppaa);
    EXPECT_TRUE(app_use_vsync);
    EXPECT_TRUE(app_fullscreen);
    EXPECT_EQ(gfx_quality, 0);
    EXPECT_EQ(app_screen_wd, 800);
    EXPECT_EQ(app_screen_ht, 600);

    read({"-aa", "-novs", "-gfx-high", "-fullscr", "-win"});
    EXPECT_TRUE(use_ppaa);
    EXPECT_FALSE(app_use_vsync);
    EXPECT_FALSE(app_fullscreen);
    EXPECT_EQ(gfx_quality, 1);
}

TEST_F(AppSettingsTest, QualityNameIgnoresCaseAndUnknownNamesKeepDefault)
{
    write_settings("gfx_quality=lOw\n");
    read({});
    EXPECT_EQ(gfx_quality, 0);
    write_settings("gfx_quality=HIGH\n");
    read({});
    EXPECT_EQ(gfx_quality, 1);
    write_settings("gfx_quality=medium\n");
    read({});
    EXPECT_EQ(gfx_quality, 1);
    write_settings("gfx_quality=lowest\n");
    read({});
    EXPECT_EQ(gfx_quality, 1);
}

TEST_F(AppSettingsTest, BadValuesKeepDefaults)
{
    write_settings("screen_wd=wide\nfullscreen=yes\nland_shadows=\n");
    read({});
    EXPECT_EQ(app_screen_wd, 0);
    EXPECT_TRUE(app_fullscreen);
    EXPECT_EQ(land_shadow_quality, 2);
}

TEST_F(AppSettingsTest, ProcessPriorityIsStored)
{
    write_settings("process_priority=1\n");
    read({});
    EXPECT_EQ(get_process_priority(), 1);
    EXPECT_EQ(process_priority_nice(1), -5);
    EXPECT_EQ(process_priority_nice(7), -10);
    EXPECT_EQ(process_priority_nice(-3), 0);
    set_process_priority(0);
    EXPECT_EQ(get_process_priority(), 0);
}

} // namespace
