// Building instance meshes into the G-buffer (see mesh_common.sh).
#define MESH_BUILDING 1
#define MESH_DEFERRED 1
#include "prologue.sh"
#include "lighting.sh"
#include "gbuffer.sh"
#include "mesh_common.sh"
