// Byte streams over files and memory: the failure rules (messages and the
// positions they report) live here, in one place per stream kind.
#include "core/stream.h"

#include <climits>
#include <cstring>

StreamIOException::StreamIOException(const char* text, int pos) : position(pos) {
  size_t n = text ? strlen(text) : 0;
  if (n > sizeof(message) - 1) n = sizeof(message) - 1;
  if (n) memcpy(message, text, n);
  message[n] = 0;
}

void InputStream::fail(const char* message, int position) { throw Exception(message, position); }
void OutputStream::fail(const char* message, int position) { throw Exception(message, position); }

int InputStream::readString(char* buffer) {
  uint8_t len = readByte();
  read(buffer, len);
  buffer[len] = 0;
  return len;
}

void OutputStream::writeString(const char* text, int length) {
  size_t len = !text ? 0 : length >= 0 ? (size_t)length : strlen(text);
  if (len >= 256) fail("string is longer than 255", tell());
  uint8_t b = (uint8_t)len;
  write(&b, 1);
  if (len) write(text, (int)len);
}

// {===== File streams

static int file_pos(FILE* f) {
  long p = ftell(f);
  return p > INT_MAX ? INT_MAX : (int)p;
}

bool FileInputStream::open(const char* filename, const char* mode) {
  close();
  if (!filename) return false;
  file = fopen(filename, mode ? mode : "rb");
  return file != nullptr;
}

void FileInputStream::close() {
  if (file) fclose(file);
  file = nullptr;
}

int FileInputStream::readSome(void* buffer, int count) {
  if (!file || count <= 0) return 0;
  return (int)fread(buffer, 1, (size_t)count, file);
}

void FileInputStream::read(void* buffer, int count) {
  if (!file) fail("file not opened", -1);
  if (count < 0) fail("negative size in read()", -1);
  if (count == 0) return;
  if (fread(buffer, 1, (size_t)count, file) != (size_t)count) fail("error reading file", file_pos(file));
}

int FileInputStream::tell() {
  if (!file) fail("file not opened", -1);
  return file_pos(file);
}

void FileInputStream::seekTo(int pos) {
  if (!file) fail("file not opened", -1);
  if (fseek(file, pos, SEEK_SET) != 0) fail("file seek error", file_pos(file));
}

void FileInputStream::seek(int offset) {
  if (!file) fail("file not opened", -1);
  if (fseek(file, offset, SEEK_CUR) != 0) fail("file seek error", file_pos(file));
}

void FileInputStream::seekToEnd(int offset) {
  if (!file) fail("file not opened", -1);
  if (fseek(file, offset, SEEK_END) != 0) fail("file seek error", file_pos(file));
}

bool FileOutputStream::open(const char* filename, const char* mode) {
  close();
  if (!filename) return false;
  file = fopen(filename, mode ? mode : "wb");
  return file != nullptr;
}

bool FileOutputStream::close() {
  if (!file) return true;
  bool ok = !ferror(file);
  if (fclose(file) != 0) ok = false;
  file = nullptr;
  return ok;
}

void FileOutputStream::flush() {
  if (!file) fail("file not opened", -1);
  if (fflush(file) != 0) fail("error writing file", file_pos(file));
}

void FileOutputStream::write(const void* buffer, int count) {
  if (!file) fail("file not opened", -1);
  if (count < 0) fail("negative size in write()", -1);
  if (count == 0) return;
  if (fwrite(buffer, 1, (size_t)count, file) != (size_t)count) fail("error writing file", file_pos(file));
}

int FileOutputStream::tell() {
  if (!file) fail("file not opened", -1);
  return file_pos(file);
}

void FileOutputStream::seekTo(int pos) {
  if (!file) fail("file not opened", -1);
  if (fseek(file, pos, SEEK_SET) != 0) fail("file seek error", file_pos(file));
}

int FileOutputStream::seekToEnd(int offset) {
  if (!file) fail("file not opened", -1);
  if (fseek(file, offset, SEEK_END) != 0) fail("file seek error", file_pos(file));
  return file_pos(file);
}

// {===== Memory streams

int MemoryInputStream::readSome(void* buffer, int count) {
  if (count <= 0 || !data) return 0;
  int left = size - position;
  if (left <= 0) return 0;
  if (count > left) count = left;
  memcpy(buffer, data + position, (size_t)count);
  position += count;
  return count;
}

void MemoryInputStream::read(void* buffer, int count) {
  if (!data) fail("no input memory region set", -1);
  if (count < 0) fail("negative size in read()", -1);
  if (count > size - position) fail("read() outside of input memory region", position);
  if (count) memcpy(buffer, data + position, (size_t)count);
  position += count;
}

void MemoryInputStream::seekTo(int pos) {
  if (pos < 0 || pos > size) fail("seek outside of input memory region", position);
  position = pos;
}

// Relative seeks are computed in 64 bits so a huge offset cannot wrap into range.
void MemoryInputStream::seek(int offset) {
  long long p = (long long)position + offset;
  if (p < 0 || p > size) fail("seek outside of input memory region", position);
  position = (int)p;
}

void MemoryInputStream::seekToEnd(int offset) {
  long long p = (long long)size + offset;
  if (p < 0 || p > size) fail("seek outside of input memory region", position);
  position = (int)p;
}

void MemoryOutputStream::write(const void* buffer, int count) {
  if (count < 0) fail("negative size in write()", position);
  if (count > INT_MAX - position) fail("out of memory", position);
  int end = position + count;
  if (end > bytes.num) {
    // Grow geometrically so that many small writes stay linear overall.
    if (end > bytes.cap && !bytes.trySetCapacity(DynArray<uint8_t>::grownCapacity(bytes.cap, end, 8)) &&
        !bytes.trySetCapacity(end))
      fail("out of memory", position);
    bytes.resize(end);
    if (bytes.num < end) fail("out of memory", position);
  }
  if (count) memcpy(bytes.data + position, buffer, (size_t)count);
  position = end;
}

void MemoryOutputStream::seekTo(int pos) {
  if (pos < 0) fail("negative position in seekTo()", position);
  position = pos;
}

int MemoryOutputStream::seekToEnd(int offset) {
  long long p = (long long)bytes.num + offset;
  if (p < 0) fail("negative position in seekToEnd()", position);
  if (p > INT_MAX) fail("out of memory", position);
  position = (int)p;
  return position;
}
