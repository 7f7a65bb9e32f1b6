#include "status.h"

namespace szdd {

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kNotSzdd: return "not an SZDD file";
    case Status::kUnknownMode: return "unknown SZDD compression mode";
    case Status::kTruncated: return "compressed data ends inside a match";
    case Status::kOutputLimit: return "expanded data exceeds the output capacity";
    case Status::kReadError: return "read error";
    case Status::kWriteError: return "write error";
    case Status::kLengthMismatch: return "input length differs from the stated length";
    case Status::kTooLarge: return "input longer than 4 GiB - 1";
  }
  return "unknown status";
}

}  // namespace szdd
