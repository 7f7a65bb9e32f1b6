// How an expansion or a compression ended.
#pragma once

namespace szdd {

enum class Status {
  kOk,
  kNotSzdd,         // the input does not start with an SZDD header
  kUnknownMode,     // an SZDD header with a mode other than 'A'
  kTruncated,       // the input ends inside a match
  kOutputLimit,     // the output would pass the capacity it was given
  kReadError,       // the input could not be read
  kWriteError,      // the output could not be written
  kLengthMismatch,  // the compressor read another length than the header states
  kTooLarge,        // the input is longer than the header can state (4 GiB)
};

// A short English text for a status, for tools and test messages.
const char* StatusText(Status status);

}  // namespace szdd
