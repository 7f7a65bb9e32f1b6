# 64-bit Windows, where the tests run under wine64:
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(ZEFA_MINGW_TRIPLET x86_64-w64-mingw32)
set(ZEFA_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
