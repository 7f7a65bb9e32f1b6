# Running the Windows build's tests under Wine.
#
# The 32-bit build (the product) runs under the 32-bit Wine (wine32:i386) in
# a 32-bit prefix (WINEARCH=win32), as on a 32-bit Windows; the 64-bit build
# runs under wine64 in a 64-bit prefix, where its registry calls meet the
# two views of a 64-bit Windows.
#
# Every program that ctest starts (the test executables, also while
# gtest_discover_tests lists their cases) goes through scripts/wine-run.sh,
# which runs it in this build tree's own prefix. scripts/wine-session.sh makes
# that prefix fresh and gives Wine a display for the length of one ctest run.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(loader wine64)
  set(ZEFA_WINEARCH win64)
else()
  set(loader wine)
  set(ZEFA_WINEARCH win32)
endif()
# Debian's loaders, not /usr/bin/wine, which picks one by the program itself.
find_program(ZEFA_WINE NAMES ${loader} PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
# One server serves both loaders, the 64-bit one if it is there, as
# Debian's wineserver script chooses.
find_program(ZEFA_WINESERVER NAMES wineserver64 wineserver32 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

if(ZEFA_WINE AND ZEFA_WINESERVER)
  set(ZEFA_WINE_RUNS_TESTS ON)
  set(ZEFA_WINE_ENV ${CMAKE_BINARY_DIR}/wine.env)
  # What the scripts need to know of this build tree, in a form sh can read.
  file(WRITE ${ZEFA_WINE_ENV}
    "WINEPREFIX='${CMAKE_BINARY_DIR}/wineprefix'\n"
    "WINEARCH='${ZEFA_WINEARCH}'\n"
    "ZEFA_WINE='${ZEFA_WINE}'\n"
    "ZEFA_WINESERVER='${ZEFA_WINESERVER}'\n"
    "ZEFA_PREFIX_REG='${PROJECT_SOURCE_DIR}/tests/wine/prefix.reg'\n")
  set(CMAKE_CROSSCOMPILING_EMULATOR sh ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${ZEFA_WINE_ENV})
  message(STATUS "Tests run under ${ZEFA_WINE} in a ${ZEFA_WINEARCH} prefix")
else()
  set(ZEFA_WINE_RUNS_TESTS OFF)
  message(STATUS "Tests are built, not run: no ${loader} here (scripts/deps.sh windows installs it)")
endif()
