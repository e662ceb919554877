// Morph instance meshes at low quality (see mesh_common.sh).
#define MESH_MORPH 1
#include "prologue.sh"
#include "lighting.sh"
#include "mesh_common.sh"
