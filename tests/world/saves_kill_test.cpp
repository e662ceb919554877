// A save killed at any moment leaves a slot that loads as the complete old
// game or the complete new one. A child process saves the other of two
// known games over the slot and is killed with SIGKILL after a random delay
// spread over the whole length of a save; the parent then loads the slot
// and checks that the info, the universe, the world grids and the world's
// script data all belong to one of the two games.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "saves_test_util.h"

using namespace saves_test;

namespace {

constexpr int SLOT = 9;
constexpr int WORLD = 0;

} // namespace

class SavesKillTest : public SavesTest {
protected:
  uint64_t hash[2] = {0, 0};

  // Game 0 or 1 in memory: universe tag, world-script counter and grids.
  void make_game(int which) {
    for (int i = 0; i < HMAP_CELLS; i++) {
      HeightmapData::hmap[i] = (float)((i * 31 + which * 17) % 101) * 0.05f;
      HeightmapData::target_hmap[i] = HeightmapData::hmap[i];
      HeightmapData::waterCells()[i].depth = ((i + which) % 7 == 0) ? 0.2f : 0.0f;
    }
    std::string code = "universe.tag = \"game" + std::to_string(which) + "\"; counter = " + std::to_string(100 + which) + ";";
    ASSERT_TRUE(run(code));
    hash[which] = grids_hash();
  }

  // Loads the slot; returns which game it holds, -1 for a mixed or broken one.
  int load_slot() {
    set_error_message(nullptr);
    if (!load_saved_game(SLOT)) return -1;
    std::string tag = evalString("universe.tag");
    if (tag != "game0" && tag != "game1") return -1;
    int which = tag[4] - '0';
    if (get_entered_world() != WORLD) return -1;
    if (!load_world(WORLD)) return -1;
    if (grids_hash() != hash[which]) return -1;
    if (evalInt("counter") != 100 + which) return -1;
    bool unsupported = true;
    if (get_saved_game_name(SLOT, unsupported).empty() || unsupported) return -1;
    return which;
  }
};

TEST_F(SavesKillTest, SaveKilledAtRandomMomentsLeavesTheOldOrTheNewGame) {
  new_game(SLOT);
  ASSERT_TRUE(set_entered_world(WORLD));
  make_game(1);
  make_game(0);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(save_game()) << get_error_message();
  int save_us = (int)std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_EQ(load_slot(), 0) << get_error_message();

  std::mt19937 rng(20261207);
  // Forking and starting the child take time as well; the delays cover it.
  std::uniform_int_distribution<int> delay(0, save_us * 3 / 2 + 2000);
  int kept_old = 0, got_new = 0;
  for (int iteration = 0; iteration < 200; iteration++) {
    int on_disk = load_slot();
    ASSERT_GE(on_disk, 0) << "iteration " << iteration << ": " << get_error_message();
    int other = 1 - on_disk;
    make_game(other);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      save_game();
      _exit(0);
    }
    usleep((useconds_t)delay(rng));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    int now = load_slot();
    ASSERT_GE(now, 0) << "iteration " << iteration << ": the slot holds neither game: " << get_error_message();
    (now == other ? got_new : kept_old)++;
  }
  printf("SAVE: kill test: %d saves completed or finished by recovery, %d kept the old game (save takes %d us)\n",
         got_new, kept_old, save_us);
  EXPECT_GT(got_new + kept_old, 0);
}
