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

// A path that does not fit would be cut and name another file: the entry
// fails before anything is asked or written, with the failure of the
// operation that needed the path, naming it as far as it fits.
void CopySingle(const UpdateEntry& entry, HWND owner, const char* installDir) {
  char source[MAX_PATH], destination[MAX_PATH];
  if (!entry.MakePaths(source, destination, SourceDirectory, installDir)) throw ExceptFileCopy(source, destination);
  UpdateJob::PromptForDisk(owner, SourceDirectory, entry.disks[0]);
  // The freshness test looks at the file as it lies on the medium.
  if (!IsInstalledSameOrNewer(source, destination) || AskOverwrite(source, destination))
    CopyOrExpand(source, destination);
}

void CopySplit(const UpdateEntry& entry, HWND owner, const char* installDir, const char* tempDir) {
  char medium[MAX_PATH], temporary[MAX_PATH], destination[MAX_PATH];
  for (int i = 1; i <= entry.diskCount; ++i)
    if (!entry.MakePiecePaths(i, medium, temporary, SourceDirectory, tempDir)) throw ExceptFileCopy(medium, temporary);
  if (!entry.MakeDestinationPath(destination, installDir)) throw FileCat::ExceptCreate(destination);
  for (int i = 1; i <= entry.diskCount; ++i) {
    UpdateJob::PromptForDisk(owner, SourceDirectory, entry.disks[i - 1]);
    entry.MakePiecePaths(i, medium, temporary, SourceDirectory, tempDir);
    CopyOrExpand(medium, temporary);
  }
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
  // A label path that does not fit names no disk: the request stays.
  if (JoinPath(path, sourceDir, label) && FileExists(path)) return;
  for (;;) {
    FormatText(request, sizeof request, "ディスク %d を入れてください", disk);
    if (MessageBoxA(owner, request, kUpdaterCaption, MB_OKCANCEL | MB_ICONINFORMATION) == IDCANCEL &&
        MessageBoxA(owner,
                    "アップデートを中断しますか？\nここで中断するとアプリケーションが正常に動作しなくなります。\n"
                    "よろしいですか？",
                    kUpdaterCaption, MB_YESNO | MB_ICONWARNING) == IDYES)
      throw Exception("アップデートを中止します");
    if (JoinPath(path, sourceDir, label) && FileExists(path)) return;
  }
}
