// The allocator the game-object module links against by name. The module
// allocates through the host's heap so that memory it hands over survives a
// module reload and can be freed by either side.
#include <cstdlib>

extern "C" {

__attribute__((visibility("default"))) void* dlmalloc(size_t bytes) { return malloc(bytes); }
__attribute__((visibility("default"))) void dlfree(void* p) { free(p); }
__attribute__((visibility("default"))) void* dlrealloc(void* p, size_t bytes) { return realloc(p, bytes); }

}
