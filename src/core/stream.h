// Byte streams: the one family through which every saved game, world and
// block of script data is written and read.
//
// InputStream / OutputStream are abstract; files and memory implement them.
// Every failure throws the stream's Exception (a StreamIOException) with a
// fixed message and the stream position of the failure (-1 where none
// applies); only readSome and open report by their result. A stream stays
// usable after a throw. Positions and sizes are signed 32-bit.
//
// Primitive encoding: values are their raw little-endian bytes, written whole
// in one write, no padding; short strings are a length byte (0..255) and the
// characters without terminator.
#pragma once
#include <bit>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "core/dynArray.h"

static_assert(std::endian::native == std::endian::little, "stream encoding assumes a little-endian host");

struct StreamIOException {
  char message[512]; // NUL-terminated, cut at 511 characters
  int position;      // stream position of the failure, -1 when none applies

  StreamIOException(const char* text, int pos);
};

class InputStream {
public:
  struct Exception : StreamIOException {
    using StreamIOException::StreamIOException;
  };

  // Copies up to `size` bytes; 0 at the end, for size <= 0 or without a
  // source. Never throws.
  virtual int readSome(void* buffer, int size) = 0;
  // Copies exactly `size` bytes or throws.
  virtual void read(void* buffer, int size) = 0;
  virtual int tell() = 0;
  virtual void seekTo(int position) = 0;
  virtual void seek(int offset) = 0;
  virtual void seekToEnd(int offset) = 0;

  // Reads a short string into `buffer` (256 bytes), terminates it and returns its length.
  int readString(char* buffer);

  template <class T>
  T readValue() {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    read(&v, (int)sizeof(T));
    return v;
  }
  uint8_t readByte() { return readValue<uint8_t>(); }
  bool readBool() { return readValue<uint8_t>() != 0; }
  int32_t readInt() { return readValue<int32_t>(); }
  uint32_t readUInt() { return readValue<uint32_t>(); }
  int64_t readInt64() { return readValue<int64_t>(); }
  uint64_t readUInt64() { return readValue<uint64_t>(); }
  float readFloat() { return readValue<float>(); }

protected:
  InputStream() = default;
  ~InputStream() = default; // streams live on the stack; never deleted through the base
  [[noreturn]] static void fail(const char* message, int position);
};

class OutputStream {
public:
  struct Exception : StreamIOException {
    using StreamIOException::StreamIOException;
  };

  // Writes exactly `size` bytes or throws.
  virtual void write(const void* buffer, int size) = 0;
  virtual int tell() = 0;
  virtual void seekTo(int position) = 0;
  // Seeks relative to the end; returns the new position.
  virtual int seekToEnd(int offset) = 0;

  // A length byte and the characters; a negative length means up to the NUL.
  // 256 characters or more throw "string is longer than 255" and write nothing.
  void writeString(const char* text, int length = -1);

  template <class T>
  void writeValue(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    write(&v, (int)sizeof(T));
  }
  void writeByte(uint8_t v) { writeValue(v); }
  void writeBool(bool v) { writeValue<uint8_t>(v ? 1 : 0); }
  void writeInt(int32_t v) { writeValue(v); }
  void writeUInt(uint32_t v) { writeValue(v); }
  void writeInt64(int64_t v) { writeValue(v); }
  void writeUInt64(uint64_t v) { writeValue(v); }
  void writeFloat(float v) { writeValue(v); }

protected:
  OutputStream() = default;
  ~OutputStream() = default;
  [[noreturn]] static void fail(const char* message, int position);
};

// A buffered standard-library file ("rb" by every caller).
class FileInputStream : public InputStream {
public:
  FILE* file = nullptr;

  FileInputStream() = default;
  FileInputStream(const char* filename, const char* mode = "rb") { open(filename, mode); }
  FileInputStream(const FileInputStream&) = delete;
  FileInputStream& operator=(const FileInputStream&) = delete;
  ~FileInputStream() { close(); }

  // Closes the current file, opens the new one; never throws.
  bool open(const char* filename, const char* mode = "rb");
  void close();
  bool isOpen() const { return file != nullptr; }

  int readSome(void* buffer, int size) override;
  void read(void* buffer, int size) override;
  int tell() override;
  void seekTo(int position) override;
  void seek(int offset) override;
  void seekToEnd(int offset) override;
};

// A buffered standard-library file ("wb" by every caller).
class FileOutputStream : public OutputStream {
public:
  FILE* file = nullptr;

  FileOutputStream() = default;
  FileOutputStream(const char* filename, const char* mode = "wb") { open(filename, mode); }
  FileOutputStream(const FileOutputStream&) = delete;
  FileOutputStream& operator=(const FileOutputStream&) = delete;
  ~FileOutputStream() { close(); }

  bool open(const char* filename, const char* mode = "wb");
  // Closes the file. False when the buffered tail could not be written (a
  // full disk shows up here), so a saver can tell a complete file from a cut one.
  bool close();
  bool isOpen() const { return file != nullptr; }
  // Pushes buffered bytes to the file; a failure throws "error writing file".
  void flush();

  void write(const void* buffer, int size) override;
  int tell() override;
  void seekTo(int position) override;
  int seekToEnd(int offset) override;
};

// Reads a region owned by someone else.
class MemoryInputStream : public InputStream {
public:
  const uint8_t* data = nullptr;
  int size = 0;
  int position = 0;

  MemoryInputStream() = default;
  MemoryInputStream(const void* bytes, int length) { setRegion(bytes, length); }
  void setRegion(const void* bytes, int length) {
    data = (const uint8_t*)bytes;
    size = length < 0 ? 0 : length;
    position = 0;
  }

  int readSome(void* buffer, int size) override;
  void read(void* buffer, int size) override;
  int tell() override { return position; }
  void seekTo(int position) override;
  void seek(int offset) override;
  void seekToEnd(int offset) override;
};

// Grows while written; the bytes are `bytes`. Seeking past the end leaves a
// gap that reads as zeros once something is written after it.
class MemoryOutputStream : public OutputStream {
public:
  DynArray<uint8_t> bytes;
  int position = 0;

  const uint8_t* data() const { return bytes.data; }
  int size() const { return bytes.num; }

  void write(const void* buffer, int size) override;
  int tell() override { return position; }
  void seekTo(int position) override;
  int seekToEnd(int offset) override;
};
