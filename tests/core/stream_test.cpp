// Byte streams: failure messages and positions, memory region bounds, string
// limits, gaps, and the little-endian primitive encoding.
#include "core/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/temp_dir.h"

namespace {

// Runs `op`, expects a stream exception of type E, and returns it.
template <class E, class Op>
E expect_throw(Op op) {
  try {
    op();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return E("", -2);
}

TEST(MemoryInputStream, ReadsExactlyAndFailsOutsideTheRegion) {
  const char bytes[] = {1, 2, 3, 4, 5};
  MemoryInputStream in(bytes, 5);
  char buf[8];
  in.read(buf, 2);
  EXPECT_EQ(2, in.tell());
  auto e = expect_throw<InputStream::Exception>([&] { in.read(buf, 4); });
  EXPECT_STREQ("read() outside of input memory region", e.message);
  EXPECT_EQ(2, e.position);
  EXPECT_EQ(2, in.tell()); // still usable where it was
  in.read(buf, 3);
  EXPECT_EQ(5, buf[2]);
  in.read(buf, 0); // zero bytes at the very end succeed

  e = expect_throw<InputStream::Exception>([&] { in.read(buf, -1); });
  EXPECT_STREQ("negative size in read()", e.message);
  EXPECT_EQ(-1, e.position);

  MemoryInputStream none;
  e = expect_throw<InputStream::Exception>([&] { none.read(buf, 1); });
  EXPECT_STREQ("no input memory region set", e.message);
  EXPECT_EQ(-1, e.position);
  EXPECT_EQ(0, none.readSome(buf, 4));
}

TEST(MemoryInputStream, ReadSomeClampsToWhatIsLeft) {
  const char bytes[] = "abcdef";
  MemoryInputStream in(bytes, 6);
  in.seekTo(3);
  char buf[10];
  EXPECT_EQ(3, in.readSome(buf, 10));
  EXPECT_EQ(0, memcmp(buf, "def", 3));
  EXPECT_EQ(6, in.tell());
  EXPECT_EQ(0, in.readSome(buf, 10));
  in.seekTo(0);
  EXPECT_EQ(0, in.readSome(buf, 0));
  EXPECT_EQ(0, in.readSome(buf, -5));
  EXPECT_EQ(0, in.tell());
}

TEST(MemoryInputStream, SeeksToExactlyTheEndButNotBeyond) {
  const char bytes[4] = {};
  MemoryInputStream in(bytes, 4);
  in.seek(1);
  in.seekTo(4);
  EXPECT_EQ(4, in.tell());
  auto e = expect_throw<StreamIOException>([&] { in.seekTo(5); });
  EXPECT_STREQ("seek outside of input memory region", e.message);
  EXPECT_EQ(4, e.position);
  in.seekToEnd(-4);
  EXPECT_EQ(0, in.tell());
  EXPECT_THROW(in.seekToEnd(1), InputStream::Exception);
  EXPECT_THROW(in.seek(-1), InputStream::Exception);
  EXPECT_THROW(in.seek(0x7fffffff), InputStream::Exception); // must not wrap around
  EXPECT_EQ(0, in.tell());
}

TEST(MemoryOutputStream, GapBeforeAWriteIsZeroFilled) {
  MemoryOutputStream out;
  out.seekTo(10);
  EXPECT_EQ(0, out.size()); // seeking alone writes nothing
  out.write("xy", 2);
  ASSERT_EQ(12, out.size());
  for (int i = 0; i < 10; i++) EXPECT_EQ(0, out.data()[i]) << i;
  EXPECT_EQ('y', out.data()[11]);
  EXPECT_EQ(12, out.tell());
  // Overwriting inside keeps the size.
  out.seekTo(0);
  out.write("ab", 2);
  EXPECT_EQ(12, out.size());
  EXPECT_EQ(14, out.seekToEnd(2));
}

TEST(MemoryOutputStream, RejectsNegativePositionsAndSizes) {
  MemoryOutputStream out;
  out.write("abc", 3);
  auto e = expect_throw<OutputStream::Exception>([&] { out.seekTo(-1); });
  EXPECT_STREQ("negative position in seekTo()", e.message);
  EXPECT_EQ(3, e.position);
  e = expect_throw<OutputStream::Exception>([&] { out.seekToEnd(-4); });
  EXPECT_STREQ("negative position in seekToEnd()", e.message);
  e = expect_throw<OutputStream::Exception>([&] { out.write("x", -1); });
  EXPECT_STREQ("negative size in write()", e.message);
  EXPECT_EQ(3, e.position);
  EXPECT_EQ(0, out.seekToEnd(-3));
}

TEST(MemoryOutputStream, ManySmallWritesGrowGeometrically) {
  MemoryOutputStream out;
  int reallocs = 0, lastCap = 0;
  for (int i = 0; i < 100000; i++) {
    out.writeByte((uint8_t)i);
    if (out.bytes.cap != lastCap) reallocs++, lastCap = out.bytes.cap;
  }
  EXPECT_EQ(100000, out.size());
  EXPECT_LT(reallocs, 40);
}

TEST(StreamStrings, LengthLimitsAndRoundTrip) {
  MemoryOutputStream out;
  std::string s255(255, 'q'), s256(256, 'q');
  out.writeString(s255.c_str());
  EXPECT_EQ(256, out.size());
  EXPECT_EQ(255, out.data()[0]);

  auto e = expect_throw<OutputStream::Exception>([&] { out.writeString(s256.c_str()); });
  EXPECT_STREQ("string is longer than 255", e.message);
  EXPECT_EQ(256, e.position);
  EXPECT_EQ(256, out.size()); // nothing written

  out.writeString("ignored tail", 0);
  EXPECT_EQ(257, out.size());
  EXPECT_EQ(0, out.data()[256]);
  out.writeString("hello world", 5);

  MemoryInputStream in(out.data(), out.size());
  char buf[256];
  EXPECT_EQ(255, in.readString(buf));
  EXPECT_EQ(s255, buf);
  EXPECT_EQ(0, in.readString(buf));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(5, in.readString(buf));
  EXPECT_STREQ("hello", buf);
}

TEST(StreamPrimitives, AreRawLittleEndianWithoutPadding) {
  MemoryOutputStream out;
  out.writeByte(0xAB);
  out.writeInt(0x01020304);
  out.writeInt64(0x1122334455667788LL);
  out.writeFloat(1.0f);
  out.writeBool(true);
  const uint8_t expected[] = {0xAB, 4, 3, 2, 1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,
                              0, 0, 0x80, 0x3F, 1};
  ASSERT_EQ((int)sizeof expected, out.size());
  EXPECT_EQ(0, memcmp(expected, out.data(), sizeof expected));

  MemoryInputStream in(out.data(), out.size());
  EXPECT_EQ(0xAB, in.readByte());
  EXPECT_EQ(0x01020304, in.readInt());
  EXPECT_EQ(0x1122334455667788LL, in.readInt64());
  EXPECT_EQ(1.0f, in.readFloat());
  EXPECT_TRUE(in.readBool());
  EXPECT_THROW(in.readInt(), StreamIOException);
}

TEST(StreamIOException, CutsTheMessageAt511Characters) {
  std::string longText(600, 'm');
  StreamIOException e(longText.c_str(), 7);
  EXPECT_EQ(511u, strlen(e.message));
  EXPECT_EQ(7, e.position);
}

TEST(FileStreams, ClosedStreamsThrowFileNotOpened) {
  FileInputStream in;
  char buf[4];
  EXPECT_EQ(0, in.readSome(buf, 4));
  for (auto op : {+[](FileInputStream& s) { char b; s.read(&b, 1); }, +[](FileInputStream& s) { s.tell(); },
                  +[](FileInputStream& s) { s.seekTo(0); }, +[](FileInputStream& s) { s.seek(0); },
                  +[](FileInputStream& s) { s.seekToEnd(0); }}) {
    auto e = expect_throw<InputStream::Exception>([&] { op(in); });
    EXPECT_STREQ("file not opened", e.message);
    EXPECT_EQ(-1, e.position);
  }
  FileOutputStream out;
  auto e = expect_throw<OutputStream::Exception>([&] { out.write("a", 1); });
  EXPECT_STREQ("file not opened", e.message);
  EXPECT_THROW(out.tell(), OutputStream::Exception);
  EXPECT_THROW(out.seekToEnd(0), OutputStream::Exception);
  EXPECT_FALSE(in.open("/nonexistent/dir/file", "rb"));
  EXPECT_FALSE(in.isOpen());
}

TEST(FileStreams, ShortReadReportsThePositionAfterIt) {
  std::string dir = make_temp_dir();
  std::string path = dir + "five.bin";
  {
    FileOutputStream out(path.c_str(), "wb");
    ASSERT_TRUE(out.isOpen());
    out.write("12345", 5);
    EXPECT_EQ(5, out.tell());
    EXPECT_TRUE(out.close());
  }
  FileInputStream in(path.c_str(), "rb");
  ASSERT_TRUE(in.isOpen());
  in.seekTo(2);
  char buf[16];
  auto e = expect_throw<InputStream::Exception>([&] { in.read(buf, 10); });
  EXPECT_STREQ("error reading file", e.message);
  EXPECT_EQ(5, e.position);

  e = expect_throw<InputStream::Exception>([&] { in.read(buf, -2); });
  EXPECT_STREQ("negative size in read()", e.message);
  EXPECT_EQ(-1, e.position);

  e = expect_throw<InputStream::Exception>([&] { in.seekTo(-1); });
  EXPECT_STREQ("file seek error", e.message);
  EXPECT_EQ(5, e.position);
  // Still open and usable after the failures.
  in.seekToEnd(-2);
  in.read(buf, 2);
  EXPECT_EQ(0, memcmp(buf, "45", 2));
  in.seek(-5);
  EXPECT_EQ(0, in.tell());
}

TEST(FileStreams, RoundTripOfValuesAndStrings) {
  std::string path = make_temp_dir() + "values.bin";
  {
    FileOutputStream out(path.c_str());
    out.writeInt(-7);
    out.writeString("name");
    out.writeFloat(0.25f);
    out.seekTo(0);
    out.writeInt(42); // patched in place
    EXPECT_EQ(13, out.seekToEnd(0));
  }
  FileInputStream in(path.c_str());
  EXPECT_EQ(42, in.readInt());
  char buf[256];
  EXPECT_EQ(4, in.readString(buf));
  EXPECT_STREQ("name", buf);
  EXPECT_EQ(0.25f, in.readFloat());
  EXPECT_EQ(0, in.readSome(buf, 1));
}

TEST(FileStreams, FullDiskIsAWriteErrorNotSilentSuccess) {
  FileOutputStream out;
  if (!out.open("/dev/full", "wb")) GTEST_SKIP() << "/dev/full missing";
  std::string big(1 << 20, 'z');
  auto e = expect_throw<OutputStream::Exception>([&] { out.write(big.data(), (int)big.size()); });
  EXPECT_STREQ("error writing file", e.message);

  // A small write sits in the buffer; the failure shows at flush and at close.
  ASSERT_TRUE(out.open("/dev/full", "wb"));
  out.write("abc", 3);
  EXPECT_THROW(out.flush(), OutputStream::Exception);
  ASSERT_TRUE(out.open("/dev/full", "wb"));
  out.write("abc", 3);
  EXPECT_FALSE(out.close());
}

} // namespace
