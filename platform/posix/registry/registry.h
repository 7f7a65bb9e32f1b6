// The registry of the POSIX layer, read from the prefix's registry files.
#pragma once

#include <cstddef>

namespace posix {

// The number of keys opened and not yet closed; tests use it to find leaks.
size_t OpenKeyCount();

}  // namespace posix
