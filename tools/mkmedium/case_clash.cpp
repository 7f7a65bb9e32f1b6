#include "case_clash.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

#include "host_files.h"
#include "medium_name.h"
#include "wintext/cp932.h"

namespace mkmedium {
namespace {

void Walk(const std::string& root, const std::string& rel, std::vector<Clash>* found) {
  std::string folder = rel.empty() ? root : root + "/" + rel;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) throw SystemFailure("cannot read the folder", folder, errno);
  std::vector<std::string> names;
  errno = 0;
  while (struct dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  if (errno) throw SystemFailure("cannot read the folder", folder, errno);
  std::sort(names.begin(), names.end());
  std::map<std::string, Clash, NoCaseLess> byName;
  for (const std::string& name : names) {
    std::string cp932;
    if (!wintext::Utf8ToCp932(name, &cp932)) cp932 = name;
    byName[cp932].push_back(rel.empty() ? name : rel + "/" + name);
  }
  for (auto& [key, same] : byName)
    if (same.size() > 1) found->push_back(same);
  for (const std::string& name : names) {
    std::string path = rel.empty() ? name : rel + "/" + name;
    struct stat st;
    if (lstat((root + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Walk(root, path, found);
  }
}

}  // namespace

std::vector<Clash> FindCaseClashes(const std::string& root) {
  std::vector<Clash> found;
  Walk(root, "", &found);
  return found;
}

std::string ClashText(const Clash& clash) {
  std::string text;
  for (size_t i = 0; i < clash.size(); ++i)
    text += (i == 0 ? "" : i + 1 == clash.size() ? " and " : ", ") + clash[i];
  return text;
}

}  // namespace mkmedium
