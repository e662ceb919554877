// The text form of developer-server messages (see dev_message.h): one
// command per line turned into the binary message. Depends on nothing but the
// standard library, so the command-line client compiles it on its own.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devtools/dev_message.h"

namespace {

void put_string(std::string& out, const std::string& s)
{
  out.push_back((char)(unsigned char)s.size());
  out += s;
}

bool whole_int(const std::string& v, int& out)
{
  if (v.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long n = strtoll(v.c_str(), &end, 10);
  if (*end || errno || n < INT32_MIN || n > INT32_MAX) return false;
  out = (int)n;
  return true;
}

bool whole_double(const std::string& v, double& out)
{
  if (v.empty()) return false;
  char* end = nullptr;
  out = strtod(v.c_str(), &end);
  return *end == 0;
}

} // namespace

bool dev_encode_text_command(const char* line, std::string& out, std::string& error)
{
  out.clear();
  const char* p = line;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (blank(*p)) ++p;
  const char* start = p;
  while (*p && !blank(*p)) ++p;
  std::string command(start, p);
  if (command.empty()) {
    error = "no command";
    return false;
  }
  if (command.size() > 255) {
    error = "command name longer than 255";
    return false;
  }
  put_string(out, command);
  for (;;) {
    while (blank(*p)) ++p;
    if (!*p) return true;
    start = p;
    while (*p && *p != '=' && !blank(*p)) ++p;
    if (*p != '=') {
      error = "expected name=value at '" + std::string(start, p) + "'";
      return false;
    }
    std::string name(start, p++);
    char forced = 0;
    if (name.size() > 2 && name[name.size() - 2] == ':') {
      forced = name.back();
      name.resize(name.size() - 2);
      if (forced != 'i' && forced != 'd' && forced != 's') {
        error = "unknown type ':" + std::string(1, forced) + "' for '" + name + "'";
        return false;
      }
    }
    if (name.empty() || name.size() > 255) {
      error = "parameter name must have 1 to 255 characters";
      return false;
    }
    std::string value;
    bool quoted = *p == '"';
    if (quoted) {
      for (++p; *p && *p != '"'; ++p) {
        if (*p == '\\' && p[1]) ++p;
        value.push_back(*p);
      }
      if (*p != '"') {
        error = "unterminated string for '" + name + "'";
        return false;
      }
      ++p;
    } else {
      start = p;
      while (*p && !blank(*p)) ++p;
      value.assign(start, p);
    }
    char type = forced;
    int iv = 0;
    double dv = 0;
    if (!type) type = quoted ? 's' : whole_int(value, iv) ? 'i' : whole_double(value, dv) ? 'd' : 's';
    if ((type == 'i' && !whole_int(value, iv)) || (type == 'd' && !whole_double(value, dv))) {
      error = "'" + value + "' is not a " + (type == 'i' ? "32-bit int" : "number") + " for '" + name + "'";
      return false;
    }
    if (type == 's' && value.size() > 255) {
      error = "string for '" + name + "' is longer than 255";
      return false;
    }
    put_string(out, name);
    out.push_back(type);
    if (type == 'i') out.append((const char*)&iv, 4);
    else if (type == 'd') out.append((const char*)&dv, 8);
    else put_string(out, value);
  }
}
