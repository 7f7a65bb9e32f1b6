# The part of the MinGW-w64 toolchain files that both architectures share.
# A toolchain file sets ZEFA_MINGW_TRIPLET and ZEFA_MINGW_PROCESSOR, then
# includes this one.
#
# Debian ships each compiler in two threading variants. We take the win32
# one: the programs have one thread, and the posix variant's runtime
# (winpthreads) imports functions that Windows 95, 98, ME and NT 4.0 do not
# export (GetTickCount64, AddVectoredExceptionHandler, TryEnterCriticalSection,
# ...), so that the programs would not even load there. GCC 12's win32
# variant has no std::thread, std::mutex or std::call_once; nothing that is
# built for Windows needs them.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZEFA_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${ZEFA_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZEFA_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${ZEFA_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only; programs run here.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEFA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
