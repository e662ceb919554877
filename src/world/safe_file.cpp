// Temporary files, sync and rename, and the commit journal (see safe_file.h).
//
// Journal format (text): the line "RHCOMMIT 1", one file name per line, and
// the line "end". A journal is only ever made visible by a rename after it
// was synced, so a journal without its "end" line is never seen; one that
// is (a damaged disk) is deleted without touching anything.
#include "world/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/log.h"

namespace {

const char* const journal_header = "RHCOMMIT 1";
const char* const temp_suffix = ".tmp";

bool file_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// A name the journal may hold: a plain file name in the folder.
bool valid_name(const char* name) {
  size_t n = strlen(name);
  if (n == 0 || n > 64 || !strcmp(name, ".") || !strcmp(name, "..")) return false;
  if (strchr(name, '/')) return false;
  return !(n >= 4 && !strcmp(name + n - 4, temp_suffix));
}

PathString join(const char* folder, const char* name) {
  PathString r;
  r.format("%s/%s", folder, name);
  return r;
}

// Renames every listed "<name>.tmp" that still exists over its file.
bool apply_renames(const char* folder, const char* const* names, int count) {
  bool ok = true;
  for (int i = 0; i < count; i++) {
    PathString path = join(folder, names[i]);
    PathString tmp = safe_file_temp_name(path);
    if (!file_exists(tmp)) continue;
    if (rename(tmp, path) != 0) {
      debug("SAVE: can't rename %s to %s", tmp.str, path.str);
      ok = false;
    }
  }
  safe_file_sync_folder(folder);
  return ok;
}

} // namespace

PathString safe_file_temp_name(const char* path) {
  PathString r(path);
  r.append(temp_suffix);
  return r;
}

bool safe_file_open(FileOutputStream& out, const char* path) { return out.open(safe_file_temp_name(path), "wb"); }

void safe_file_finish(FileOutputStream& out, const char* path) {
  try {
    out.flush();
    if (fsync(fileno(out.file)) != 0) throw OutputStream::Exception("error writing file", -1);
    if (!out.close()) throw OutputStream::Exception("error writing file", -1);
  } catch (...) {
    safe_file_discard(out, path);
    throw;
  }
}

bool safe_file_replace(const char* path) {
  PathString tmp = safe_file_temp_name(path);
  if (rename(tmp, path) != 0) {
    debug("SAVE: can't rename %s to %s", tmp.str, path);
    return false;
  }
  PathString folder(path);
  char* slash = strrchr(folder.str, '/');
  if (slash) {
    *slash = 0;
    safe_file_sync_folder(folder.str[0] ? folder.str : "/");
  }
  return true;
}

void safe_file_discard(FileOutputStream& out, const char* path) {
  out.close();
  unlink(safe_file_temp_name(path));
}

void safe_file_sync_folder(const char* folder) {
  int fd = open(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool safe_file_commit(const char* folder, const char* const* names, int count) {
  PathString journal = join(folder, SAFE_FILE_JOURNAL);
  FileOutputStream out;
  if (!safe_file_open(out, journal)) return false;
  try {
    char line[80];
    snprintf(line, sizeof line, "%s\n", journal_header);
    out.write(line, (int)strlen(line));
    for (int i = 0; i < count; i++) {
      ASSERT(valid_name(names[i]));
      snprintf(line, sizeof line, "%s\n", names[i]);
      out.write(line, (int)strlen(line));
    }
    out.write("end\n", 4);
    safe_file_finish(out, journal);
  } catch (const StreamIOException& e) {
    safe_file_discard(out, journal);
    debug("SAVE: can't write %s: %s", journal.str, e.message);
    return false;
  }
  if (!safe_file_replace(journal)) return false;
  // From here the new set is the truth; a failure below is finished by recovery.
  if (!apply_renames(folder, names, count)) return false;
  unlink(journal);
  safe_file_sync_folder(folder);
  return true;
}

bool safe_file_recover_folder(const char* folder) {
  PathString journal = join(folder, SAFE_FILE_JOURNAL);
  bool finished = false;
  FILE* f = fopen(journal, "rb");
  if (f) {
    char names[64][72];
    int count = 0;
    bool valid = false;
    char line[128];
    if (fgets(line, sizeof line, f) && !strncmp(line, journal_header, strlen(journal_header))) {
      while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (!strcmp(line, "end")) {
          valid = true;
          break;
        }
        if (count == 64 || !valid_name(line)) break; // valid names are at most 64 characters
        memcpy(names[count++], line, strlen(line) + 1);
      }
    }
    fclose(f);
    if (valid) {
      const char* list[64];
      for (int i = 0; i < count; i++) list[i] = names[i];
      debug("SAVE: finishing the interrupted save in %s", folder);
      finished = apply_renames(folder, list, count);
      if (!finished) return false; // keep the journal for the next attempt
    } else {
      debug("SAVE: ignoring a damaged journal in %s", folder);
    }
    unlink(journal);
    safe_file_sync_folder(folder);
  }
  // Temporary files that no journal names are the remains of a save that
  // never committed.
  if (DIR* d = opendir(folder)) {
    while (dirent* e = readdir(d)) {
      size_t n = strlen(e->d_name);
      if (n > 4 && !strcmp(e->d_name + n - 4, temp_suffix)) unlink(join(folder, e->d_name));
    }
    closedir(d);
  }
  return finished;
}
