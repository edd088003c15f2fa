// libpng's inflating, done by ISA-L behind zlib's functions, must behave as zlib's own for
// every way libpng feeds it: any split of input and output, the end of the stream, bytes
// after it, a wrong check value (refused or ignored as asked), damaged and cut streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compressed(const Bytes& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), uLong(data.size()), level), Z_OK);
  out.resize(size);
  return out;
}

struct Outcome {
  int result;  // the last inflate's
  Bytes out;
  uInt leftIn;  // input not taken at the end
  std::string msg;
};

// Inflates stream fed inStep bytes at a time into outStep-byte rooms, as libpng does: more
// input only when all given is taken, a call per room, until the end or an error.
Outcome Inflate(const Bytes& stream, size_t inStep, size_t outStep, bool check = true) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 0), Z_OK);
  EXPECT_EQ(inflateValidate(&z, check), Z_OK);
  Outcome o{Z_OK, {}, 0, ""};
  size_t given = 0;
  Bytes room(outStep);
  while (o.result == Z_OK) {
    if (z.avail_in == 0) {
      if (given == stream.size()) break;
      z.next_in = const_cast<uint8_t*>(stream.data()) + given;
      z.avail_in = uInt(std::min(inStep, stream.size() - given));
      given += z.avail_in;
    }
    z.next_out = room.data();
    z.avail_out = uInt(outStep);
    o.result = inflate(&z, Z_NO_FLUSH);
    o.out.insert(o.out.end(), room.begin(), room.end() - z.avail_out);
  }
  o.leftIn = z.avail_in + uInt(stream.size() - given);
  o.msg = z.msg != nullptr ? z.msg : "";
  EXPECT_EQ(z.total_out, o.out.size());
  EXPECT_EQ(z.total_in + o.leftIn, stream.size());
  EXPECT_EQ(inflateEnd(&z), Z_OK);
  return o;
}

TEST(InflateIsal, EverySplitGivesTheDataAndLeavesSomeOfWhatFollows) {
  std::mt19937 random(7);
  Bytes noise(200000), rows;
  for (uint8_t& b : noise) b = uint8_t(random() % 7 * 40);  // literals and matches both
  for (int i = 0; i < 60000; ++i) rows.push_back(uint8_t(i % 641 == 0 ? 4 : i / 3));
  for (const Bytes* data : {&noise, &rows}) {
    for (int level : {0, 1, 9}) {
      const Bytes stream = Compressed(*data, level);
      Bytes tailed = stream;
      tailed.insert(tailed.end(), {'I', 'E', 'N', 'D', 0xae});
      for (auto [in, out] : {std::pair<size_t, size_t>{1, 1},
                             {2, 7},
                             {8192, 7681},
                             {1 << 20, 5},
                             {3, 1 << 20},
                             {1 << 20, 1 << 20}}) {
        Outcome o = Inflate(stream, in, out);
        EXPECT_EQ(o.result, Z_STREAM_END) << level << " " << in << " " << out;
        EXPECT_TRUE(o.out == *data) << level << " " << in << " " << out;
        EXPECT_EQ(o.leftIn, 0u);
        o = Inflate(tailed, in, out);
        EXPECT_EQ(o.result, Z_STREAM_END);
        EXPECT_TRUE(o.out == *data);
        // zlib leaves all 5; ISA-L may have read a few ahead when the output came out later.
        // libpng only needs to see that some are left (it warns of them).
        EXPECT_GT(o.leftIn, 0u) << level << " " << in << " " << out;
        EXPECT_LE(o.leftIn, 5u);
      }
    }
  }
}

TEST(InflateIsal, BadStreamsAreRefusedAsZlibRefusesThem) {
  Bytes data(30000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * i >> 5);
  const Bytes stream = Compressed(data, 6);

  Bytes wrongSum = stream;
  wrongSum.back() ^= 1;
  for (size_t out : {size_t(9), size_t(1) << 20}) {
    Outcome o = Inflate(wrongSum, 5, out);
    EXPECT_EQ(o.result, Z_DATA_ERROR);
    EXPECT_EQ(o.msg, "incorrect data check");
    o = Inflate(wrongSum, 5, out, false);  // libpng, like stb_image, ignores the sum
    EXPECT_EQ(o.result, Z_STREAM_END);
    EXPECT_TRUE(o.out == data);
  }

  Bytes header = stream;
  header[1] ^= 1;  // header check fails
  EXPECT_EQ(Inflate(header, 100, 100).result, Z_DATA_ERROR);

  Bytes damaged = stream;
  damaged[2] = 0xff;  // reserved block type
  const Outcome bad = Inflate(damaged, 100, 100);
  EXPECT_EQ(bad.result, Z_DATA_ERROR);
  EXPECT_FALSE(bad.msg.empty());

  // Cut short: everything given is taken, the stream does not end, no error of its own.
  const Bytes cut(stream.begin(), stream.end() - 10);
  const Outcome o = Inflate(cut, 64, 4096);
  EXPECT_EQ(o.result, Z_OK);
  EXPECT_EQ(o.leftIn, 0u);
  EXPECT_LT(o.out.size(), data.size());
  EXPECT_TRUE(std::equal(o.out.begin(), o.out.end(), data.begin()));

  // A stream once refused stays refused until reset; a reset starts a new one.
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, 0), Z_OK);
  Bytes room(data.size());
  z.next_in = header.data();
  z.avail_in = uInt(header.size());
  z.next_out = room.data();
  z.avail_out = uInt(room.size());
  EXPECT_EQ(inflate(&z, Z_NO_FLUSH), Z_DATA_ERROR);
  EXPECT_EQ(inflate(&z, Z_NO_FLUSH), Z_DATA_ERROR);
  ASSERT_EQ(inflateReset2(&z, 0), Z_OK);
  z.next_in = const_cast<uint8_t*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = room.data();
  z.avail_out = uInt(room.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_TRUE(room == data);
  EXPECT_EQ(inflate(&z, Z_NO_FLUSH), Z_STREAM_END) << "the end stays the end";
  EXPECT_EQ(inflateEnd(&z), Z_OK);
}

}  // namespace
