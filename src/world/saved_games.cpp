// Saved-game slots: the folder layout, the "info" and "uni" files, saving,
// loading and erasing a game (see saved_games.h).
//
// A save writes every file of the game to its temporary file first and
// commits them together through the slot's journal (safe_file.h); any
// failure before the commit deletes the temporary files and leaves the slot
// as it was. Readers of a slot finish an interrupted commit first.
#include "world/saved_games.h"

#include <unistd.h>

#include "core/log.h"
#include "core/platform.h"
#include "host/gameobj_api.h"
#include "script/scriptData.h"
#include "world/safe_file.h"
#include "world/universe.h"

SavedWorldState saved_world_state;
SavedGameHooks saved_game_hooks;

namespace {

PathString slot_folder(int slot) {
  PathString r;
  r.format("%s/%d", get_saved_games_folder().str, slot);
  return r;
}

TempString<16> world_file_name(int index) {
  TempString<16> r;
  r.format("w%03d", index);
  return r;
}

HSQUIRRELVM require_vm() {
  HSQUIRRELVM v = universe_vm();
  if (!v) throw SquirrelError("no script VM for the saved game");
  return v;
}

void show(const char* format, const char* text) {
  TempString<700> msg;
  msg.format(format, text);
  set_error_message(msg);
}

void open_input(FileInputStream& in, const char* path) {
  if (!in.open(path, "rb")) throw InputStream::Exception("Can't open input file", -1);
}

void check_version(InputStream& in) {
  if (in.readUInt() != SAVED_GAME_VERSION) throw InputStream::Exception("Unsupported saved game version", in.tell());
}

// Writes one file of the slot to its temporary file.
template <class F>
void write_temp(const char* path, F&& body) {
  FileOutputStream out;
  if (!safe_file_open(out, path)) throw OutputStream::Exception("Can't create output file", -1);
  try {
    body(out);
  } catch (...) {
    safe_file_discard(out, path);
    throw;
  }
  safe_file_finish(out, path);
}

} // namespace

PathString get_saved_games_folder() { return get_appdata_folder_path("saves"); }

PathString get_saved_game_path(int slot, const char* file) {
  PathString r;
  r.format("%s/%d/%s", get_saved_games_folder().str, slot, file);
  return r;
}

void recover_saved_game(int slot) {
  if (slot >= 0) safe_file_recover_folder(slot_folder(slot));
}

TempString<260> get_saved_game_name(int slot, bool& unsupported) {
  unsupported = false;
  TempString<260> name;
  if (slot < 0) return name;
  recover_saved_game(slot);
  FileInputStream in;
  if (!in.open(get_saved_game_path(slot, "info"), "rb")) return name;
  try {
    if (in.readUInt() != SAVED_GAME_MAGIC) {
      unsupported = true;
      name = "? ? ?";
      return name;
    }
    if (in.readUInt() != SAVED_GAME_VERSION) unsupported = true;
    HSQUIRRELVM v = universe_vm();
    if (!v) return name;
    SqObject info = load_data(in, v);
    if (info.type() != OT_TABLE) return name;
    SQInteger top = sq_gettop(v);
    info.push(v);
    sq_pushstring(v, "name", -1);
    const SQChar* text = nullptr;
    SQInteger len = 0;
    if (SQ_SUCCEEDED(sq_get(v, -2)) && sq_gettype(v, -1) == OT_STRING) {
      sq_getstring(v, -1, &text);
      len = sq_getsize(v, -1);
      // A longer name (a damaged file) is cut rather than stopping the game.
      name.assign(text, len < 259 ? (int)len : 259);
    }
    sq_reseterror(v);
    sq_settop(v, top);
  } catch (const StreamIOException&) {
    name = "";
  } catch (const SquirrelError&) {
    name = "";
  }
  return name;
}

bool load_saved_game(int slot) {
  set_error_message(nullptr);
  // Both files are read and checked before the active game is touched: a
  // slot that does not load leaves the game that was active as it was.
  bool switched = false;
  try {
    if (slot < 0) throw InputStream::Exception("No slot selected for loading the game", -1);
    recover_saved_game(slot);
    HSQUIRRELVM v = require_vm();

    FileInputStream in;
    open_input(in, get_saved_game_path(slot, "info"));
    if (in.readUInt() != SAVED_GAME_MAGIC || in.readUInt() != SAVED_GAME_VERSION)
      throw InputStream::Exception("Unsupported saved game version", in.tell());
    SqObject info = load_data(in, v);

    open_input(in, get_saved_game_path(slot, "uni"));
    check_version(in);
    SqObject uni = load_data(in, v);
    in.close();
    sqbind::getSlot<SqObject>(uni, "worlds"); // what fetch_universe_data needs, or its error

    switched = true;
    cur_game_slot = -1;
    release_universe_data();
    cur_game_info = info;
    universe = uni;
    fetch_universe_data();
    if (gameobj_api.load_spells) gameobj_api.load_spells();
    cur_game_slot = slot;
    debug("SAVE: loaded game from slot %d", slot);
    return true;
  } catch (const StreamIOException& e) {
    show("Error loading the game:\n%s", e.message);
  } catch (const SquirrelError& e) {
    show("Error loading the game:\n%s", e.what());
  }
  if (switched) {
    // Only the module's "load_spells" can fail this late; the previous game
    // is already released, so none is left half active.
    cur_game_slot = -1;
    release_universe_data();
  } else {
    debug("SAVE: slot %d not loaded; the active game stays", slot);
  }
  return false;
}

bool save_game() {
  set_error_message(nullptr);
  int slot = cur_game_slot;
  PathString folder, info_path, uni_path, world_path;
  TempString<16> world_name;
  bool written = false;
  int entered = -1;
  try {
    if (slot < 0) throw OutputStream::Exception("No slot selected for the saved game", -1);
    folder = slot_folder(slot);
    make_folders(folder);
    recover_saved_game(slot);
    // World files are named w000 to w999; a world beyond them cannot be
    // saved, and saving the game without it would lose it.
    entered = get_entered_world();
    if (entered >= MAX_SAVED_WORLDS) {
      TempString<100> text;
      text.format("world index %d is out of range (0 to %d)", entered, MAX_SAVED_WORLDS - 1);
      throw OutputStream::Exception(text, -1);
    }
    if (gameobj_api.save_spells) gameobj_api.save_spells();

    info_path = get_saved_game_path(slot, "info");
    write_temp(info_path, [](OutputStream& out) {
      out.writeUInt(SAVED_GAME_MAGIC);
      out.writeUInt(SAVED_GAME_VERSION);
      save_data(cur_game_info, out);
    });
    uni_path = get_saved_game_path(slot, "uni");
    write_temp(uni_path, [](OutputStream& out) {
      out.writeUInt(SAVED_GAME_VERSION);
      save_data(universe, out);
    });
    written = true;
  } catch (const StreamIOException& e) {
    show("Error saving the game:\n%s", e.message);
  } catch (const SquirrelError& e) {
    show("Error saving the game:\n%s", e.what());
  }
  if (!written) {
    if (slot >= 0) {
      unlink(safe_file_temp_name(get_saved_game_path(slot, "info")));
      unlink(safe_file_temp_name(get_saved_game_path(slot, "uni")));
    }
    return false;
  }

  const char* names[3] = {"info", "uni", nullptr};
  int count = 2;
  if (entered >= 0) {
    world_name = world_file_name(entered);
    world_path = get_saved_game_path(slot, world_name);
    if (!save_world_uncommitted(world_path)) {
      unlink(safe_file_temp_name(info_path));
      unlink(safe_file_temp_name(uni_path));
      return false;
    }
    names[count++] = world_name.str;
  }
  if (!safe_file_commit(folder, names, count)) {
    show("Error saving the game:\n%s", "error writing file");
    // Uncommitted temporary files are removed; a journal that was
    // committed is finished here or by the next reader.
    recover_saved_game(slot);
    return false;
  }
  debug("SAVE: saved game to slot %d", slot);
  return true;
}

bool erase_saved_game(int slot) {
  set_error_message(nullptr);
  if (slot < 0) {
    set_error_message("No slot selected for erasing the saved game");
    return false;
  }
  PathString folder = slot_folder(slot);
  make_folders(folder);
  // The journal goes first, so that no recovery brings erased files back.
  unlink(get_saved_game_path(slot, SAFE_FILE_JOURNAL));
  safe_file_recover_folder(folder);
  unlink(get_saved_game_path(slot, "info"));
  unlink(get_saved_game_path(slot, "uni"));
  for (int i = 0; i < MAX_SAVED_WORLDS; i++) unlink(get_saved_game_path(slot, world_file_name(i)));
  safe_file_sync_folder(folder);
  return true;
}
