// Crash-safe replacement of saved files.
//
// A file is never overwritten in place: its new bytes go to "<name>.tmp" in
// the same folder, which is flushed, synced to the disk and closed, and only
// then renamed over the old file (rename replaces atomically on POSIX file
// systems). A process that dies, or a disk that fills, part way leaves the
// old file as it was.
//
// Several files that must change together (one saved game) are committed
// through a journal in their folder, "commit": once every temporary file is
// complete and synced, the journal naming them is itself written through a
// temporary file and renamed into place - that rename is the moment the new
// set becomes the truth. The temporary files are then renamed one by one and
// the journal removed. Whoever finds a journal later (a crash between the
// renames) finishes the renames first (safe_file_recover_folder), so every
// reader sees the complete old set or the complete new set.
#pragma once
#include "core/stream.h"
#include "core/tempData.h"

// "<path>.tmp".
PathString safe_file_temp_name(const char* path);
// Opens "<path>.tmp" for writing ("wb"); false when it can't be created.
bool safe_file_open(FileOutputStream& out, const char* path);
// Flushes, syncs and closes the temporary file; a failure throws
// OutputStream::Exception ("error writing file") and removes the temporary file.
void safe_file_finish(FileOutputStream& out, const char* path);
// Renames "<path>.tmp" over `path` and syncs the folder; false on failure.
bool safe_file_replace(const char* path);
// Closes (if open) and deletes "<path>.tmp".
void safe_file_discard(FileOutputStream& out, const char* path);
// Syncs a folder's entries (renames, deletions) to the disk.
void safe_file_sync_folder(const char* folder);

// Commits the temporary files of `names` (file names inside `folder`) as one
// change: journal, renames, journal removed. False when the journal could
// not be written (nothing changed then) or a rename failed (the journal stays
// and the next recovery finishes the change).
bool safe_file_commit(const char* folder, const char* const* names, int count);
// Finishes an interrupted commit in `folder` and deletes the temporary files
// no journal names. Returns true when a commit was finished.
bool safe_file_recover_folder(const char* folder);
// The journal's file name inside a folder.
constexpr const char* SAFE_FILE_JOURNAL = "commit";
