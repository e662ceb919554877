// DynArray<T>: the growable array used everywhere in the engine.
//
// Rules (why not std::vector): elements must be trivially copyable; storage
// comes from malloc/realloc and is moved as bytes, elements are never
// constructed or destroyed one by one; new elements are zero-filled. The
// fields are public (num, cap, data) like a plain struct, because the game
// module shares these arrays with the host by name.
// clear() frees the storage; resize(0) keeps the capacity.
// Misuse (bad index, negative count, failed allocation) is a fatal assertion.
#pragma once
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/log.h"

template <class T>
struct DynArray {
  static_assert(std::is_trivially_copyable_v<T>, "DynArray holds trivially copyable elements only");

  T* data = nullptr;
  int num = 0; // elements in use
  int cap = 0; // elements allocated

  DynArray() = default;
  DynArray(const DynArray& other) { append(other.num, other.data); }
  DynArray(DynArray&& other) noexcept : data(other.data), num(other.num), cap(other.cap) {
    other.data = nullptr;
    other.num = other.cap = 0;
  }
  DynArray& operator=(const DynArray& other) {
    if (this != &other) {
      resize(0);
      append(other.num, other.data);
    }
    return *this;
  }
  DynArray& operator=(DynArray&& other) noexcept {
    if (this != &other) {
      free(data);
      data = other.data;
      num = other.num;
      cap = other.cap;
      other.data = nullptr;
      other.num = other.cap = 0;
    }
    return *this;
  }
  ~DynArray() { free(data); }

  int size() const { return num; }
  bool empty() const { return num == 0; }
  T& operator[](int i) { return data[i]; }
  const T& operator[](int i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + num; }
  const T* begin() const { return data; }
  const T* end() const { return data + num; }

  // Reallocates to exactly n elements when n exceeds the capacity; never shrinks.
  void setCapacity(int n) {
    ASSERT(n>=0);
    if (n <= cap) return;
    T* np = (T*)realloc((void*)data, (size_t)n * sizeof(T));
    ASSERT(np);
    data = np;
    cap = n;
  }

  // As setCapacity, but reports a failed allocation instead of stopping
  // (memory streams turn it into their "out of memory" exception).
  bool trySetCapacity(int n) {
    if (n < 0) return false;
    if (n <= cap) return true;
    T* np = (T*)realloc((void*)data, (size_t)n * sizeof(T));
    if (!np) return false;
    data = np;
    cap = n;
    return true;
  }

  // The growth rule of insert/append: double (at least `minimum`); when that is
  // still too small, num + k + minimum.
  static int grownCapacity(int cap, int need, int minimum) {
    long long nc = (long long)cap * 2;
    if (nc < minimum) nc = minimum;
    if (nc < need) nc = (long long)need + minimum;
    return nc > 0x7fffffff ? 0x7fffffff : (int)nc;
  }

  // Ensures room for num + k elements.
  void reserveExtra(int k, int minimum) {
    int need = num + k;
    if (need > cap) setCapacity(grownCapacity(cap, need, minimum));
  }

  // Inserts n elements at `at`, copied from source or zero-filled when source
  // is null. Returns `at`.
  int insert(int at, int n, const T* source) {
    ASSERT(n>=0);
    ASSERT(at>=0 && at<=num);
    if (n == 0) return at;
    // The source may lie inside this array, which the growth can move.
    T* copy = nullptr;
    if (source && source + n > data && source < data + num) {
      copy = (T*)malloc((size_t)n * sizeof(T));
      ASSERT(copy);
      memcpy((void*)copy, (const void*)source, (size_t)n * sizeof(T));
      source = copy;
    }
    reserveExtra(n, 8);
    if (at < num) memmove((void*)(data + at + n), (const void*)(data + at), (size_t)(num - at) * sizeof(T));
    if (source)
      memcpy((void*)(data + at), (const void*)source, (size_t)n * sizeof(T));
    else
      memset((void*)(data + at), 0, (size_t)n * sizeof(T));
    num += n;
    free(copy);
    return at;
  }

  int append(int n, const T* source) { return insert(num, n, source); }
  int push(const T& value) {
    T copy = value;
    return insert(num, 1, &copy);
  }

  void remove(int at, int n) {
    ASSERT(n>=0);
    ASSERT(at>=0 && at<=num);
    ASSERT(at+n<=num);
    if (at + n < num) memmove((void*)(data + at), (const void*)(data + at + n), (size_t)(num - at - n) * sizeof(T));
    num -= n;
  }

  // Shrinking drops the tail; growing takes exactly n of capacity and
  // zero-fills the new elements.
  void resize(int n) {
    ASSERT(n>=0);
    if (n < num) {
      remove(n, num - n);
    } else if (n > num) {
      setCapacity(n);
      append(n - num, nullptr);
    }
  }

  T& last() {
    ASSERT(num>0);
    return data[num - 1];
  }
  T pop() {
    ASSERT(num>0);
    return data[--num];
  }

  // Index of the first element equal to `value`, or -1.
  int indexOf(const T& value) const {
    for (int i = 0; i < num; i++)
      if (data[i] == value) return i;
    return -1;
  }

  // Frees the storage.
  void clear() {
    free(data);
    data = nullptr;
    num = cap = 0;
  }
};
