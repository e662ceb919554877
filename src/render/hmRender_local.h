// Private state of the terrain renderer shared by its files.
#pragma once
#include "render/hmRender.h"

namespace HeightmapRenderer {

struct CpuState {
  FluidSlots* levels = nullptr; // per cell, two slots
  int new_slot = 0;
  float* curh = nullptr;        // rendered heights
  float* blend_water = nullptr; // per cell, this frame
  float* blend_lava = nullptr;
  FlowPair* flow[2] = {nullptr, nullptr};
  int flow_cur = 0;
  int phase = 0;      // 0..39, the flow-coordinate reset cycle
  bool terrain_changed = false;
  float cam_x = 0, cam_z = 0; // camera of the last frame
};
extern CpuState cpu;

void bind_cpu_grids(CpuState& s);
void update_fluid_levels_cpu(CpuState& s, float dt);
void reset_fluid_levels_cpu(CpuState& s);
void init_flow_pairs(CpuState& s);
void reset_flow_pairs(CpuState& s, int which);
// Window quad (col, row) is drawn by the far grid: inside the radius-130
// circle and outside the central 64 x 64 block.
bool quad_in_far_grid(int col, int row);

} // namespace HeightmapRenderer
