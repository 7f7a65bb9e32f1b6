// The Windows error code of the POSIX layer, and the translation of errno.
#pragma once

#include "text_api.h"

namespace posix {

// The Windows error code for an errno value of a failed file call.
DWORD ErrorFromErrno(int err);

// Sets the last error from errno and returns FALSE, the usual failure result.
BOOL FailErrno();

// Sets the last error to code and returns FALSE.
BOOL Fail(DWORD code);

}  // namespace posix
