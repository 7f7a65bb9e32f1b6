// Compatibility with other implementations of the format: libmspack's
// decoder reads what we write, and msexpand and mscompress (the free
// COMPRESS.EXE work-alike) exchange files with us both ways. The latter two
// make one system call per byte, so their inputs stay small.
#include <fcntl.h>
#include <mspack.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "codec/expander.h"
#include "codec/memory_stream.h"
#include "reference.h"

namespace {

using szdd_test::Bytes;

class Peers : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zefa-peers-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    Run({"/bin/rm", "-rf", dir_});
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const Bytes& data) const {
    std::ofstream out(Path(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    return Bytes(text.begin(), text.end());
  }

  // Runs a program with standard input and output redirected where given;
  // returns its exit status.
  static int Run(const std::vector<std::string>& argv, const std::string& in = "", const std::string& out = "",
                 const std::string& cwd = "") {
    pid_t pid = fork();
    if (pid == 0) {
      if (!in.empty()) dup2(open(in.c_str(), O_RDONLY), 0);
      if (!out.empty()) dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
};

Bytes ExpandWithUs(const Bytes& file) {
  szdd::MemoryInput in(file.data(), file.size());
  szdd::MemoryOutput out;
  szdd::Header header;
  szdd::Expander expander;
  EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), szdd::Status::kOk);
  return out.bytes();
}

TEST_F(Peers, LibmspackExpandsWhatWeCompress) {
  msszdd_decompressor* decoder = mspack_create_szdd_decompressor(nullptr);
  ASSERT_NE(decoder, nullptr);
  struct {
    const char* name;
    Bytes data;
  } samples[] = {
      {"empty", {}},
      {"text", szdd_test::TextSample(2 << 20)},
      {"binary", szdd_test::BinarySample(1 << 20)},
      {"random", szdd_test::RandomSample(300000)},
      {"zeros", szdd_test::Zeros(1 << 20)},
      {"odd", szdd_test::TextSample(4097)},
  };
  for (const auto& s : samples) {
    Write("in_", szdd_test::Compress(s.data, 'x'));
    ASSERT_EQ(decoder->decompress(decoder, Path("in_").c_str(), Path("out").c_str()), MSPACK_ERR_OK) << s.name;
    EXPECT_TRUE(Read("out") == s.data) << s.name;
    msszddd_header* header = decoder->open(decoder, Path("in_").c_str());
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->length, static_cast<off_t>(s.data.size()));
    EXPECT_EQ(header->missing_char, 'x');
    decoder->close(decoder, header);
  }
  mspack_destroy_szdd_decompressor(decoder);
}

TEST_F(Peers, MsexpandExpandsWhatWeCompress) {
  for (const Bytes& data : {szdd_test::TextSample(30000), szdd_test::BinarySample(20000),
                            szdd_test::Zeros(20000), szdd_test::TextSample(4096)}) {
    Write("in_", szdd_test::Compress(data));
    ASSERT_EQ(Run({"/usr/bin/msexpand"}, Path("in_"), Path("out")), 0);
    EXPECT_TRUE(Read("out") == data) << data.size();
  }
}

TEST_F(Peers, WeExpandWhatMscompressWrites) {
  // Nothing under 17 bytes: for those mscompress writes wrong data (a zero
  // byte in place of the file's last bytes).
  for (const Bytes& data : {szdd_test::TextSample(30000), szdd_test::BinarySample(20000),
                            szdd_test::RandomSample(5000), Bytes(9000, ' '), szdd_test::TextSample(17)}) {
    Write("sample.dat", data);
    unlink(Path("sample.dat_").c_str());  // mscompress keeps an existing file
    ASSERT_EQ(Run({"/usr/bin/mscompress", "sample.dat"}, "", "/dev/null", dir_), 0);
    Bytes file = Read("sample.dat_");
    ASSERT_GE(file.size(), szdd::kHeaderSize);
    EXPECT_TRUE(ExpandWithUs(file) == data) << data.size();
    EXPECT_TRUE(szdd_test::ReferenceExpand(Bytes(file.begin() + 14, file.end())) == data);
  }
}

}  // namespace
