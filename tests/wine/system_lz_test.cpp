// The system's own LZ expansion library reads what our compressor writes, to
// the same bytes as our expander: media made with our tools work with the
// LZ32 that the updater calls on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/expander.h"
#include "codec/memory_stream.h"
#include "codec/reference.h"
#include "platform/win32.h"
#include "support/sandbox.h"

namespace {

using szdd_test::Bytes;

Bytes OurExpansion(const Bytes& file) {
  szdd::MemoryInput in(file.data(), file.size());
  szdd::MemoryOutput out;
  szdd::Expander expander;
  szdd::Header header;
  EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), szdd::Status::kOk);
  return out.bytes();
}

class SystemLz : public ::testing::Test {
 protected:
  // Expands rel with LZOpenFileA and LZCopy into "out"; the expanded length
  // that LZSeek reports goes to length.
  Bytes SystemExpansion(const std::string& rel, LONG* length) {
    OFSTRUCT source, target;
    std::string in = box.Win(rel), out = box.Win("out");
    INT from = LZOpenFileA(&in[0], &source, OF_READ | OF_SHARE_EXCLUSIVE);
    EXPECT_GE(from, 0) << rel;
    *length = LZSeek(from, 0, 2);
    LZSeek(from, 0, 0);
    INT to = LZOpenFileA(&out[0], &target, OF_CREATE | OF_SHARE_EXCLUSIVE);
    EXPECT_GE(to, 0);
    LONG copied = LZCopy(from, to);
    LZClose(from);
    LZClose(to);
    EXPECT_GE(copied, 0) << rel;
    std::string bytes = box.Read("out");
    return Bytes(bytes.begin(), bytes.end());
  }

  Sandbox box;
};

TEST_F(SystemLz, ExpandsWhatOurCompressorWroteAsOurExpanderDoes) {
  struct Sample {
    const char* name;
    Bytes data;
  };
  std::vector<Sample> samples = {
      {"empty", {}},
      {"one byte", {'x'}},
      {"text", szdd_test::TextSample(100000)},
      {"binary", szdd_test::BinarySample(70000)},
      {"random", szdd_test::RandomSample(20000)},
      {"zeros", szdd_test::Zeros(50000)},
      // Around the 4096-byte window and the first match positions.
      {"window - 1", szdd_test::TextSample(4095)},
      {"window", szdd_test::BinarySample(4096)},
      {"window + 1", szdd_test::TextSample(4097)},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.name);
    Bytes file = szdd_test::Compress(s.data, 'x');
    box.Write("SAMPLE.DA_", szdd_test::AsString(file));
    LONG length = -1;
    Bytes system = SystemExpansion("SAMPLE.DA_", &length);
    EXPECT_EQ(length, static_cast<LONG>(s.data.size()));
    EXPECT_TRUE(system == s.data) << system.size() << " bytes, expected " << s.data.size();
    EXPECT_TRUE(system == OurExpansion(file));
  }
}

// A file without the SZDD header is copied unchanged by both.
TEST_F(SystemLz, CopiesAPlainFileUnchanged) {
  Bytes plain = szdd_test::TextSample(5000);
  box.Write("README.TXT", szdd_test::AsString(plain));
  LONG length = -1;
  EXPECT_TRUE(SystemExpansion("README.TXT", &length) == plain);
  EXPECT_EQ(length, 5000);
}

}  // namespace
