// Saving and loading the world-data block (see world_data.h). The block is
// read whole into a scratch image before any grid changes, so a truncated
// or failing stream cannot leave a half-loaded world behind.
#include "world/world_data.h"

#include <algorithm>
#include <cstring>

#include "core/stream.h"
#include "world/heightmap.h"
#include "world/hm_update.h"

using namespace HeightmapData;

namespace {

constexpr int HMAP_BYTES = HMAP_CELLS * (int)sizeof(float);
constexpr int SURFACE_BYTES = HMAP_CELLS * (int)sizeof(Surface);
constexpr int WATER_BYTES = HMAP_CELLS * (int)sizeof(Water);
static_assert(2 * HMAP_BYTES + SURFACE_BYTES + WATER_BYTES == WORLD_DATA_SIZE);

// The image being loaded (after a swap: the world it replaced); static so
// that loading never allocates.
alignas(64) unsigned char load_scratch[WORLD_DATA_SIZE];

} // namespace

void HeightmapData::saveWorldData(OutputStream& out) {
  out.write(hmap, HMAP_BYTES);
  out.write(target_hmap, HMAP_BYTES);
  out.write(surface, SURFACE_BYTES);
  out.write(waterCells(), WATER_BYTES);
}

void HeightmapData::readWorldData(InputStream& in) { in.read(load_scratch, WORLD_DATA_SIZE); }

void HeightmapData::swapWorldData() {
  unsigned char* p = load_scratch;
  auto swap_with = [&p](void* grid, int bytes) {
    unsigned char chunk[4096]; // through a small buffer: whole-block copies, no allocation
    unsigned char* g = (unsigned char*)grid;
    for (int done = 0; done < bytes; done += (int)sizeof chunk) {
      size_t n = std::min<size_t>(sizeof chunk, (size_t)(bytes - done));
      memcpy(chunk, g + done, n);
      memcpy(g + done, p + done, n);
      memcpy(p + done, chunk, n);
    }
    p += bytes;
  };
  swap_with(hmap, HMAP_BYTES);
  swap_with(target_hmap, HMAP_BYTES);
  swap_with((void*)surface, SURFACE_BYTES);
  swap_with(waterCells(), WATER_BYTES);
  memcpy(tmpwCells(), waterCells(), WATER_BYTES);
}

void HeightmapData::loadWorldData(InputStream& in) {
  readWorldData(in);
  stopSounds();
  memset(land_sound, 0, sizeof(land_sound));
  swapWorldData();
}
