#ifndef _WIN32
#include "engine_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>

#include "codec/reference.h"
#include "foundation/exception.h"
#include "foundation/process_values.h"
#include "updater/resource.h"

void EngineRun::SetUp() {
  for (const char* dir : {"medium", "disks", "Game", "temp"}) box.MakeDir(dir);
  setenv("TMP", box.Host("temp").c_str(), 1);
  lstrcpyA(SourceDirectory, "C:\\medium");
  progress = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, nullptr, 0);
  ASSERT_NE(progress, nullptr);
  ProgressDialogHandle = progress;
}

void EngineRun::TearDown() {
  DestroyWindow(progress);
  ProgressDialogHandle = nullptr;
  unsetenv("TMP");
  EXPECT_EQ(user.Left(), 0u) << "answers left over";
}

void EngineRun::OnDisk(int n, const std::string& name, const std::string& content, uint64_t time) {
  std::string disk = "disks\\" + std::to_string(n);
  if (!box.Exists(disk + "\\disk" + std::to_string(n) + ".fix")) {
    box.MakeDir(disk);
    box.Write(disk + "\\disk" + std::to_string(n) + ".fix", "");
  }
  box.Write(disk + "\\" + name, content);
  box.SetWriteTime(disk + "\\" + name, time);
}

void EngineRun::OnDiskCompressed(int n, const std::string& name, const std::string& content, uint64_t time) {
  OnDisk(n, name, szdd_test::AsString(szdd_test::Compress(szdd_test::Bytes(content.begin(), content.end()))), time);
}

void EngineRun::Installed(const std::string& name, const std::string& content, uint64_t time) {
  box.Write("Game\\" + name, content);
  box.SetWriteTime("Game\\" + name, time);
}

void EngineRun::Insert(int n) {
  std::string drive = box.Host(mediumFolder);
  if (DIR* d = opendir(drive.c_str())) {
    while (struct dirent* e = readdir(d))
      if (e->d_name[0] != '.') std::system(("rm -rf '" + drive + "/" + e->d_name + "'").c_str());
    closedir(d);
  }
  std::string disk = box.Host("disks\\" + std::to_string(n));
  std::system(("cp -a '" + disk + "/.' '" + drive + "/' 2>/dev/null").c_str());
}

std::string EngineRun::Run(const std::string& text) {
  box.Write("disks\\1\\Orbane.fix", text);
  if (!box.Exists("disks\\1\\disk1.fix")) box.Write("disks\\1\\disk1.fix", "");
  lstrcpyA(SourceDirectory, box.Win(mediumFolder).c_str());
  Insert(1);
  try {
    UpdateScript script;
    script.Load("Orbane.fix");
    UpdateJob job(&script);
    lstrcpyA(job.installDir, installDir.c_str());
    job.Run(progress, GetDlgItem(progress, IDC_PROGRESS));
  } catch (Exception& e) {
    return e.message ? e.message : "(null)";
  }
  return "";
}

int EngineRun::BarPosition() const {
  return static_cast<int>(SendMessageA(GetDlgItem(progress, IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

int EngineRun::BarMaximum() const {
  return static_cast<int>(SendMessageA(GetDlgItem(progress, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0));
}
#endif
