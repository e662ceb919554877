// Watching the module's sources and rebuilding it through rebuild_dll.sh,
// polled without blocking (once a second from the frame loop).
#pragma once
#include <cstdint>

struct WatchedSource {
  char path[260];
  int64_t time; // get_file_time at the last read, 0 when missing
};

// Forgets the watched sources; sets the folder ("/"-terminated) and the list.
void set_gameobj_source(const char* folder, const char* list_name);
// Reads the source list and its imports (each file once), recording times.
void read_gameobj_source_list();
void clear_gameobj_sources();
int gameobj_source_count();
const WatchedSource& gameobj_source(int index);
const char* gameobj_source_folder();

// True when the line holds "error" or "errors" as a whole word, any case.
bool line_has_error_word(const char* line);

enum class RebuildPoll { NotRunning, Running };
// One poll: reads waiting output, finishes a build that ended, or starts one
// when a watched source changed.
RebuildPoll poll_gameobj_rebuild();
bool gameobj_rebuild_running();
// Waits for a running build to end (shutdown and tests only).
void wait_gameobj_rebuild();
