// The world-data block: the raw little-endian image of the four persistent
// grids, with no header, count or checksum, embedded in every world file.
//
//   offset 0          262,144 bytes  hmap         65,536 float32 by cell index
//   offset 262,144    262,144 bytes  target_hmap  65,536 float32
//   offset 524,288    786,432 bytes  surface      65,536 x (color, top_color, type word) u32
//   offset 1,310,720  1,048,576 bytes water       65,536 x (depth, flow_x, flow_z, foam) float32
//
// Loading is all or nothing: a stream that ends early or fails throws its
// StreamIOException and leaves the grids as they were. A reader that has more
// to verify after the block (a world file) stages it: readWorldData, then
// swapWorldData to put it in place, and swapWorldData again to undo that.
#pragma once

class InputStream;
class OutputStream;

constexpr int WORLD_DATA_SIZE = 2359296;

namespace HeightmapData {

// Writes the block (four writes, in the order above).
void saveWorldData(OutputStream& out);
// Fades out the land sounds (10 ms) and clears the eight sound groups, reads
// the block, then makes tmpw a copy of water.
void loadWorldData(InputStream& in);
// Reads the block into the staging image; no grid changes.
void readWorldData(InputStream& in);
// Exchanges the staging image with the grids (tmpw becomes a copy of water):
// after readWorldData the read world is in place and the previous one staged,
// so a second call restores it exactly. No allocation.
void swapWorldData();

} // namespace HeightmapData
