// mkmedium: builds update media for the updater, checks them as the updater
// will read them, and makes disk images of them.
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "host_files.h"
#include "medium_builder.h"
#include "medium_check.h"
#include "medium_image.h"
#include "medium_name.h"

namespace {

using namespace mkmedium;

enum Exit { kOk = 0, kProblems = 1, kUsage = 2, kFailed = 3 };

const char kUsageText[] =
    "usage: mkmedium build [options] FILES OUT\n"
    "       mkmedium check [--quiet] MEDIUM...\n"
    "       mkmedium image (--floppy SIZE | --iso) [--output DIR] [--force] [--quiet] MEDIUM\n"
    "\n"
    "build makes the update medium OUT from FILES, a folder of updated files laid\n"
    "out as in the installation: one folder per disk (disk1, disk2, ...), each with\n"
    "its label diskN.fix; the launcher, Tavrix.bin and the script Orbane.fix on the\n"
    "first. Files are stored compressed (MAIN.EXE as MAIN.EX_) where that makes\n"
    "them smaller, and split over the following disks where they are larger than\n"
    "the room left.\n"
    "  --appname TEXT        the product's name, as the updater shows it (APPNAME)\n"
    "  --registry NAME       the product's registry name (REGISTRY)\n"
    "  --garmoregistry NAME  the expansion kit's registry value (GARMOREGISTRY), optional\n"
    "  --mode TEXT           MODE: NORMAL, or another value for an update of the kit;\n"
    "                        optional, none is NORMAL\n"
    "  --disk-size SIZE      720K, 1.44M, 2.88M (floppies), 650M (a CD) or bytes\n"
    "  --orbane FILE         the built launcher: Orbane (Linux) or Orbane.exe (Windows)\n"
    "  --tavrix FILE         the built Tavrix.bin of the same platform\n"
    "  --force               replace OUT when it exists\n"
    "\n"
    "check reads the medium's Orbane.fix with the updater's own loader and looks\n"
    "for every file and piece on the disk the script names (disk N is the folder\n"
    "that holds diskN.fix, in that form: not disk02.fix). MEDIUM is a disk\n"
    "folder or a folder of them. Each problem is printed as FILE:LINE: what:\n"
    "besides the script's own, labels in another form, a folder with two labels,\n"
    "and names that differ only in letter case. Each folder of the installation\n"
    "that the script writes into is printed as FILE:LINE: note: the updater\n"
    "creates no folder, so the installation must already have it (build prints\n"
    "these notes too).\n"
    "\n"
    "image makes diskN.img (FAT12, with mtools) or diskN.iso (with xorriso or\n"
    "genisoimage) of each disk folder, in MEDIUM or beside a lone disk folder.\n"
    "\n"
    "--quiet prints nothing but errors and problems. Texts are UTF-8; the medium's\n"
    "are CP932.\n"
    "\n"
    "exit status: 0 done (check: the medium is clean); 1 check found problems;\n"
    "2 usage; 3 the command could not be done (the reason is on standard error).\n";

// The reason and the three lines of the synopsis; --help gives the rest.
int Usage(const std::string& why) {
  const char* synopsisEnd = std::strstr(kUsageText, "\n\n");
  std::fprintf(stderr, "mkmedium: %s\n%.*s\n", why.c_str(), int(synopsisEnd - kUsageText), kUsageText);
  return kUsage;
}

// Options with a value ("--name VALUE" or "--name=VALUE"), flags, and the
// remaining arguments in order.
struct Arguments {
  std::map<std::string, std::string> values;
  std::map<std::string, bool> flags;
  std::vector<std::string> rest;
};

bool Parse(int argc, char** argv, const std::vector<std::string>& valued, const std::vector<std::string>& flagged,
           Arguments* args, std::string* error) {
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      for (++i; i < argc; ++i) args->rest.push_back(argv[i]);
      break;
    }
    if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
      args->rest.push_back(a);
      continue;
    }
    std::string name = a.substr(2), value;
    size_t eq = name.find('=');
    bool inlineValue = eq != std::string::npos;
    if (inlineValue) value = name.substr(eq + 1), name = name.substr(0, eq);
    bool isValued = false, isFlag = false;
    for (const std::string& v : valued) isValued |= v == name;
    for (const std::string& f : flagged) isFlag |= f == name;
    if (isFlag && !inlineValue) {
      args->flags[name] = true;
    } else if (isValued) {
      if (!inlineValue) {
        if (i + 1 >= argc) {
          *error = "--" + name + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (args->values.count(name)) {
        *error = "--" + name + " is given twice";
        return false;
      }
      args->values[name] = value;
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

std::string Thousands(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Each as "FILE:LINE: what", or "FILE: what" for the medium as a whole.
void PrintProblems(const std::string& script, const std::vector<Problem>& list, const char* kind) {
  for (const Problem& p : list) {
    std::string at = p.line ? script + ":" + std::to_string(p.line) : script;
    std::printf("%s: %s%s\n", at.c_str(), kind, p.text.c_str());
  }
}

int Build(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!Parse(argc, argv, {"appname", "registry", "garmoregistry", "mode", "disk-size", "orbane", "tavrix"},
             {"force", "quiet"}, &args, &error))
    return Usage(error);
  for (const char* needed : {"appname", "registry", "disk-size", "orbane", "tavrix"})
    if (!args.values.count(needed)) return Usage(std::string("build needs --") + needed);
  if (args.rest.size() != 2) return Usage("build needs FILES and OUT");
  BuildOptions o;
  o.files = args.rest[0];
  o.out = args.rest[1];
  if (args.values.count("garmoregistry") && args.values["garmoregistry"].empty())
    return Usage("--garmoregistry is empty");
  if (args.values.count("mode") && args.values["mode"].empty()) return Usage("--mode is empty");
  o.keys.appName = args.values["appname"];
  o.keys.registry = args.values["registry"];
  o.keys.kitValue = args.values["garmoregistry"];
  o.keys.mode = args.values["mode"];
  if (!ParseDiskFormat(args.values["disk-size"], &o.format))
    return Usage("unknown disk size " + args.values["disk-size"]);
  o.launcher = args.values["orbane"];
  o.updater = args.values["tavrix"];
  o.force = args.flags["force"];
  bool quiet = args.flags["quiet"];

  Progress progress(!quiet);
  BuildResult r = BuildMedium(o, progress);
  progress.Clear();
  if (quiet) return kOk;
  int compressed = 0, split = 0;
  std::vector<int> perDisk(size_t(r.disks) + 1);
  for (const BuiltFile& f : r.files) {
    compressed += f.compressed;
    split += f.pieces.size() > 1;
    for (const Piece& p : f.pieces) ++perDisk[size_t(p.disk)];
  }
  std::printf("%s: %zu file%s (%d compressed, %d split) on %d disk%s of %s\n", o.out.c_str(), r.files.size(),
              r.files.size() == 1 ? "" : "s", compressed, split, r.disks, r.disks == 1 ? "" : "s",
              o.format.name.c_str());
  for (int d = 1; d <= r.disks; ++d)
    std::printf("  disk%d: %s%d file%s, %s bytes free\n", d,
                d == 1 ? (r.launcherName + ", Tavrix.bin, Orbane.fix, ").c_str() : "", perDisk[size_t(d)],
                perDisk[size_t(d)] == 1 ? "" : "s", Thousands(r.freeBytes[size_t(d - 1)]).c_str());
  std::string out = o.out;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  PrintProblems(out + "/disk1/Orbane.fix", r.notes, "note: ");
  return kOk;
}

int Check(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!Parse(argc, argv, {}, {"quiet"}, &args, &error)) return Usage(error);
  if (args.rest.empty()) return Usage("check needs a MEDIUM");
  CheckReport report = CheckMedium(args.rest);
  PrintProblems(report.script, report.problems, "");
  if (!args.flags["quiet"]) PrintProblems(report.script, report.notes, "note: ");
  if (!report.problems.empty()) {
    if (!args.flags["quiet"])
      std::printf("%zu problem%s\n", report.problems.size(), report.problems.size() == 1 ? "" : "s");
    return kProblems;
  }
  if (!args.flags["quiet"])
    std::printf("%s: clean: %d entr%s on %d disk%s\n", report.script.c_str(), report.entries,
                report.entries == 1 ? "y" : "ies", report.disks, report.disks == 1 ? "" : "s");
  return kOk;
}

int Image(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!Parse(argc, argv, {"floppy", "output"}, {"iso", "force", "quiet"}, &args, &error)) return Usage(error);
  if (args.rest.size() != 1) return Usage("image needs one MEDIUM");
  ImageOptions o;
  o.medium = args.rest[0];
  o.output = args.values["output"];
  o.iso = args.flags["iso"];
  o.force = args.flags["force"];
  if (o.iso == (args.values.count("floppy") > 0)) return Usage("image needs either --floppy SIZE or --iso");
  if (!o.iso && (!ParseDiskFormat(args.values["floppy"], &o.format) || !o.format.floppyKb))
    return Usage("--floppy takes 720K, 1.44M or 2.88M");
  bool quiet = args.flags["quiet"];
  Progress progress(!quiet);
  std::vector<std::string> images = MakeImages(o, progress);
  progress.Clear();
  if (!quiet)
    for (const std::string& i : images) std::printf("%s\n", i.c_str());
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  CatchInterrupts();
  try {
    if (command == "build") return Build(argc, argv);
    if (command == "check") return Check(argc, argv);
    if (command == "image") return Image(argc, argv);
    if (command == "-h" || command == "--help" || command == "help") {
      std::fputs(kUsageText, stdout);
      return kOk;
    }
    return Usage(command.empty() ? "no command" : "unknown command " + command);
  } catch (const Failure& f) {
    std::fflush(stdout);
    std::fprintf(stderr, "mkmedium: %s\n", f.what());
    return kFailed;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "mkmedium: out of memory\n");
    return kFailed;
  }
}
