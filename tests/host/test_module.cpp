// A small stand-in for the game-object module, built in variants by
// tests/host/CMakeLists.txt: TEST_VERSION (what the objects answer),
// TEST_CLASSES (class-table size), TEST_MISSING (a function it lacks) and
// TEST_NO_VTABLES (an entry point it lacks).
#include <string.h>

#include <array>
#include <utility>

#include "host/gameobj_lists.h"

#ifndef TEST_CLASSES
#define TEST_CLASSES 91
#endif
#ifndef TEST_VERSION
#define TEST_VERSION 1
#endif
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Every class answers query() with version * 1000 + its table index.
template <int I>
struct TestObj : GameObject {
  int query(int what) override { return TEST_VERSION * 1000 + I; }
};

using Creator = GameObject* (*)();
template <int... I>
constexpr auto make_creators(std::integer_sequence<int, I...>)
{
  return std::array<Creator, sizeof...(I)>{+[]() -> GameObject* { return new TestObj<I>(); }...};
}
const auto creators = make_creators(std::make_integer_sequence<int, TEST_CLASSES>());

GameObject* new_gameobj_by_id(int id)
{
  return id > 0 && id < TEST_CLASSES ? creators[id]() : nullptr;
}

void noop() {}

} // namespace

TEST_EXPORT void* get_gameobj_func_by_name(const char* name)
{
#ifdef TEST_MISSING
  if (strcmp(name, TEST_MISSING) == 0) return nullptr;
#endif
  if (strcmp(name, "new_gameobj_by_id") == 0) return reinterpret_cast<void*>(&new_gameobj_by_id);
  return reinterpret_cast<void*>(&noop);
}

#ifndef TEST_NO_VTABLES
TEST_EXPORT void** get_gameobj_vtables(int* count)
{
  static void* table[TEST_CLASSES];
  for (int i = 1; i < TEST_CLASSES; ++i) {
    GameObject* obj = creators[i]();
    table[i] = *reinterpret_cast<void**>(obj);
    delete obj;
  }
  *count = TEST_CLASSES;
  return table;
}
#endif
