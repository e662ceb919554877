// Switching game modes: who is told about the switch, and with which mode.
#include "core/app_globals.h"
#include "core/game_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> events;

class NamedMode : public GameMode {
public:
    explicit NamedMode(const char* n) : name(n) {}
    void enter(GameMode* previous) override { events.push_back(name + " enter " + name_of(previous)); }
    void leave(GameMode* next) override { events.push_back(name + " leave " + name_of(next)); }
    void update(float) override {}
    void render3d(float) override {}
    void render2d(float) override {}
    static std::string name_of(GameMode* m) { return m ? static_cast<NamedMode*>(m)->name : "null"; }
    std::string name;
};

TEST(GameModeSwitch, LeaveOldThenEnterNewWithEachOther)
{
    NamedMode a("a"), b("b");
    events.clear();
    set_game_mode(&a);
    set_game_mode(&b);
    EXPECT_EQ(cur_game_mode, &b);
    set_game_mode(nullptr);
    EXPECT_EQ(cur_game_mode, nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"a enter null", "a leave b", "b enter a", "b leave null"}));
}

TEST(GameModeSwitch, SwitchingToTheActiveModeTellsNoOne)
{
    NamedMode a("a");
    set_game_mode(&a);
    events.clear();
    set_game_mode(&a);
    EXPECT_TRUE(events.empty());
    set_game_mode(nullptr);
}

} // namespace
