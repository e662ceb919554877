// TempString<BS>: a fixed-capacity, always NUL-terminated string held by
// value (BS bytes, at most BS-1 characters). Returned by value from the path
// and name functions. Text that does not fit is a programming error: the fatal
// assertion "l<BS". File paths use PathString, which has room for the longest
// path the platform accepts (PATH_MAX), since user folders may be deep.
#pragma once
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/log.h"

template <int BS>
struct TempString {
  static_assert(BS > 0);
  char str[BS];

  TempString() { str[0] = 0; }
  TempString(const char* text, int length = -1) { assign(text, length); }
  TempString(const TempString&) = default;
  // From a string of another capacity (a path into a shorter buffer): the
  // text must fit, as for assign.
  template <int N>
  TempString(const TempString<N>& other) {
    assign(other.str);
  }
  TempString& operator=(const TempString&) = default;
  TempString& operator=(const char* text) {
    assign(text);
    return *this;
  }

  // A null text empties the string; a negative length means up to the NUL.
  void assign(const char* text, int length = -1) {
    if (!text) {
      str[0] = 0;
      return;
    }
    long long l = length < 0 ? (long long)strlen(text) : length;
    ASSERT(l<BS);
    memmove(str, text, (size_t)l); // the text may be this string itself
    str[l] = 0;
  }

  // Appends text (negative length: up to its NUL); overflow is fatal as for assign.
  void append(const char* text, int length = -1) {
    if (!text) return;
    long long old = (long long)strlen(str);
    long long add = length < 0 ? (long long)strlen(text) : length;
    long long l = old + add;
    ASSERT(l<BS);
    memmove(str + old, text, (size_t)add);
    str[l] = 0;
  }

  // printf into the string; a result that does not fit is fatal.
  void format(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, fmt);
    char buf[BS];
    int l = vsnprintf(buf, BS, fmt, args);
    va_end(args);
    if (l < 0) l = 0;
    ASSERT(l<BS);
    memcpy(str, buf, (size_t)l + 1);
  }

  operator const char*() const { return str; }
  const char* c_str() const { return str; }
  int length() const { return (int)strlen(str); }
  bool empty() const { return str[0] == 0; }
  static constexpr int capacity() { return BS; }
};

using PathString = TempString<PATH_MAX>;
