// The world-data block: exact size and layout, a round trip through memory
// and through a real file, and all-or-nothing loading of cut or empty input.
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/stream.h"
#include "world/hm_update.h"
#include "world/hmGen.h"
#include "world/world_data.h"
#include "world_test_util.h"

using namespace HeightmapData;

namespace {

// A world with something different in every grid and field.
void make_busy_world() {
  addSimplexNoise(0, 30, 4, 4, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    target_hmap[i] = hmap[i] + (float)(i % 7) * 0.25f;
    surface[i].color = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    surface[i].top_color = (uint32_t)i * 40503u;
    surface[i].setTypeWord((uint32_t)i * 2246822519u);
    Water& w = waterCells()[i];
    w.depth = (float)((i % 11) - 5) * 0.1f;
    w.flow_x = (float)(i % 13) * 0.01f;
    w.flow_z = -(float)(i % 17) * 0.01f;
    w.foam = (float)(i % 5) * 0.2f;
  }
}

uint64_t all_grids_hash() {
  uint64_t h = hash_bytes(hmap, HMAP_CELLS * sizeof(float));
  h = hash_bytes(target_hmap, HMAP_CELLS * sizeof(float), h);
  h = hash_bytes(surface, HMAP_CELLS * sizeof(Surface), h);
  return hash_bytes(waterCells(), HMAP_CELLS * sizeof(Water), h);
}

template <class T>
T read_at(const MemoryOutputStream& out, int offset) {
  T v;
  memcpy(&v, out.data() + offset, sizeof v);
  return v;
}

struct TempFile {
  std::string path;
  TempFile() {
    char name[] = "/tmp/rh_world_data_XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
  }
  ~TempFile() { unlink(path.c_str()); }
};

} // namespace

TEST_F(WorldTest, WorldDataIsTheRawImageOfFourGrids) {
  make_busy_world();
  MemoryOutputStream out;
  saveWorldData(out);
  ASSERT_EQ(out.size(), 2359296);
  EXPECT_EQ(read_at<float>(out, 0), hmap[0]);
  EXPECT_EQ(read_at<float>(out, 4 * 65535), hmap[65535]);
  EXPECT_EQ(read_at<float>(out, 262144 + 4 * 7), target_hmap[7]);
  EXPECT_EQ(read_at<uint32_t>(out, 524288 + 12 * 9), surface[9].color);
  EXPECT_EQ(read_at<uint32_t>(out, 524288 + 12 * 9 + 4), surface[9].top_color);
  EXPECT_EQ(read_at<uint32_t>(out, 524288 + 12 * 9 + 8), surface[9].typeWord());
  EXPECT_EQ(read_at<float>(out, 1310720 + 16 * 3), waterCells()[3].depth);
  EXPECT_EQ(read_at<float>(out, 1310720 + 16 * 3 + 4), waterCells()[3].flow_x);
  EXPECT_EQ(read_at<float>(out, 1310720 + 16 * 3 + 12), waterCells()[3].foam);
}

TEST_F(WorldTest, WorldDataRoundTripFillsBothWaterBuffers) {
  make_busy_world();
  uint64_t saved = all_grids_hash();
  MemoryOutputStream out;
  saveWorldData(out);

  reset();
  memset(tmpwCells(), 0x7f, HMAP_CELLS * sizeof(Water));
  land_sound[2].acc[3] = 5.0f;
  land_sound[2].channel = 0; // no sound layer: nothing to fade
  MemoryInputStream in(out.data(), out.size());
  loadWorldData(in);
  EXPECT_EQ(in.tell(), 2359296);
  EXPECT_EQ(all_grids_hash(), saved);
  EXPECT_EQ(memcmp(tmpwCells(), waterCells(), HMAP_CELLS * sizeof(Water)), 0);
  EXPECT_EQ(land_sound[2].acc[3], 0.0f);
}

TEST_F(WorldTest, WorldDataRoundTripThroughAFile) {
  make_busy_world();
  uint64_t saved = all_grids_hash();
  TempFile file;
  {
    FileOutputStream out(file.path.c_str());
    ASSERT_TRUE(out.isOpen());
    saveWorldData(out);
    ASSERT_TRUE(out.close());
  }
  reset();
  FileInputStream in(file.path.c_str());
  ASSERT_TRUE(in.isOpen());
  loadWorldData(in);
  EXPECT_EQ(all_grids_hash(), saved);
}

TEST_F(WorldTest, CutWorldDataFailsCleanlyAndKeepsTheWorld) {
  make_busy_world();
  MemoryOutputStream out;
  saveWorldData(out);

  // A different world is current when the cut block arrives.
  reset();
  addSimplexNoise(0, 5, 8, 2, 0.5f);
  uint64_t current = all_grids_hash();
  for (int size : {0, 1000, 262144, 2359295}) {
    MemoryInputStream in(out.data(), size);
    EXPECT_THROW(loadWorldData(in), StreamIOException) << "size " << size;
    EXPECT_EQ(all_grids_hash(), current) << "size " << size;
  }

  // A cut file on disk: the same, then the whole block loads fine.
  TempFile file;
  {
    FileOutputStream f(file.path.c_str());
    f.write(out.data(), 1310720 + 100);
    ASSERT_TRUE(f.close());
  }
  FileInputStream cut(file.path.c_str());
  try {
    loadWorldData(cut);
    ADD_FAILURE() << "a cut file must not load";
  } catch (const StreamIOException& e) {
    EXPECT_STREQ(e.message, "error reading file");
  }
  EXPECT_EQ(all_grids_hash(), current);

  MemoryInputStream whole(out.data(), out.size());
  loadWorldData(whole);
  MemoryOutputStream again;
  saveWorldData(again);
  EXPECT_EQ(memcmp(again.data(), out.data(), out.size()), 0);
}

TEST_F(WorldTest, LoadingFadesTheLandSounds) {
  static int fades;
  static int fade_ms;
  fades = 0;
  land_sound_hooks.fade_out_and_stop = [](unsigned, int ms) {
    fades++;
    fade_ms = ms;
    return true;
  };
  land_sound[1].channel = 7;
  land_sound[6].channel = 9;
  MemoryOutputStream out;
  saveWorldData(out);
  MemoryInputStream in(out.data(), out.size());
  loadWorldData(in);
  land_sound_hooks = LandSoundHooks{};
  EXPECT_EQ(fades, 2);
  EXPECT_EQ(fade_ms, 10);
  for (const LandSoundGroup& g : land_sound) EXPECT_EQ(g.channel, 0u);
}
