// The developer server's "gridCheck": one pass over the world grids for values that are not
// finite (a NaN or infinity in a height or a fluid cell spreads to its neighbours step by step
// and ends in a black or vanished land), with the counts of water and lava cells so that a long
// run can tell its fluids are still there. Allocation-free; a pass over 65,536 cells.
#include <cmath>

#include "devtools/dev_commands_local.h"
#include "devtools/dev_server.h"
#include "world/heightmap.h"

namespace {

struct GridScan {
  int bad = 0;            // cells with a value that is not finite
  const char* first = ""; // grid of the first one
  int first_x = -1, first_z = -1;
  void check(bool finite, const char* grid, int i)
  {
    if (finite) return;
    if (bad++ == 0) {
      first = grid;
      first_x = i & (HMAP_SIZE - 1);
      first_z = i >> HMAP_SIZE_SHIFT;
    }
  }
};

void grid_check_cmd(const DevMessage&, DevReply& reply)
{
  using namespace HeightmapData;
  if (!hmap || !target_hmap || !water) {
    reply.fail("The world grids are not allocated");
    return;
  }
  GridScan scan;
  int water_cells = 0, lava_cells = 0;
  const Water* cells = waterCells();
  for (int i = 0; i < HMAP_CELLS; i++) {
    scan.check(std::isfinite(hmap[i]), "hmap", i);
    scan.check(std::isfinite(target_hmap[i]), "target_hmap", i);
    const Water& w = cells[i];
    scan.check(std::isfinite(w.depth) && std::isfinite(w.flow_x) && std::isfinite(w.flow_z) &&
                   std::isfinite(w.foam),
               "water", i);
    water_cells += w.depth > 0;
    lava_cells += w.depth < 0;
  }
  reply.add("nan=%d water_cells=%d lava_cells=%d", scan.bad, water_cells, lava_cells);
  if (scan.bad) reply.add(" first=%s@%d,%d", scan.first, scan.first_x, scan.first_z);
}

} // namespace

void register_grid_check_command()
{
  register_builtin_dev_command("gridCheck", grid_check_cmd);
}
