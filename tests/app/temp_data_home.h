// A fresh user-data folder for one test: XDG_DATA_HOME points at a new
// temporary folder while the object lives. The log file is closed on both
// sides so that log lines never land in another test's (or the user's) folder.
#pragma once
#include "app/config.h"
#include "app/log.h"

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDataHome {
public:
    TempDataHome()
    {
        const char* old = getenv("XDG_DATA_HOME");
        had_old = old != nullptr;
        if (old)
            old_value = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "rh_app_test_XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
        close_debug_log();
        setenv("XDG_DATA_HOME", path.c_str(), 1);
        config_reset_for_tests();
    }
    ~TempDataHome()
    {
        close_debug_log();
        config_reset_for_tests();
        if (had_old)
            setenv("XDG_DATA_HOME", old_value.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    TempDataHome(const TempDataHome&) = delete;
    TempDataHome& operator=(const TempDataHome&) = delete;

    std::string path;

private:
    bool had_old = false;
    std::string old_value;
};
