// Messages of the developer server: one binary message per command, answered
// with one plain-text reply.
//
// Message (little-endian): the command as a short string (length byte, then
// the characters), then parameters until the message ends, each a short
// string name, a type character and a value: 'i' a signed 32-bit integer,
// 'd' a 64-bit double, 's' a short string. A lookup by name takes the first
// parameter of that name. Replies start with 'k' (done, possibly followed by
// data) or 'e' (failed, followed by the reason).
//
// Everything here is exported for the game-object module, which adds its own
// commands (dev_server.h, register_dev_command).
#pragma once
#include <string>
#include <vector>

// A failed decode or lookup: the server logs the text and answers
// "eBad message format".
struct DevMessageError {
  char text[320];
  explicit DevMessageError(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

struct DevParam {
  std::string name;
  char type = 0; // 'i', 'd' or 's'
  int i = 0;
  double d = 0;
  std::string s;
};

class DevMessage {
public:
  // Reads the whole message; throws DevMessageError for an unknown type
  // character or a value or string running past the end.
  void decode(const void* data, int length);

  const std::string& command() const { return cmd; }
  const std::vector<DevParam>& params() const { return list; }
  bool has(const char* name) const { return find(name) != nullptr; }

  // Lookups; missing or mistyped parameters throw DevMessageError
  // ("expected param '%s'", "expected int value for param '%s'", ...).
  // A number lookup accepts an int where a double is expected.
  int getInt(const char* name) const;
  double getDouble(const char* name) const;
  const std::string& getString(const char* name) const;
  // The same, with `fallback` when the parameter is absent.
  int getInt(const char* name, int fallback) const;
  double getDouble(const char* name, double fallback) const;

private:
  const DevParam* find(const char* name) const;
  const DevParam& require(const char* name) const;

  std::string cmd;
  std::vector<DevParam> list;
};

// The reply to one message: "k" until a command fails or adds data.
class DevReply {
public:
  // Appends printf-style text after the current reply (for "k" data).
  void add(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Replaces the reply with 'e' and the reason.
  void fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool failed() const { return text_[0] == 'e'; }
  const std::string& text() const { return text_; }

private:
  std::string text_ = "k";
};

// {===== The text form (tools, tests and the fuzzer's seeds)
// One command per line: the command, then parameters as name=value separated
// by blanks. A value in double quotes is a string (\" and \\ inside); a bare
// value is an int when it reads whole as one, a double when it reads whole as
// one, else a string. "name:i=", "name:d=" and "name:s=" force the type.
// False (with the reason in `error`) when the line cannot be encoded.
bool dev_encode_text_command(const char* line, std::string& out, std::string& error);
