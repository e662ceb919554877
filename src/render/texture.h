// File textures: DDS files shared by name with reference counts and reloaded
// in place when their file changes, and the small TGA reader of the bitmap
// font.
//
// A `Texture*` handed out by get_texture stays valid for its holders across
// reloads: the new image is moved into the existing pool slot.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/device.h"

struct LoadedTexture {
  Texture* texture; // MANAGED slot of the device pool
  int refcount;     // outstanding get_texture calls
  char path[PATH_MAX]; // full path (make_full_path)
  int64_t file_time; // at load or last reload
};

// In request order.
extern DynArray<LoadedTexture> loaded_textures;

// The texture of `name` (relative to the data folder), loaded on the first
// request. Paths compare without regard to case. A file that yields no
// texture is fatal when must_exist ("Can't load texture from '%s'"), else null.
Texture* get_texture(const char* name, bool must_exist);
void free_texture(Texture* tex); // null is ignored
void free_all_textures();
// Reloads every texture whose file time changed (the argument is unused). A
// file that fails to load (half written, deleted, damaged) keeps the old
// image; the reason is logged and shown on screen, and the next change of the
// file is tried again.
void reload_textures(bool force);
// Loads a DDS file into a new MANAGED slot without registering it. Every
// load error is fatal with a message naming the file.
Texture* load_dds_texture(const char* name);
// The same without stopping: null, with that message in `error`.
Texture* try_load_dds_texture(const char* name, char* error, int error_size);

// An uncompressed 32-bit TGA (type 2) into `pixels` (B, G, R, A bytes per
// pixel, rows in file order). False when the file can't be opened; format
// errors throw InputStream::Exception ("unsupported TGA format",
// "zero-sized TGA image").
bool load_tga(const char* name, int& width, int& height, DynArray<uint32_t>& pixels);

// {===== DDS header reading (exposed for the tests)

struct DdsInfo {
  int width, height, levels;
  int format;      // D3DFMT_DXT1/3/5, A8R8G8B8, X8R8G8B8 or L8
  int block_bytes; // 8 or 16 for compressed formats, else 0
  int level0_size; // bytes of level 0 as the file gives or implies them
  int data_offset; // first byte of level 0 (4 + 124)
};
// False when the file is "not a DDS" by the accepted formats.
bool dds_read_header(const uint8_t* data, int size, DdsInfo& out);
