#include "codec/compressor.h"

#include <gtest/gtest.h>

#include "codec/expander.h"
#include "codec/memory_stream.h"
#include "reference.h"

namespace {

using szdd::Status;
using szdd_test::Bytes;

Bytes StreamOf(const Bytes& file) { return Bytes(file.begin() + szdd::kHeaderSize, file.end()); }

// Round trip through our expander and, independently, the ring.
void ExpectRoundTrip(const Bytes& data, const char* what) {
  Bytes file = szdd_test::Compress(data);
  szdd::MemoryInput in(file.data(), file.size());
  szdd::MemoryOutput out;
  szdd::Header header;
  szdd::Expander expander;
  ASSERT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), Status::kOk) << what;
  EXPECT_EQ(header.length, data.size()) << what;
  EXPECT_TRUE(out.bytes() == data) << what << " " << data.size();
  bool truncated = true;
  EXPECT_TRUE(szdd_test::ReferenceExpand(StreamOf(file), &truncated) == data) << what << " " << data.size();
  EXPECT_FALSE(truncated);
  EXPECT_LE(szdd_test::LongestMatch(StreamOf(file)), szdd::kMaxPortableMatch) << what;
}

TEST(Compressor, RoundTripsEveryKindOfData) {
  ExpectRoundTrip({}, "empty");
  ExpectRoundTrip({'x'}, "one byte");
  ExpectRoundTrip({'a', 'a', 'a'}, "three");
  ExpectRoundTrip(Bytes(100, ' '), "blanks");
  ExpectRoundTrip(szdd_test::TextSample(300000), "text");
  ExpectRoundTrip(szdd_test::BinarySample(300000), "binary");
  ExpectRoundTrip(szdd_test::RandomSample(300000), "random");
  ExpectRoundTrip(szdd_test::Zeros(300000), "zeros");
}

TEST(Compressor, RoundTripsAtWindowAndBlockBoundaries) {
  const size_t block = szdd::Compressor::kBlock, window = szdd::kWindowSize;
  for (size_t size : {window - 1, window, window + 1, 2 * window + 17, block - 1, block, block + 1,
                      block + window, 2 * block + 5}) {
    Bytes text = szdd_test::TextSample(size);
    ExpectRoundTrip(text, "text");
    // A repeat exactly one window back, and just inside it.
    Bytes repeat = szdd_test::RandomSample(size, 9);
    for (size_t i = window; i < size; i += 3 * window) repeat[i] = repeat[i - window + 1];
    ExpectRoundTrip(repeat, "repeat");
  }
}

TEST(Compressor, StreamsFromAnInputThatDeliversLittleAtATime) {
  class Trickle : public szdd::Input {
   public:
    explicit Trickle(const Bytes& d) : data(d) {}
    ptrdiff_t Read(void* buffer, size_t size) override {
      size_t n = std::min({size, data.size() - pos, size_t(1 + pos % 7)});
      std::memcpy(buffer, data.data() + pos, n);
      pos += n;
      return static_cast<ptrdiff_t>(n);
    }
    const Bytes& data;
    size_t pos = 0;
  };
  Bytes data = szdd_test::TextSample(50000);
  Trickle in(data);
  szdd::MemoryOutput out;
  szdd::Compressor compressor;
  ASSERT_EQ(compressor.Compress(in, out, static_cast<uint32_t>(data.size()), 0), Status::kOk);
  EXPECT_EQ(out.bytes(), szdd_test::Compress(data));  // the same bytes as from one block
}

TEST(Compressor, CompressesAsMuchAsTheFormatAllows) {
  // Zeros: 16 bytes per two-byte match, a flag byte per eight items.
  Bytes zeros = szdd_test::Compress(szdd_test::Zeros(1 << 20));
  EXPECT_LT(zeros.size(), (1u << 20) / 16 * 2 * 9 / 8 + 100);
  EXPECT_LT(szdd_test::Compress(szdd_test::TextSample(1 << 20)).size(), (1u << 20) * 45 / 100);
  // Random data only grows by its flag bytes.
  EXPECT_LE(szdd_test::Compress(szdd_test::RandomSample(1 << 20)).size(), (1u << 20) * 9 / 8 + 20);
  // A longer chain finds at least as much.
  Bytes binary = szdd_test::BinarySample(1 << 20);
  EXPECT_LE(szdd_test::Compress(binary, 0, 256).size(), szdd_test::Compress(binary, 0, 4).size());
}

TEST(Compressor, WritesTheHeaderItIsGiven) {
  Bytes file = szdd_test::Compress(szdd_test::TextSample(1000), 'T');
  szdd::Header header;
  ASSERT_EQ(szdd::ParseHeader(file.data(), file.size(), &header), szdd::HeaderKind::kSzdd);
  EXPECT_EQ(header.missingChar, 'T');
  EXPECT_EQ(header.length, 1000u);
}

TEST(Compressor, ReportsAnInputOfAnotherLengthAndErrors) {
  Bytes data = szdd_test::TextSample(5000);
  szdd::Compressor compressor;
  {
    szdd::MemoryInput in(data.data(), data.size());
    szdd::MemoryOutput out;
    EXPECT_EQ(compressor.Compress(in, out, 4999, 0), Status::kLengthMismatch);
  }
  {
    szdd::MemoryInput in(data.data(), data.size());
    szdd::MemoryOutput out(100);
    EXPECT_EQ(compressor.Compress(in, out, 5000, 0), Status::kWriteError);
  }
  {
    class Broken : public szdd::Input {
      ptrdiff_t Read(void*, size_t) override { return -1; }
    } in;
    szdd::MemoryOutput out;
    EXPECT_EQ(compressor.Compress(in, out, 0, 0), Status::kReadError);
  }
}

}  // namespace
