// FormatMessageA for the system's own texts: the Japanese text of every error
// code that the layer sets, as a Japanese Windows words it.
#include <cstring>

#include "errors.h"
#include "text_api.h"

namespace {

struct ErrorText {
  DWORD code;
  const char* text;
};

const ErrorText kTexts[] = {
    {ERROR_SUCCESS, "この操作を正しく終了しました。\r\n"},
    {ERROR_INVALID_FUNCTION, "ファンクションが間違っています。\r\n"},
    {ERROR_FILE_NOT_FOUND, "指定されたファイルが見つかりません。\r\n"},
    {ERROR_PATH_NOT_FOUND, "指定されたパスが見つかりません。\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "システムはファイルを開くことができません。\r\n"},
    {ERROR_ACCESS_DENIED, "アクセスが拒否されました。\r\n"},
    {ERROR_INVALID_HANDLE, "ハンドルが無効です。\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "このコマンドを実行するのに十分な記憶域がありません。\r\n"},
    {ERROR_BAD_FORMAT, "間違った形式のプログラムを読み込もうとしました。\r\n"},
    {ERROR_OUTOFMEMORY, "この操作を完了するのに十分な記憶域がありません。\r\n"},
    {ERROR_WRITE_PROTECT, "メディアは書き込み禁止になっています。\r\n"},
    {ERROR_NOT_READY, "デバイスの準備ができていません。\r\n"},
    {ERROR_WRITE_FAULT, "システムは指定されたデバイスに書き込めません。\r\n"},
    {ERROR_READ_FAULT, "システムは指定されたデバイスから読み取れません。\r\n"},
    {ERROR_GEN_FAILURE, "システムに接続されたデバイスが機能していません。\r\n"},
    {ERROR_SHARING_VIOLATION, "プロセスはファイルにアクセスできません。別のプロセスが使用中です。\r\n"},
    {ERROR_LOCK_VIOLATION, "プロセスはファイルにアクセスできません。別のプロセスがファイルの一部をロックしています。\r\n"},
    {ERROR_HANDLE_EOF, "ファイルの終わりに到達しました。\r\n"},
    {ERROR_NOT_SUPPORTED, "要求はサポートされていません。\r\n"},
    {ERROR_BAD_NETPATH, "ネットワーク パスが見つかりません。\r\n"},
    {ERROR_FILE_EXISTS, "ファイルが存在します。\r\n"},
    {ERROR_INVALID_PARAMETER, "パラメーターが間違っています。\r\n"},
    {ERROR_BROKEN_PIPE, "パイプは終了しました。\r\n"},
    {ERROR_DISK_FULL, "ディスクに十分な空き領域がありません。\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "この関数はこのシステムではサポートされていません。\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "システム コールに渡されるデータ領域が小さすぎます。\r\n"},
    {ERROR_INVALID_NAME, "ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています。\r\n"},
    {ERROR_MOD_NOT_FOUND, "指定されたモジュールが見つかりません。\r\n"},
    {ERROR_NEGATIVE_SEEK, "ファイル ポインターをファイルの先頭より前に設定しようとしました。\r\n"},
    {ERROR_DIR_NOT_EMPTY, "ディレクトリが空ではありません。\r\n"},
    {ERROR_BAD_PATHNAME, "指定されたパスは無効です。\r\n"},
    {ERROR_ALREADY_EXISTS, "既に存在するファイルを作成することはできません。\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "ファイル名または拡張子が長すぎます。\r\n"},
    {ERROR_MORE_DATA, "データがさらにあります。\r\n"},
    {ERROR_NO_MORE_ITEMS, "データはこれ以上ありません。\r\n"},
    {ERROR_DIRECTORY, "ディレクトリ名が無効です。\r\n"},
    {ERROR_NOACCESS, "メモリ ロケーションへのアクセスが無効です。\r\n"},
    {ERROR_MR_MID_NOT_FOUND, "システムはメッセージ番号 0x%1 のメッセージ テキストを見つけられません。\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "ウィンドウ ハンドルが無効です。\r\n"},
    {ERROR_CONTROL_ID_NOT_FOUND, "コントロール ID が見つかりません。\r\n"},
    {ERROR_INVALID_USER_BUFFER, "指定されたユーザー バッファーは、要求された操作に対して有効ではありません。\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "指定されたリソース名がイメージ ファイル内に見つかりません。\r\n"},
    {ERROR_CANT_RESOLVE_FILENAME, "ファイル名を解決できません。\r\n"},
};

}  // namespace

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD code, DWORD, LPSTR buffer, DWORD size, void*) {
  // Only the system's texts are kept here, given as they stand: any other
  // source, an allocated buffer, arguments or line widths are refused.
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & ~DWORD(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS)))
    return posix::Fail(ERROR_INVALID_PARAMETER), 0;
  for (const ErrorText& t : kTexts) {
    if (t.code != code) continue;
    // Windows looks at the size before the buffer: none at all is a buffer
    // too small. No inserts are filled in, so a text that has one is given
    // only as it stands, when inserts are to be ignored.
    DWORD n = static_cast<DWORD>(std::strlen(t.text));
    if (n >= size) return posix::Fail(ERROR_INSUFFICIENT_BUFFER), 0;
    if (!buffer || (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && std::strchr(t.text, '%')))
      return posix::Fail(ERROR_INVALID_PARAMETER), 0;
    std::memcpy(buffer, t.text, n + 1);
    return n;
  }
  return posix::Fail(ERROR_MR_MID_NOT_FOUND), 0;
}
