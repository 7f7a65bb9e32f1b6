# Running the Windows build's tests under Wine.
#
# Only the 64-bit build runs here: wine64 runs 64-bit programs, and the kernel
# of this machine runs no 32-bit ones, which wine32 would need. The 32-bit
# build is built and checked (CheckImports.cmake) but not run.
#
# Every program that ctest starts (the test executables, also while
# gtest_discover_tests lists their cases) goes through scripts/wine-run.sh,
# which runs it in this build tree's own prefix. scripts/wine-session.sh makes
# that prefix fresh and gives Wine a display for the length of one ctest run.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(ZEFA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  find_program(ZEFA_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
endif()

if(ZEFA_WINE64 AND ZEFA_WINESERVER)
  set(ZEFA_WINE_RUNS_TESTS ON)
  set(ZEFA_WINE_ENV ${CMAKE_BINARY_DIR}/wine.env)
  # What the scripts need to know of this build tree, in a form sh can read.
  file(WRITE ${ZEFA_WINE_ENV}
    "WINEPREFIX='${CMAKE_BINARY_DIR}/wineprefix'\n"
    "ZEFA_WINE64='${ZEFA_WINE64}'\n"
    "ZEFA_WINESERVER='${ZEFA_WINESERVER}'\n"
    "ZEFA_PREFIX_REG='${PROJECT_SOURCE_DIR}/tests/wine/prefix.reg'\n")
  set(CMAKE_CROSSCOMPILING_EMULATOR sh ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${ZEFA_WINE_ENV})
  message(STATUS "Tests run under ${ZEFA_WINE64}")
else()
  set(ZEFA_WINE_RUNS_TESTS OFF)
  message(STATUS "Tests are built, not run: no Wine here runs ${CMAKE_SYSTEM_PROCESSOR} programs")
endif()
