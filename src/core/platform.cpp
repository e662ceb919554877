// Platform utilities over POSIX/Linux: monotonic clock, /proc/self/exe, the
// XDG data folder, lexical path normalisation, stat, posix_spawn, dlopen and
// the pipe byte count. See platform.h for the contracts.
#include "core/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;

char app_path[PATH_MAX];

// {===== Time base

static int64_t ticks_per_sec = 1;
static double sec_per_tick = 1.0;

void set_time_base_frequency(int64_t freq) {
  ticks_per_sec = freq > 0 ? freq : 1;
  sec_per_tick = 1.0 / (double)ticks_per_sec;
}

void init_time_base() { set_time_base_frequency(1000000000); }

int64_t get_ref_time() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

int64_t time_ticks_per_sec() { return ticks_per_sec; }

// value * mul / div truncated toward zero like the plain expression, without
// overflowing the intermediate product.
static int64_t mul_div(int64_t value, int64_t mul, int64_t div) {
  int64_t q = value / div, r = value % div;
  return q * mul + r * mul / div;
}

int64_t msec_to_ticks(int ms) { return mul_div(ms, ticks_per_sec, 1000); }
int get_time_msec(int64_t ticks) { return (int)mul_div(ticks, 1000, ticks_per_sec); }
int get_time_usec(int64_t ticks) { return (int)mul_div(ticks, 1000000, ticks_per_sec); }
float get_time_sec(int64_t ticks) { return (float)((double)ticks * sec_per_tick); }

// {===== Folders and paths

bool get_exe_filename(char* buffer, unsigned size) {
  if (!buffer || size == 0) return false;
  ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n < 0 || (size_t)n >= size) {
    buffer[0] = 0;
    return false;
  }
  buffer[n] = 0;
  return true;
}

bool get_exe_path(char* buffer, unsigned size) {
  if (!get_exe_filename(buffer, size)) return false;
  char* cut = buffer;
  for (char* p = buffer; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
  *cut = 0;
  return true;
}

// Joins `a` and `b` with a single "/" between them when `a` lacks one.
static PathString join_dir(const char* a, const char* b) {
  PathString r(a);
  int l = r.length();
  if (l > 0 && r.str[l - 1] != '/') r.append("/");
  r.append(b);
  return r;
}

PathString get_appdata_path() {
  // The XDG rules ignore relative values of XDG_DATA_HOME.
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return join_dir(xdg, "");
  const char* home = getenv("HOME");
  if (home && home[0]) return join_dir(home, ".local/share/");
  return PathString(app_path);
}

PathString get_appdata_path(const char* name) {
  PathString r = get_appdata_path();
  r.append(name);
  return r;
}

PathString get_appdata_folder_path(const char* name) {
  PathString r = get_appdata_path();
  r.append("Runeholm/");
  r.append(name);
  return r;
}

// Resolves "." and ".." and collapses repeated separators of an absolute
// path in place; ".." at the root stays at the root. A trailing "/" is kept.
static void normalise_path(char* path) {
  size_t len = strlen(path);
  bool trailing = len > 1 && path[len - 1] == '/';
  char* out = path; // write cursor; path[0] is '/'
  const char* in = path;
  size_t o = 0;
  while (*in) {
    while (*in == '/') in++;
    if (!*in) break;
    const char* seg = in;
    while (*in && *in != '/') in++;
    size_t n = (size_t)(in - seg);
    if (n == 1 && seg[0] == '.') continue;
    if (n == 2 && seg[0] == '.' && seg[1] == '.') {
      while (o > 0 && out[o - 1] != '/') o--; // drop the last component
      if (o > 0) o--;                         // and its separator
      continue;
    }
    out[o++] = '/';
    memmove(out + o, seg, n);
    o += n;
  }
  if (o == 0 || trailing) out[o++] = '/';
  out[o] = 0;
}

PathString make_full_path(const char* name) {
  if (!name) return PathString(app_path);
  // Content written for the original platform may use "\"; here it is "/".
  char built[PATH_MAX * 2];
  const char* base = name[0] == '/' || name[0] == '\\' ? "" : app_path;
  int l = snprintf(built, sizeof built, "%s%s", base, name);
  if (l >= (int)sizeof built) return PathString(built, l); // fails "l<BS"
  for (char* p = built; *p; p++)
    if (*p == '\\') *p = '/';
  if (built[0] != '/') {
    // No app_path: relative to the current folder, as a full-path function would do.
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) {
      char tmp[sizeof built];
      int n = snprintf(tmp, sizeof tmp, "%s/%s", cwd, built);
      if (n >= (int)sizeof tmp) return PathString(tmp, n); // fails "l<BS"
      memcpy(built, tmp, (size_t)n + 1);
    }
  }
  if (built[0] == '/') normalise_path(built);
  return PathString(built);
}

int64_t get_file_time(const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return 0;
  return (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
}

bool make_folders(const char* path) {
  if (!path || !path[0]) return false;
  char buf[PATH_MAX];
  if (snprintf(buf, sizeof buf, "%s", path) >= (int)sizeof buf) return false;
  for (char* p = buf + 1; *p; p++) {
    if (*p != '/') continue;
    *p = 0;
    mkdir(buf, 0777);
    *p = '/';
  }
  if (mkdir(buf, 0777) != 0 && errno != EEXIST) return false;
  struct stat st;
  return stat(buf, &st) == 0 && S_ISDIR(st.st_mode);
}

// {===== Shell, libraries and pipes

void shell_execute(const char* operation, const char* file, const char* parameters, const char* directory) {
  if (!file || !file[0]) return;
  // A short-lived shell starts xdg-open in the background and exits at once,
  // so the handler is never waited for and leaves no zombie behind.
  const char* script = "cd \"${2:-.}\" 2>/dev/null; xdg-open \"$1\" >/dev/null 2>&1 &";
  const char* argv[] = {"sh", "-c", script, "sh", file, directory ? directory : "", nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, (char* const*)argv, environ) == 0) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void* load_library(const char* path) { return path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr; }

void* get_library_function(void* library, const char* name) {
  return library && name ? dlsym(library, name) : nullptr;
}

bool free_library(void* library) { return library && dlclose(library) == 0; }

int get_pipe_bytes_waiting(FILE* stream) {
  if (!stream) return 0;
#ifdef __GLIBC__
  long buffered = (long)(stream->_IO_read_end - stream->_IO_read_ptr);
  if (buffered > 0) return buffered > INT_MAX ? INT_MAX : (int)buffered;
#endif
  int fd = fileno(stream);
  if (fd < 0) return 1;
  pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return 1;
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0) return 1;
  if (n > 0) return n;
  // Nothing pending: a closed writer shows as hang-up; the read then sees the end.
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return 1;
  return 0;
}

// {===== GPU load

bool open_gpu_load_query() { return false; }
int read_gpu_load() { return -1; }
void close_gpu_load_query() {}
