// The list of file textures: sharing by path (case-insensitive), reference
// counts, and the in-place reload of changed files.
//
// Invariant: every record holds a used MANAGED slot and refcount >= 1; a
// record is removed when its count reaches 0.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/platform.h"
#include "render/texture.h"

DynArray<LoadedTexture> loaded_textures;

Texture* get_texture(const char* name, bool must_exist) {
  PathString path = make_full_path(name);
  for (LoadedTexture& r : loaded_textures)
    if (strcasecmp(r.path, path) == 0) {
      r.refcount++;
      return r.texture;
    }
  // Every load error of load_dds_texture is fatal, so an optional texture
  // whose file is absent must be caught here to come back as null.
  if (!must_exist) {
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    fclose(f);
  }
  Texture* tex = load_dds_texture(path);
  if (!tex) {
    if (must_exist) fatal("Can't load texture from '%s'", path.c_str());
    return nullptr;
  }
  LoadedTexture r{};
  r.texture = tex;
  r.refcount = 1;
  memcpy(r.path, path.c_str(), (size_t)path.length() + 1);
  r.file_time = get_file_time(path);
  loaded_textures.push(r);
  return tex;
}

void free_texture(Texture* tex) {
  if (!tex) return;
  for (int i = 0; i < loaded_textures.num; i++) {
    LoadedTexture& r = loaded_textures[i];
    if (r.texture != tex) continue;
    if (--r.refcount <= 0) {
      release_texture(tex);
      loaded_textures.remove(i, 1);
    }
    return;
  }
}

void free_all_textures() {
  for (LoadedTexture& r : loaded_textures) release_texture(r.texture);
  loaded_textures.clear();
}

// What the last round of reloads put on screen, so that the next round can
// take its own message away without clearing anyone else's.
static std::string shown_reload_error;

void reload_textures(bool) {
  bool first = true;
  for (LoadedTexture& r : loaded_textures) {
    if (r.refcount <= 0 || !r.path[0]) continue;
    int64_t t = get_file_time(r.path);
    if (t == r.file_time) continue;
    r.file_time = t;
    if (first) {
      first = false;
      if (!shown_reload_error.empty() && shown_reload_error == get_error_message()) set_error_message(nullptr);
      shown_reload_error.clear();
    }
    debug("reloading %s", r.path);
    char error[PATH_MAX + 128];
    Texture* fresh = try_load_dds_texture(r.path, error, sizeof error);
    if (!fresh) {
      // The old image stays; the next change of the file is tried again.
      debug("FAILED to reload texture: %s", error);
      char text[sizeof error + 40];
      snprintf(text, sizeof text, "FAILED to reload texture:\n%s", error);
      append_error_message(text, -1);
      shown_reload_error = get_error_message();
      continue;
    }
    // Swap the slots' contents, then free the new slot: the holders'
    // pointer now shows the new image and the old GL texture goes away.
    Texture old = *r.texture;
    *r.texture = *fresh;
    *fresh = old;
    release_texture(fresh);
  }
}
