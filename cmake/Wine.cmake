# Running the Windows build's tests under Wine.
#
# The 32-bit build (the product) runs under the 32-bit Wine (wine32:i386) in
# a 32-bit prefix (WINEARCH=win32), as on a 32-bit Windows; the 64-bit build
# runs under wine64 in a 64-bit prefix, where its registry calls meet the
# two views of a 64-bit Windows.
#
# Some hosts refuse every 32-bit program, the 32-bit Wine included. ZEFA_I386
# is what scripts/i386_probe.py found on this one ("runs", or "refused:" and
# the reason; the Makefile passes it). Where they are refused, the 32-bit
# tree's tests that run its programs are each reported as skipped with the
# reason (ZEFA_WINE_SKIPPED), and the 64-bit tree stands in for it with every
# test and scenario (ZEFA_WINE_STANDS_IN).
#
# Every program that ctest starts (the test executables, also while
# gtest_discover_tests lists their cases) goes through scripts/wine-run.sh,
# which runs it in this build tree's own prefix. scripts/wine-session.sh makes
# that prefix fresh and gives Wine a display for the length of one ctest run.

set(ZEFA_I386 "" CACHE STRING "Whether this machine runs 32-bit programs: runs, or refused: REASON")
set(ZEFA_WINE_SKIPPED "")
set(ZEFA_WINE_STANDS_IN OFF)
if(ZEFA_I386 MATCHES "^refused: *(.*)$")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ZEFA_WINE_SKIPPED "this machine refuses 32-bit programs (${CMAKE_MATCH_1}); the i686 programs are built and checked, not run")
  else()
    set(ZEFA_WINE_STANDS_IN ON)
  endif()
elseif(ZEFA_I386 AND NOT ZEFA_I386 STREQUAL "runs")
  message(FATAL_ERROR "ZEFA_I386 is '${ZEFA_I386}': runs, or refused: REASON")
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(loader wine64)
  set(ZEFA_WINEARCH win64)
else()
  set(loader wine)
  set(ZEFA_WINEARCH win32)
endif()
# Debian's loaders, not /usr/bin/wine, which picks one by the program itself
# (and the 32-bit one wherever wine32 is installed, whether it runs or not).
find_program(ZEFA_WINE NAMES ${loader} PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
# One server serves both loaders, the 64-bit one if it is there, as
# Debian's wineserver script chooses.
find_program(ZEFA_WINESERVER NAMES wineserver64 wineserver32 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

if(ZEFA_WINE_SKIPPED)
  set(ZEFA_WINE_RUNS_TESTS OFF)
  message(STATUS "Tests are built, not run: ${ZEFA_WINE_SKIPPED}")
elseif(ZEFA_WINE AND ZEFA_WINESERVER)
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
  if(ZEFA_WINE_STANDS_IN)
    message(STATUS "This tree stands in for the i686 one, which cannot run here: every test and scenario")
  endif()
else()
  set(ZEFA_WINE_RUNS_TESTS OFF)
  message(STATUS "Tests are built, not run: no ${loader} here (scripts/deps.sh windows installs it)")
endif()

# zefa_skipped_test(<name>): a test that this tree would run under Wine,
# reported by ctest as skipped, with the reason, where it cannot run.
function(zefa_skipped_test name)
  add_test(NAME ${name} COMMAND sh -c "echo \"skipped: $1\"; exit 77" sh "${ZEFA_WINE_SKIPPED}")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()
