// For the fuzz target only (the log is tools/fuzz_common): durability is not what is fuzzed,
// and syncing every settings write and journal rename to the disk would cost milliseconds per
// input.
extern "C" int fsync(int) { return 0; }
extern "C" int fdatasync(int) { return 0; }
