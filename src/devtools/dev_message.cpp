// Decoding, parameter lookups and replies of developer-server messages.
// Decoding reads through a memory input stream, so every read is bounded by
// the message: a length that runs past the end fails instead of reading on.
#include "devtools/dev_message.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/stream.h"

DevMessageError::DevMessageError(const char* format, ...)
{
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
}

void DevMessage::decode(const void* data, int length)
{
  cmd.clear();
  list.clear();
  MemoryInputStream in(data, length);
  char buffer[256];
  try {
    cmd.assign(buffer, (size_t)in.readString(buffer));
    while (in.tell() < length) {
      DevParam p;
      p.name.assign(buffer, (size_t)in.readString(buffer));
      p.type = (char)in.readByte();
      switch (p.type) {
      case 'i': p.i = in.readInt(); break;
      case 'd': p.d = in.readValue<double>(); break;
      case 's': p.s.assign(buffer, (size_t)in.readString(buffer)); break;
      default: throw DevMessageError("unknown value type '%c'", p.type);
      }
      list.push_back(std::move(p));
    }
  } catch (const StreamIOException& e) {
    throw DevMessageError("%s (at byte %d of %d)", e.message, e.position, length);
  }
}

const DevParam* DevMessage::find(const char* name) const
{
  for (const DevParam& p : list)
    if (p.name == name) return &p;
  return nullptr;
}

const DevParam& DevMessage::require(const char* name) const
{
  const DevParam* p = find(name);
  if (!p) throw DevMessageError("expected param '%s'", name);
  return *p;
}

int DevMessage::getInt(const char* name) const
{
  const DevParam& p = require(name);
  if (p.type != 'i') throw DevMessageError("expected int value for param '%s'", name);
  return p.i;
}

double DevMessage::getDouble(const char* name) const
{
  const DevParam& p = require(name);
  if (p.type == 'i') return p.i;
  if (p.type != 'd') throw DevMessageError("expected double value for param '%s'", name);
  return p.d;
}

const std::string& DevMessage::getString(const char* name) const
{
  const DevParam& p = require(name);
  if (p.type != 's') throw DevMessageError("expected string value for param '%s'", name);
  return p.s;
}

int DevMessage::getInt(const char* name, int fallback) const
{
  return has(name) ? getInt(name) : fallback;
}

double DevMessage::getDouble(const char* name, double fallback) const
{
  return has(name) ? getDouble(name) : fallback;
}

static void append_v(std::string& out, const char* format, va_list args)
{
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (n < (int)sizeof small) {
    out.append(small, (size_t)n);
    return;
  }
  size_t at = out.size();
  out.resize(at + (size_t)n + 1);
  vsnprintf(&out[at], (size_t)n + 1, format, args);
  out.resize(at + (size_t)n);
}

void DevReply::add(const char* format, ...)
{
  va_list args;
  va_start(args, format);
  append_v(text_, format, args);
  va_end(args);
}

void DevReply::fail(const char* format, ...)
{
  text_.clear(); // (assigning a literal trips a false -Wrestrict in GCC 12)
  text_.push_back('e');
  va_list args;
  va_start(args, format);
  append_v(text_, format, args);
  va_end(args);
}
