// A fresh user-data folder for one test: XDG_DATA_HOME points at a new
// temporary folder while the object lives. The log file is closed on both
// sides so that log lines never land in another test's (or the user's) folder.
#pragma once
#include "core/config.h"
#include "core/log.h"
#include "core/temp_folders.h"

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDataHome {
    TempDir dir{"rh_app_test"}; // removed after the destructor closed the log in it

public:
    std::string path = dir.path();

    TempDataHome()
    {
        const char* old = getenv("XDG_DATA_HOME");
        had_old = old != nullptr;
        if (old)
            old_value = old;
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
    }
    TempDataHome(const TempDataHome&) = delete;
    TempDataHome& operator=(const TempDataHome&) = delete;

private:
    bool had_old = false;
    std::string old_value;
};
