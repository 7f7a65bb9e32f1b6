#include "case_clash.h"

#include <sys/stat.h>

#include <map>

#include "host_files.h"
#include "medium_name.h"
#include "wintext/cp932.h"

namespace mkmedium {
namespace {

void Walk(const std::string& root, const std::string& rel, std::vector<Clash>* found) {
  std::vector<std::string> names = FolderNames(rel.empty() ? root : root + "/" + rel);
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
