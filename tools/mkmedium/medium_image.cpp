#include "medium_image.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host_files.h"
#include "medium_check.h"

extern char** environ;

namespace mkmedium {
namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Runs a program with no shell between, its input empty (so that it can
// never wait for an answer), its output collected. Raises Failure naming
// what it printed when it fails.
void RunTool(const std::vector<std::string>& argv, const std::string& what) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw Failure("cannot start " + argv[0] + ": " + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // mtools turns the host's names into long names by the locale's charset.
  std::vector<std::string> env{"LC_ALL=C.UTF-8", "MTOOLS_SKIP_CHECK=1"};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "MTOOLS_SKIP_CHECK=", 18) != 0) env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  pid_t pid;
  int err = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (err != 0) {
    close(out[0]);
    throw Failure("cannot start " + argv[0] + ": " + std::strerror(err));
  }
  std::string printed;
  char buf[4096];
  for (;;) {
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    printed.append(buf, size_t(n));
  }
  close(out[0]);
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    CheckInterrupt();  // the tool got the same signal from the terminal
    while (!printed.empty() && printed.back() == '\n') printed.pop_back();
    throw Failure(what + ": " + argv[0] + " failed" + (printed.empty() ? "" : ":\n" + printed));
  }
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) throw SystemFailure("cannot read the folder", folder, errno);
  while (struct dirent* e = readdir(dir.get()))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(folder + "/" + e->d_name);
  std::sort(names.begin(), names.end());
  return names;
}

void MakeFloppy(const std::string& folder, const std::string& image, const DiskFormat& format) {
  std::string what = folder + " on a " + format.name + " floppy";
  RunTool({"mformat", "-i", image, "-C", "-f", std::to_string(format.floppyKb), "::"}, what);
  std::vector<std::string> argv{"mcopy", "-i", image, "-s", "-m", "-Q"};
  std::vector<std::string> names = Entries(folder);
  argv.insert(argv.end(), names.begin(), names.end());
  argv.push_back("::/");
  RunTool(argv, what);
}

void MakeIso(const std::string& tool, const std::string& folder, const std::string& image) {
  std::string volume;
  for (char c : BaseName(folder))
    if (std::isalnum(static_cast<unsigned char>(c)) && volume.size() < 32)
      volume += char(std::toupper(static_cast<unsigned char>(c)));
  if (volume.empty()) volume = "UPDATE";
  std::vector<std::string> argv{tool};
  if (BaseName(tool) == "xorriso") argv.insert(argv.end(), {"-as", "mkisofs"});
  argv.insert(argv.end(), {"-quiet", "-R", "-J", "-joliet-long", "-input-charset", "utf-8", "-V", volume, "-o",
                           image, folder});
  RunTool(argv, folder + " on a CD image");
}

}  // namespace

std::string FindProgram(const std::vector<std::string>& names) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (const std::string& name : names) {
    size_t start = 0;
    for (;;) {
      size_t colon = dirs.find(':', start);
      std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0 && !IsFolder(candidate)) return candidate;
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  return "";
}

std::vector<std::string> MakeImages(const ImageOptions& options, Progress& progress) {
  std::string tool;
  if (options.iso) {
    tool = FindProgram({"xorriso", "genisoimage"});
    if (tool.empty()) throw Failure("a CD image needs xorriso or genisoimage (Debian packages xorriso, genisoimage)");
  } else {
    if (!options.format.floppyKb) throw Failure("a floppy image needs the size 720K, 1.44M or 2.88M");
    if (FindProgram({"mformat"}).empty() || FindProgram({"mcopy"}).empty())
      throw Failure("a floppy image needs mformat and mcopy (Debian package mtools)");
  }
  std::vector<std::string> folders = FindDiskFolders({options.medium});
  // By default the images go into the folder of disk folders, or beside a
  // disk folder given by itself; never into a disk, which they copy.
  std::string output = options.output;
  if (output.empty())
    output = folders.size() == 1 && folders[0] == RealPath(options.medium)
                 ? folders[0].substr(0, std::max<size_t>(folders[0].rfind('/'), 1))
                 : options.medium;
  MakeFolders(output);
  for (const std::string& f : folders)
    if (Within(RealPath(output), f))
      throw Failure("the images cannot go into the disk folder " + f);
  std::vector<std::string> images;
  for (const std::string& f : folders) {
    std::string image = output + "/" + BaseName(f) + (options.iso ? ".iso" : ".img");
    if (Exists(image) && !options.force) throw Failure(image + " exists; give --force to replace it");
    images.push_back(image);
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    progress.Show("making " + BaseName(images[i]) + " (" + std::to_string(i + 1) + "/" +
                  std::to_string(folders.size()) + ")");
    std::string partial = output + "/." + BaseName(images[i]) + ".partial";
    unlink(partial.c_str());
    try {
      if (options.iso)
        MakeIso(tool, folders[i], partial);
      else
        MakeFloppy(folders[i], partial, options.format);
    } catch (...) {
      unlink(partial.c_str());
      throw;
    }
    if (rename(partial.c_str(), images[i].c_str()) != 0) {
      int err = errno;
      unlink(partial.c_str());
      throw SystemFailure("cannot put in place", images[i], err);
    }
  }
  return images;
}

}  // namespace mkmedium
