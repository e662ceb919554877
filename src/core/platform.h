// Platform utilities: the only places that talk to the operating system for
// time, folders and paths, file times, the shell, shared libraries, pipes and
// the GPU-load readout. Every call reports failure by its result (false, 0,
// an empty path or the documented fallback) and never stops the program,
// except a path longer than the platform allows (PATH_MAX; the assertion "l<BS").
#pragma once
#include <cstdint>
#include <cstdio>

#include "core/tempData.h"

// {===== Time base
// Ticks are CLOCK_MONOTONIC nanoseconds. Until init_time_base() runs the
// frequency reads as 1 tick per second.

void init_time_base(); // queries the frequency once at start-up
int64_t get_ref_time();
int64_t time_ticks_per_sec();
int64_t msec_to_ticks(int ms);     // ms * frequency / 1000, truncating
int get_time_msec(int64_t ticks);  // ticks * 1000 / frequency
int get_time_usec(int64_t ticks);  // ticks * 1000000 / frequency
float get_time_sec(int64_t ticks); // ticks * (1 / frequency), in double, rounded to float
// Replaces the frequency (tests of the conversions; 0 or less restores 1).
void set_time_base_frequency(int64_t ticks_per_sec);

// {===== Folders and paths
// Paths use "/" as the separator.

extern char app_path[PATH_MAX]; // folder of the executable with its trailing "/", or empty

// The executable's full file name; false when unreadable or too long for `size`.
bool get_exe_filename(char* buffer, unsigned size);
// The same, cut after the last "/", "\" or ":" (kept); no separator gives "".
bool get_exe_path(char* buffer, unsigned size);
// The user's data folder with a trailing "/": $XDG_DATA_HOME, else
// $HOME/.local/share, else app_path.
PathString get_appdata_path();
PathString get_appdata_path(const char* name);
// get_appdata_path() + "Runeholm/" + name: settings, logs and saves live here.
PathString get_appdata_folder_path(const char* name);
// Null gives app_path; a relative name is joined to app_path; "." and ".."
// are resolved and repeated separators collapsed without touching the disk.
PathString make_full_path(const char* name);
// Modification time in nanoseconds since the epoch, 0 when the file does not
// exist or cannot be examined. Only ever compared, never shown.
int64_t get_file_time(const char* path);
// Creates a folder and its missing parents (an existing folder is fine).
bool make_folders(const char* path);

// {===== Shell, libraries and pipes

// Opens a document, folder or link with the desktop's handler (xdg-open);
// `operation` and `parameters` have no equivalent there. The result is not reported.
void shell_execute(const char* operation, const char* file, const char* parameters, const char* directory);

void* load_library(const char* path); // null on failure
void* get_library_function(void* library, const char* name);
bool free_library(void* library);

// Bytes waiting on a stream read from a pipe: the stream's own buffered bytes
// when there are any, else the pipe's pending byte count; 1 when that query
// fails or the writer has gone (so the caller reads and sees the end); 0 for null.
int get_pipe_bytes_waiting(FILE* stream);

// {===== GPU load
// No vendor library exists on this platform: opening fails and the readout is
// -1 ("unknown"), which the statistics histories record as such.

bool open_gpu_load_query();
int read_gpu_load(); // percent, or -1 when unknown
void close_gpu_load_query();
