// Simple instance meshes at low quality (see mesh_common.sh).
#include "prologue.sh"
#include "lighting.sh"
#include "mesh_common.sh"
