#include "medium_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "codec/expander.h"
#include "codec/memory_stream.h"
#include "host_files.h"
#include "wintext/cp932.h"
#include "reference.h"

MediumTest::MediumTest() {
  mkmedium::MakeFolders(Path("files"));
  // Small stand-ins for the programs: the tool tells their platform from
  // their first bytes and only copies them.
  std::string launcher = "\x7F" "ELF" + std::string(96, 'L');
  std::string updater = "\x7F" "ELF" + std::string(196, 'U');
  std::ofstream(Path("Orbane"), std::ios::binary) << launcher;
  std::ofstream(Path("Tavrix.bin"), std::ios::binary) << updater;
  options.files = Path("files");
  options.out = Path("out");
  options.keys.appName = u8"サンプル";
  options.keys.registry = "SampleGame";
  options.launcher = Path("Orbane");
  options.updater = Path("Tavrix.bin");
  mkmedium::ParseDiskFormat("1000000", &options.format);
}

std::string MediumTest::Path(const std::string& rel) const {
  std::string root = box.Host("");
  return rel.empty() ? root : root + "/" + rel;
}

void MediumTest::AddFile(const std::string& rel, const std::string& bytes) {
  std::string path = Path("files/" + rel);
  mkmedium::MakeFolders(path.substr(0, path.rfind('/')));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

mkmedium::BuildResult MediumTest::Build() {
  mkmedium::Progress quiet(false);
  return mkmedium::BuildMedium(options, quiet);
}

std::string MediumTest::BuildError() {
  try {
    Build();
  } catch (const mkmedium::Failure& f) {
    return f.what();
  }
  return "";
}

std::string MediumTest::Read(const std::string& rel) const {
  std::ifstream in(Path(rel), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool MediumTest::Exists(const std::string& rel) const { return mkmedium::Exists(Path(rel)); }

std::vector<std::string> MediumTest::ScriptLines() const {
  std::vector<std::string> lines;
  std::istringstream in(Read("out/disk1/Orbane.fix"));
  for (std::string line; std::getline(in, line);) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "a line without CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != ';') lines.push_back(line);
  }
  return lines;
}

std::string MediumTest::Content(const std::string& rel) const {
  std::string bytes = Read(rel);
  if (rel.back() != '_') return bytes;
  szdd::MemoryInput in(bytes.data(), bytes.size());
  szdd::MemoryOutput out;
  szdd::Header header;
  szdd::Expander expander;
  EXPECT_EQ(expander.ExpandFile(in, out, UINT64_MAX, &header), szdd::Status::kOk) << rel;
  EXPECT_EQ(header.length, out.bytes().size()) << rel;
  return std::string(out.bytes().begin(), out.bytes().end());
}

namespace {

// Runs command in a shell; its output, errors too, into out.
int Shell(const std::string& command, std::string* out) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
  int status = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int MediumTest::Run(const std::vector<std::string>& args, std::string* out) const {
  std::string command = MKMEDIUM_PROGRAM;
  for (const std::string& a : args) command += " '" + a + "'";
  return Shell(command, out);
}

std::string MediumTest::Listing() const { return CommandOutput("ls -A '" + Path("") + "'"); }

std::string CommandOutput(const std::string& command) {
  std::string out;
  Shell(command, &out);
  return out;
}

std::string Text(size_t size, unsigned seed) {
  szdd_test::Bytes b = szdd_test::TextSample(size + seed);
  return std::string(b.begin() + seed, b.end());
}

std::string Noise(size_t size, unsigned seed) { return szdd_test::AsString(szdd_test::RandomSample(size, seed)); }
