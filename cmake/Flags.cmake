# Compiler settings shared by every target. They apply to C and C++ only: the
# resource compiler takes none of them.
set(c_cxx "$<COMPILE_LANGUAGE:C,CXX>")

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Sources are UTF-8; the programs' narrow literals are Shift-JIS, as the
  # texts they show and the files they read are.
  add_compile_options($<${c_cxx}:-fexec-charset=CP932>)
else()
  # clang only knows UTF-8 literals. Only the fuzz build uses it, and the
  # parsers it exercises give no meaning to a byte at or above 0x40.
  if(NOT ZEFA_FUZZ)
    message(FATAL_ERROR "The programs need GCC (-fexec-charset=CP932)")
  endif()
endif()

add_compile_options("$<${c_cxx}:-Wall;-Wextra;-Wshadow;-Wno-unused-parameter>")

if(WIN32)
  # The medium carries the programs alone: libstdc++, libgcc and libwinpthread
  # are linked in, and only the system's DLLs are imported (CheckImports.cmake).
  add_link_options(-static)
  # <windows.h> would otherwise define min and max as macros.
  add_compile_definitions(NOMINMAX)
  # Debug information, which the programs shed into a file of their own
  # (zefa_windows_program).
  add_compile_options($<${c_cxx}:-g>)
  if(ZEFA_SANITIZE OR ZEFA_FUZZ)
    message(FATAL_ERROR "The sanitizers and fuzzers run in the POSIX build only")
  endif()
endif()

# ZEFA_RUN_ENV: the environment in which the build runs its own programs (the
# dialog table generator while building, every test). Empty unless sanitized.
set(ZEFA_RUN_ENV "")
if(ZEFA_SANITIZE)
  # A read of memory that was never written must fail the same way on every
  # machine, not by what the memory happened to hold. Automatic variables start
  # as a pattern (an enum or bool read from it is out of range for UBSan); GCC
  # leaves out temporaries, such as the object of T().f(). The
  # heap of a sanitized program is ASan's, which fills every new block with a
  # pattern (heap_pattern.cpp, linked into each of them); a program on glibc's
  # malloc takes MALLOC_PERTURB_ from the environment. All of this holds for
  # the host tools of this build too (rcgen, szdd, mkmedium).
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -ftrivial-auto-var-init=pattern)
  add_link_options(-fsanitize=address,undefined)
  add_library(heap_pattern OBJECT ${CMAKE_CURRENT_LIST_DIR}/heap_pattern.cpp)
  link_libraries(heap_pattern)
  # A pointer or view into a frame that has returned is caught too: each
  # frame with an address taken lives on a heap of ASan's for a while.
  set(ZEFA_RUN_ENV "MALLOC_PERTURB_=190;ASAN_OPTIONS=detect_stack_use_after_return=1")
endif()

if(ZEFA_FUZZ)
  # libstdc++ 12 marks its own get_temporary_buffer deprecated, which clang
  # reports wherever std::stable_sort is used; GCC's builds still see ours.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -Wno-deprecated-declarations)
  add_link_options(-fsanitize=address,undefined)
endif()
