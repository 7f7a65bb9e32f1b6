# 32-bit Windows (the product): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(ZEFA_MINGW_TRIPLET i686-w64-mingw32)
set(ZEFA_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
