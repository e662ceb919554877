// Source lists, watched files and the rebuild process of the module.
#include "host/gameobj_rebuild.h"

#include <ctype.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "core/log.h"
#include "core/platform.h"
#include "core/dynArray.h"

namespace {

char source_folder[260];
char list_name[260];
DynArray<WatchedSource> sources;

FILE* build_pipe = nullptr;
int64_t build_start_us = 0;
// Output of the build not yet ended by a newline.
char pending[1024];
int pending_len = 0;

int64_t now_us()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool is_recorded(const char* path)
{
  for (const WatchedSource& s : sources)
    if (strcmp(s.path, path) == 0) return true;
  return false;
}

// A line of a list that names an existing file in the source folder: the
// file is watched too, so that editing a source (not only a list) rebuilds.
void watch_named_file(const char* line)
{
  char name[256];
  if (sscanf(line, " %255s", name) != 1 || name[0] == '#') return;
  char path[260];
  if (snprintf(path, sizeof(path), "%s%s", source_folder, name) >= int(sizeof(path))) return;
  int64_t time = get_file_time(path);
  if (time == 0 || is_recorded(path)) return;
  WatchedSource rec{};
  memcpy(rec.path, path, sizeof(rec.path));
  rec.time = time;
  sources.push(rec);
}

void read_list(const char (&path)[260])
{
  if (is_recorded(path)) return;
  WatchedSource rec{};
  memcpy(rec.path, path, sizeof(rec.path));
  rec.time = get_file_time(path);
  sources.push(rec);
  FILE* f = fopen(path, "r");
  if (!f) {
    debug("can't read module source list '%s'", path);
    return;
  }
  char line[256];
  while (fgets(line, sizeof(line), f)) {
    if (strncmp(line, "import ", 7) != 0) {
      watch_named_file(line);
      continue;
    }
    const char* p = line + 7;
    while (*p == ' ' || *p == '\t') ++p;
    char name[256];
    int n = 0;
    while (p[n] && !strchr(" \t\r\n", p[n]) && n < 255) {
      name[n] = p[n] == '.' ? '/' : p[n];
      ++n;
    }
    name[n] = 0;
    if (n == 0) continue;
    char imported[260];
    if (snprintf(imported, sizeof(imported), "%s%s.ls", source_folder, name) >= int(sizeof(imported))) {
      debug("module source list name too long: '%s'", name);
      continue;
    }
    read_list(imported);
  }
  fclose(f);
}

bool is_word_char(char c) { return isalnum((unsigned char)c) || c == '_'; }

void handle_line(const char* line)
{
  fputs(line, stdout);
  if (!*line || line[strlen(line) - 1] != '\n') fputc('\n', stdout);
  fflush(stdout);
  if (!line_has_error_word(line)) return;
  int len = int(strlen(line));
  while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) --len;
  append_error_message(line, len);
}

// Reads what the build has written so far; true when its output has ended.
bool drain_output()
{
  int fd = fileno(build_pipe);
  for (;;) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0) return false;
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0) waiting = 1;
    char buf[4096];
    ssize_t got = read(fd, buf, waiting > 0 && waiting < int(sizeof(buf)) ? waiting : sizeof(buf));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (pending_len) {
        pending[pending_len] = 0;
        handle_line(pending);
        pending_len = 0;
      }
      return true;
    }
    for (ssize_t i = 0; i < got; ++i) {
      pending[pending_len++] = buf[i];
      // Lines longer than the line buffer are handled in pieces.
      if (buf[i] == '\n' || pending_len == int(sizeof(pending)) - 1) {
        pending[pending_len] = 0;
        handle_line(pending);
        pending_len = 0;
      }
    }
  }
}

void finish_build()
{
  int status = pclose(build_pipe);
  build_pipe = nullptr;
  int code = status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (code != 0 || has_error_message()) {
    const char* failed = "gameobj rebuild failed!!!";
    append_error_message(failed, int(strlen(failed)));
    debug("!!! failed to rebuild gameobj DLL (code %d)", code);
  } else {
    debug("=== DLL rebuild done in %d ms", int((now_us() - build_start_us) / 1000));
  }
}

bool sources_changed()
{
  for (const WatchedSource& s : sources)
    if (get_file_time(s.path) != s.time) return true;
  return false;
}

} // namespace

void set_gameobj_source(const char* folder, const char* list)
{
  clear_gameobj_sources();
  snprintf(source_folder, sizeof(source_folder), "%s", folder);
  snprintf(list_name, sizeof(list_name), "%s", list);
}

void clear_gameobj_sources() { sources.clear(); }

void read_gameobj_source_list()
{
  char path[260];
  if (snprintf(path, sizeof(path), "%s%s", source_folder, list_name) >= int(sizeof(path))) {
    debug("module source list path too long: '%s%s'", source_folder, list_name);
    return;
  }
  read_list(path);
}

int gameobj_source_count() { return sources.num; }
const WatchedSource& gameobj_source(int index) { return sources[index]; }
const char* gameobj_source_folder() { return source_folder; }

bool line_has_error_word(const char* line)
{
  for (const char* p = line; *p; ++p) {
    if (strncasecmp(p, "error", 5) != 0) continue;
    if (p > line && is_word_char(p[-1])) continue;
    const char* end = p + 5;
    if (*end == 's' || *end == 'S') {
      if (!is_word_char(end[1])) return true;
    }
    if (!is_word_char(*end)) return true;
  }
  return false;
}

bool gameobj_rebuild_running() { return build_pipe != nullptr; }

RebuildPoll poll_gameobj_rebuild()
{
  if (build_pipe) {
    if (!drain_output()) return RebuildPoll::Running;
    finish_build();
    return RebuildPoll::NotRunning;
  }
  if (!sources_changed()) return RebuildPoll::NotRunning;
  clear_gameobj_sources();
  read_gameobj_source_list();
  set_error_message(nullptr);
  debug("=== rebuilding gameobj DLL");
  build_start_us = now_us();
  // The script runs in the source folder; the game's own current folder is
  // left alone.
  char command[600];
  snprintf(command, sizeof(command), "cd '%s' && exec '%srebuild_dll.sh'", source_folder, source_folder);
  // The script finds the executable's folder here (where gameobj_new.so goes).
  setenv("RUNEHOLM_BIN_DIR", make_full_path(nullptr), 1);
  fflush(stdout);
  // The folder goes into a shell command in single quotes: one inside it
  // would end the quoting, so such a folder is not built.
  build_pipe = strchr(source_folder, '\'') ? nullptr : popen(command, "r");
  pending_len = 0;
  if (!build_pipe)
    debug("!!! Error starting DLL rebuild");
  else
    drain_output(); // an ended build is finished by the next poll
  return RebuildPoll::Running;
}

void wait_gameobj_rebuild()
{
  while (build_pipe) {
    if (drain_output()) {
      finish_build();
      return;
    }
    pollfd pfd{fileno(build_pipe), POLLIN, 0};
    poll(&pfd, 1, 100);
  }
}
