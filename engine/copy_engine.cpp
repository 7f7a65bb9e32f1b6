// The copy run: every entry of the script in order, its disks asked for, its
// file copied or expanded, or its pieces expanded and joined, the progress bar
// stepped once per entry.
#include "file_copy.h"
#include "foundation/exception.h"
#include "foundation/file_cat.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "foundation/text_format.h"
#include "overwrite_confirmation.h"
#include "update_job.h"

namespace {

void CopySingle(const UpdateEntry& entry, HWND owner, const char* installDir) {
  char source[MAX_PATH], destination[MAX_PATH];
  entry.MakePaths(source, destination, SourceDirectory, installDir);
  UpdateJob::PromptForDisk(owner, SourceDirectory, entry.disks[0]);
  // The freshness test looks at the file as it lies on the medium.
  if (!IsInstalledSameOrNewer(source, destination) || AskOverwrite(source, destination))
    CopyOrExpand(source, destination);
}

void CopySplit(const UpdateEntry& entry, HWND owner, const char* installDir, const char* tempDir) {
  char medium[MAX_PATH], temporary[MAX_PATH], destination[MAX_PATH];
  for (int i = 1; i <= entry.diskCount; ++i) {
    UpdateJob::PromptForDisk(owner, SourceDirectory, entry.disks[i - 1]);
    entry.MakePiecePaths(i, medium, temporary, SourceDirectory, tempDir);
    CopyOrExpand(medium, temporary);
  }
  entry.MakeDestinationPath(destination, installDir);
  entry.MakeTempPiecePath(1, temporary, tempDir);
  // Asked only once every piece is off its disk; a refusal leaves the pieces
  // in the temporary directory.
  if (IsInstalledSameOrNewer(temporary, destination) && !AskReplaceInstalled(destination)) return;
  FileCat joined(destination);
  for (int i = 1; i <= entry.diskCount; ++i) {
    entry.MakeTempPiecePath(i, temporary, tempDir);
    joined.Append(temporary);
  }
}

}  // namespace

void UpdateJob::Run(HWND owner, HWND progressBar) {
  SendMessageA(progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, script->entryCount));
  SendMessageA(progressBar, PBM_SETSTEP, 1, 0);
  UpdateScriptIterator entries(*script);
  while (const UpdateEntry* entry = entries.Next()) {
    if (entry->diskCount >= 2)
      CopySplit(*entry, owner, installDir, tempDir);
    else
      CopySingle(*entry, owner, installDir);
    SendMessageA(progressBar, PBM_STEPIT, 0, 0);
  }
}

void UpdateJob::PromptForDisk(HWND owner, const char* sourceDir, int disk) {
  char label[20], path[MAX_PATH], request[256];
  FormatText(label, sizeof label, "disk%d.fix", disk);
  JoinPath(path, sourceDir, label);
  if (FileExists(path)) return;
  for (;;) {
    FormatText(request, sizeof request, "ディスク %d を入れてください", disk);
    if (MessageBoxA(owner, request, kUpdaterCaption, MB_OKCANCEL | MB_ICONINFORMATION) == IDCANCEL &&
        MessageBoxA(owner,
                    "アップデートを中断しますか？\nここで中断するとアプリケーションが正常に動作しなくなります。\n"
                    "よろしいですか？",
                    kUpdaterCaption, MB_YESNO | MB_ICONWARNING) == IDYES)
      throw Exception("アップデートを中止します");
    JoinPath(path, sourceDir, label);
    if (FileExists(path)) return;
  }
}
