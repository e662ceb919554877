// The exported instance renderers (initialised by the game-object module
// from the meshes of the same names) and the world-grid walk the module uses
// to place objects.
#include "core/game_rnd.h"
#include "render/instRender.h"

SimpleInstRender tree1_inst, tree1f_inst, tree1flod_inst, stone1_inst, stone_cup1_inst, menhir1_inst, menhir2_inst,
    humanoid_inst, gatherer_eye_inst, ctrplr_head_inst, ctrplr_tail_inst, wyvern_head_inst, wyvern_tail_inst;
MorphInstRender gatherer_body_inst;
SplineInstRender ctrplr_body01_inst, ctrplr_body02_inst, ctrplr_body03_inst, ctrplr_body04_inst, wyvern_body_inst;
BuildingInstRender castle_wall1_inst, castle_wall2_inst, castle_wall3_inst, castle_wall4_inst, castle_corner1_inst,
    castle_corner2_inst, castle_slant1_inst, castle_slant2_inst, castle_slant3_inst, castle_slant4_inst,
    castle_walk_inst, merlon_wall1_inst, merlon_wall2_inst, merlon_corner_inst, merlon_top_inst, roof_corner_inst,
    tower_corner_inst, tower_wall1_inst, tower_wall2_inst;

#define RH_INST(name) {#name, &name##_inst}
const NamedInstRender exported_inst_renderers[38] = {
    RH_INST(tree1),          RH_INST(tree1f),         RH_INST(tree1flod),      RH_INST(stone1),
    RH_INST(stone_cup1),     RH_INST(menhir1),        RH_INST(menhir2),        RH_INST(humanoid),
    RH_INST(gatherer_eye),   RH_INST(ctrplr_head),    RH_INST(ctrplr_tail),    RH_INST(wyvern_head),
    RH_INST(wyvern_tail),    RH_INST(gatherer_body),  RH_INST(ctrplr_body01),  RH_INST(ctrplr_body02),
    RH_INST(ctrplr_body03),  RH_INST(ctrplr_body04),  RH_INST(wyvern_body),    RH_INST(castle_wall1),
    RH_INST(castle_wall2),   RH_INST(castle_wall3),   RH_INST(castle_wall4),   RH_INST(castle_corner1),
    RH_INST(castle_corner2), RH_INST(castle_slant1),  RH_INST(castle_slant2),  RH_INST(castle_slant3),
    RH_INST(castle_slant4),  RH_INST(castle_walk),    RH_INST(merlon_wall1),   RH_INST(merlon_wall2),
    RH_INST(merlon_corner),  RH_INST(merlon_top),     RH_INST(roof_corner),    RH_INST(tower_corner),
    RH_INST(tower_wall1),    RH_INST(tower_wall2)};
#undef RH_INST

void walk_map_grid(int level, IWalkMapGrid& walker) {
  if (level > 8) level = 8;
  if (level >= 0) {
    int step = 1 << level;
    for (int z = 0; z < 256; z += step)
      for (int x = 0; x < 256; x += step) walker.on_map_grid_walk((float)x, (float)z, (float)step);
    return;
  }
  // Below one cell; levels under -8 would make billions of calls, so the
  // square side stops at 1/256 cell.
  int n = 1 << (-level > 8 ? 8 : -level);
  float step = 1.0f / (float)n;
  int rows = 256 * n;
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < rows; j++) walker.on_map_grid_walk((float)j * step, (float)i * step, step);
}

void GenMapCellPoints::on_map_grid_walk(float x, float z, float size) {
  for (int i = 0; i < count; i++) {
    float r1 = game_rnd_frnd();
    float r2 = game_rnd_frnd();
    target->on_map_point(x + size * r1, z + size * r2);
  }
}
