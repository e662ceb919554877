// The game-object block of a world file and each class's saved fields.
//
// Block: version (int), object count (int), then per object its class name
// (short string), serial id (int), the size of its fields in bytes (int) and
// the fields (GameObj's first, then each class's own after its base's).
// References to other objects are saved as serial ids (0: none) and resolved
// once the whole block is read. A block is read into a staging list and its
// objects are listed only when all of it was read and checked, so a bad block
// changes nothing.
//
// Versions: 1 held only an object count, always 0; 2 holds objects; 3 adds
// the player's and the spells' missiles' own fields (classes_player.h), the
// pickups' and the portal's (classes_mana.h) and the fields of the world's
// life (trees, stones, triggers, volcanoes, fires).
#include <stdarg.h>
#include <stdio.h>

#include "core/log.h"
#include "core/stream.h"
#include "gameobj_loader.h"
#include "objects.h"

constexpr int GAMEOBJ_BLOCK_VERSION = 3;

namespace {

[[noreturn]] void refuse(InputStream& in, const char* format, ...) __attribute__((format(printf, 2, 3)));
void refuse(InputStream& in, const char* format, ...)
{
  char text[400];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  throw InputStream::Exception(text, in.tell());
}

} // namespace

// ===== Each class's fields ===================================================

void GameObj::saveFields(OutputStream& out)
{
  out.writeUInt(flags & ~GAMEOBJ_RELINK_MARK);
  for (float v : pos) out.writeFloat(v);
}

void GameObj::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  flags = in.readUInt() & ~GAMEOBJ_RELINK_MARK;
  for (float& v : pos) v = in.readFloat();
}

void MissileObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  write_gameobj_ref(out, caster);
  for (float v : vel) out.writeFloat(v);
}

void MissileObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  loader.readRef(in, caster);
  for (float& v : vel) v = in.readFloat();
}

void MapArrow::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  write_gameobj_ref(out, target);
}

void MapArrow::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  loader.readRef(in, target);
}

void FluidSource::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeFloat(radius);
  out.writeFloat(rate);
  out.writeFloat(time_left);
}

void FluidSource::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  radius = in.readFloat();
  rate = in.readFloat();
  time_left = in.readFloat();
}

// ===== The block =============================================================

void save_gameobjs(OutputStream& out)
{
  int count = 0;
  for_each_gameobj([&](GameObj*) { ++count; });
  out.writeInt(GAMEOBJ_BLOCK_VERSION);
  out.writeInt(count);
  MemoryOutputStream fields;
  for_each_gameobj([&](GameObj* obj) {
    fields.bytes.clear();
    fields.position = 0;
    obj->saveFields(fields);
    out.writeString(obj->getClassName());
    out.writeInt(obj->serialId);
    out.writeInt(fields.size());
    out.write(fields.data(), fields.size());
  });
  debug("SAVE: %d game objects saved", count);
}

namespace {

void read_objects(InputStream& in, int version, int count, DynArray<GameObj*>& staged)
{
  GameObjLoader loader;
  for (int i = 0; i < count; ++i) {
    char name[256];
    in.readString(name);
    int class_id = gameobj_id_by_name(name);
    if (!class_id) refuse(in, "game-object block: unknown class \"%s\" (object %d of %d)", name, i + 1, count);
    int serial_id = in.readInt();
    int size = in.readInt();
    if (serial_id <= 0 || size < 0)
      refuse(in, "game-object block: %s with serial id %d and %d bytes of fields is corrupt", name, serial_id, size);
    int start = in.tell();
    GameObj* obj = gameobj_make(class_id);
    staged.push(obj);
    obj->serialId = serial_id;
    obj->loadFields(in, version, loader);
    if (in.tell() - start != size)
      refuse(in, "game-object block: %s #%d has %d bytes of fields, its class reads %d", name, serial_id, size,
             in.tell() - start);
  }
  for (int i = 0; i < staged.num; ++i) {
    int id = staged[i]->serialId;
    for (int j = 0; j < i; ++j)
      if (staged[j]->serialId == id) refuse(in, "game-object block: serial id %d is used twice", id);
    if (get_gameobj_by_ser_id(id)) refuse(in, "game-object block: serial id %d belongs to a live object", id);
  }
  loader.resolve(staged);
}

} // namespace

void load_gameobjs(InputStream& in)
{
  int version = in.readInt();
  if (version < 1 || version > GAMEOBJ_BLOCK_VERSION)
    refuse(in, "game-object block version %d is not one this game reads (1 to %d)", version, GAMEOBJ_BLOCK_VERSION);
  int count = in.readInt();
  if (count < 0 || (version == 1 && count != 0))
    refuse(in, "game-object block version %d with %d objects is corrupt", version, count);
  DynArray<GameObj*> staged;
  try {
    read_objects(in, version, count, staged);
  } catch (...) {
    for (GameObj* obj : staged) delete obj;
    debug("SAVE: game-object block refused; no object of it was kept");
    throw;
  }
  for (GameObj* obj : staged) gameobj_enlist(obj);
  for (GameObj* obj : staged) obj->onLoaded();
  debug("SAVE: %d game objects loaded (block version %d)", count, version);
}
