# The part of the MinGW-w64 toolchain files that both architectures share.
# A toolchain file sets ZEFA_MINGW_TRIPLET and ZEFA_MINGW_PROCESSOR, then
# includes this one.
#
# Debian ships each compiler in two threading variants. We take the posix one:
# GCC 12's win32 variant has no std::thread, std::mutex or std::call_once, and
# the posix variant's libwinpthread is linked statically with the rest (see
# -static in Flags.cmake), so it adds no DLL to the medium.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZEFA_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${ZEFA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEFA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEFA_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only; programs run here.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEFA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
