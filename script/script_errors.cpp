#include "script_errors.h"

namespace script_error {

const char kUnknownKey[] = "情報ファイルがおかしい";
const char kParentName[] = "情報ファイルがおかしい";
const char kTooManyFiles[] = "ファイルが多すぎる";
const char kBadDiskNumber[] = "ディスク番号が不正";
const char kTooManySplits[] = "ディスク分割が多すぎる";
const char kSplitWithoutDestination[] = "ファイル分割の指定が不正";

}  // namespace script_error
