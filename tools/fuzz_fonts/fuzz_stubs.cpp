// The services the description loaders reach beyond their file, for the
// fuzz targets only: paths resolve inside the target's own folder, every
// atlas "exists" (so the end of a load is reached) and batch states are
// not made (no device).
#include <cstdio>

#include "core/platform.h"
#include "render/distFont.h"
#include "render/texture.h"

char app_path[PATH_MAX];

PathString make_full_path(const char* name) {
  PathString p;
  snprintf(p.str, sizeof p.str, "%s%s", app_path, name);
  return p;
}

static Texture atlas;
Texture* get_texture(const char*, bool) { return &atlas; }
void free_texture(Texture*) {}

DistFontBatchState* dist_font_state_for(bool, DistFontBatchState* state, Texture*) { return state; }
void dist_font_free_state(DistFontBatchState*) {}
