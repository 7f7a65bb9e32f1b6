#include "codec/expander.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec/memory_stream.h"
#include "reference.h"

namespace {

using szdd::Status;
using szdd_test::Bytes;

struct Result {
  Status status;
  Bytes out;
  uint64_t produced;
};

Result Expand(const Bytes& stream, uint64_t limit = UINT64_MAX, uint64_t skip = 0) {
  szdd::MemoryInput in(stream.data(), stream.size());
  szdd::MemoryOutput out;
  szdd::Expander expander;
  Result r;
  r.status = expander.Expand(in, out, limit, skip, &r.produced);
  r.out = out.bytes();
  return r;
}

// A match item for ring position pos and length len.
void Match(Bytes* s, unsigned pos, unsigned len) {
  s->push_back(static_cast<uint8_t>(pos));
  s->push_back(static_cast<uint8_t>((pos >> 4 & 0xF0) | (len - 3)));
}

TEST(Expander, LiteralsAndMatchesIntoTheInitialBlanks) {
  // "ab", then 5 bytes from a ring position no byte has reached yet: blanks.
  Bytes s = {0x03, 'a', 'b'};
  Match(&s, 100, 5);
  EXPECT_EQ(szdd_test::AsString(Expand(s).out), "ab     ");
  EXPECT_EQ(Expand(s).status, Status::kOk);
}

TEST(Expander, MatchesAtEveryDistanceClassRepeatTheirPattern) {
  // After "abcdefghijklmnopq" (17 bytes at ring 4080..), matches reaching back
  // 1, 3, 8, 12 and 16 bytes, of lengths up to 18, each checked against the ring.
  const std::string text = "abcdefghijklmnopqrstuvwxyz";
  for (unsigned distance : {1u, 2u, 3u, 7u, 8u, 9u, 12u, 15u, 16u, 17u, 20u}) {
    for (unsigned len : {3u, 8u, 16u, 17u, 18u}) {
      Bytes s;
      for (size_t g = 0; g < 3; ++g) {  // 24 literals in three groups
        s.push_back(0xFF);
        for (size_t k = 0; k < 8; ++k) s.push_back(static_cast<uint8_t>(text[g * 8 + k]));
      }
      s.push_back(0x00);
      unsigned w = (4080 + 24) & 4095;
      Match(&s, (w - distance) & 4095, len);
      Result r = Expand(s);
      EXPECT_EQ(r.status, Status::kOk);
      EXPECT_EQ(r.out, szdd_test::ReferenceExpand(s)) << "distance " << distance << " length " << len;
      EXPECT_EQ(r.out.size(), 24 + len);
    }
  }
}

TEST(Expander, APositionEqualToTheWriteIndexReadsWhatWasWritten4096BytesBefore) {
  Bytes data = szdd_test::RandomSample(4096, 3);
  Bytes s;
  for (size_t i = 0; i < data.size(); i += 8) {
    s.push_back(0xFF);
    s.insert(s.end(), data.begin() + i, data.begin() + i + 8);
  }
  s.push_back(0x00);
  Match(&s, 4080, 18);  // the write index after 4096 bytes is 4080 again
  Result r = Expand(s);
  ASSERT_EQ(r.out.size(), 4096u + 18);
  EXPECT_EQ(Bytes(r.out.begin() + 4096, r.out.end()), Bytes(data.begin(), data.begin() + 18));
}

TEST(Expander, AShortLastGroupEndsTheDataCleanly) {
  Bytes s = {0xFF, 'a', 'b'};  // a group of eight literals with two present
  EXPECT_EQ(Expand(s).status, Status::kOk);
  EXPECT_EQ(szdd_test::AsString(Expand(s).out), "ab");
  s = {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00};  // a flag byte with no item after it
  Result r = Expand(s);
  EXPECT_EQ(r.status, Status::kOk);
  EXPECT_EQ(szdd_test::AsString(r.out), "abcdefgh");
  EXPECT_EQ(Expand({}).status, Status::kOk);
  EXPECT_TRUE(Expand({}).out.empty());
}

TEST(Expander, DataEndingInsideAMatchIsReportedAfterWhatCameBefore) {
  Bytes s = {0x01, 'x', 0x10};  // a literal, then one byte of a match
  Result r = Expand(s);
  EXPECT_EQ(r.status, Status::kTruncated);
  EXPECT_EQ(szdd_test::AsString(r.out), "x");
  // The same deep inside large data, past the fast path's chunks.
  Bytes big = szdd_test::Compress(szdd_test::TextSample(szdd::Expander::kChunk + 100000));
  Bytes stream(big.begin() + 14, big.end());
  bool truncated = false;
  for (size_t cut = stream.size() - 12; cut < stream.size(); ++cut) {
    Bytes part(stream.begin(), stream.begin() + cut);
    Bytes expected = szdd_test::ReferenceExpand(part, &truncated);
    Result pr = Expand(part);
    EXPECT_EQ(pr.status, truncated ? Status::kTruncated : Status::kOk) << cut;
    EXPECT_TRUE(pr.out == expected) << cut;
  }
}

TEST(Expander, NeverProducesMoreThanTheLimit) {
  Bytes data = szdd_test::TextSample(100000);
  Bytes file = szdd_test::Compress(data);
  Bytes stream(file.begin() + 14, file.end());
  for (uint64_t limit : {uint64_t(0), uint64_t(1), uint64_t(143), uint64_t(4097), uint64_t(99999)}) {
    Result r = Expand(stream, limit);
    EXPECT_EQ(r.status, Status::kOutputLimit) << limit;
    EXPECT_EQ(r.produced, limit);
    EXPECT_EQ(r.out, Bytes(data.begin(), data.begin() + limit)) << limit;
  }
  Result exact = Expand(stream, data.size());
  EXPECT_EQ(exact.status, Status::kOk);
  EXPECT_EQ(exact.out, data);
  // A match that would cross the limit fills up to it exactly.
  Bytes zeros = {0x01, 'z'};
  Match(&zeros, 4080, 18);
  Result cut = Expand(zeros, 10);
  EXPECT_EQ(cut.status, Status::kOutputLimit);
  EXPECT_EQ(szdd_test::AsString(cut.out), std::string(10, 'z'));
}

TEST(Expander, SkippedBytesAreCountedButNotWritten) {
  Bytes data = szdd_test::BinarySample(3 << 20);
  Bytes file = szdd_test::Compress(data);
  Bytes stream(file.begin() + 14, file.end());
  for (uint64_t skip : {uint64_t(5), uint64_t(1) << 20, uint64_t(3) << 20}) {
    Result r = Expand(stream, UINT64_MAX, skip);
    EXPECT_EQ(r.status, Status::kOk);
    EXPECT_EQ(r.produced, data.size());
    EXPECT_TRUE(r.out == Bytes(data.begin() + skip, data.end())) << skip;
  }
}

TEST(Expander, AgreesWithTheRingOnArbitraryStreamsAcrossChunks) {
  // Random streams exercise every item mix, distance and length, over more
  // than one output chunk and input buffer.
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    Bytes stream = szdd_test::RandomSample(seed == 1 ? (700 << 10) : 5000, seed);
    bool truncated;
    Bytes expected = szdd_test::ReferenceExpand(stream, &truncated);
    Result r = Expand(stream);
    EXPECT_EQ(r.status, truncated ? Status::kTruncated : Status::kOk);
    EXPECT_TRUE(r.out == expected) << seed;
    EXPECT_GT(r.out.size(), szdd::Expander::kChunk / (seed == 1 ? 1 : 1000));
  }
}

class FailingInput : public szdd::Input {
 public:
  FailingInput(const Bytes& data, size_t failAt) : data_(data), failAt_(failAt) {}
  ptrdiff_t Read(void* buffer, size_t size) override {
    if (pos_ >= failAt_) return -1;
    size_t n = std::min({size, data_.size() - pos_, failAt_ - pos_, size_t(1000)});
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<ptrdiff_t>(n);
  }

 private:
  const Bytes& data_;
  size_t failAt_, pos_ = 0;
};

TEST(Expander, ReadAndWriteErrorsAreReported) {
  Bytes data = szdd_test::TextSample(3 << 20);
  Bytes file = szdd_test::Compress(data);
  szdd::Expander expander;
  {
    FailingInput in(file, file.size() / 2);
    szdd::MemoryOutput out;
    szdd::Header header;
    EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), Status::kReadError);
    EXPECT_GT(out.bytes().size(), 0u);  // what came before the failure was handed on
  }
  {
    szdd::MemoryInput in(file.data(), file.size());
    szdd::MemoryOutput out(1500000);  // refuses the second chunk
    szdd::Header header;
    uint64_t produced = 0;
    EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header, &produced), Status::kWriteError);
    EXPECT_GE(out.bytes().size(), szdd::Expander::kChunk);
    EXPECT_LT(out.bytes().size(), 1500000u);
  }
  {
    // The same expander serves again afterwards, from a clean state.
    szdd::MemoryInput in(file.data(), file.size());
    szdd::MemoryOutput out;
    szdd::Header header;
    EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), Status::kOk);
    EXPECT_EQ(header.length, data.size());
    EXPECT_TRUE(out.bytes() == data);
  }
}

TEST(Header, RecognisesOnlyTheMagicWithModeA) {
  Bytes file = szdd_test::WithHeader({}, 0x12345678, 'T');
  szdd::Header h;
  EXPECT_EQ(szdd::ParseHeader(file.data(), file.size(), &h), szdd::HeaderKind::kSzdd);
  EXPECT_EQ(h.length, 0x12345678u);
  EXPECT_EQ(h.missingChar, 'T');
  EXPECT_EQ(szdd::ParseHeader(file.data(), 13, &h), szdd::HeaderKind::kNotSzdd);
  file[8] = 'B';
  EXPECT_EQ(szdd::ParseHeader(file.data(), file.size(), &h), szdd::HeaderKind::kUnknownMode);
  file[8] = 'A';
  file[7] = 0x34;
  EXPECT_EQ(szdd::ParseHeader(file.data(), file.size(), &h), szdd::HeaderKind::kNotSzdd);

  uint8_t written[szdd::kHeaderSize];
  szdd::Header w;
  w.missingChar = 'X';
  w.length = 0xA1B2C3D4;
  szdd::WriteHeader(w, written);
  EXPECT_EQ(Bytes(written, written + 14), szdd_test::WithHeader({}, 0xA1B2C3D4, 'X'));
}

TEST(Expander, ExpandFileTellsWhatIsNoSzddFile) {
  szdd::Expander expander;
  szdd::Header h;
  for (const Bytes& input : {Bytes{'S', 'Z', 'D', 'D'}, Bytes(100, 'x')}) {
    szdd::MemoryInput in(input.data(), input.size());
    szdd::MemoryOutput out;
    EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &h), Status::kNotSzdd);
    EXPECT_TRUE(out.bytes().empty());
  }
  Bytes odd = szdd_test::WithHeader({0xFF, 'a'}, 1);
  odd[8] = 'Q';
  szdd::MemoryInput in(odd.data(), odd.size());
  szdd::MemoryOutput out;
  EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &h), Status::kUnknownMode);
  EXPECT_EQ(h.mode, 'Q');
}

}  // namespace
