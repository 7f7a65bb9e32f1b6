# What the Windows build adds: resources, the check that the programs need
# nothing but the system's DLLs, and (when cross-compiling) Wine to run tests.

# Resources (.rc files, UTF-8 with #pragma code_page(65001)) compile with windres.
enable_language(RC)

# zefa_windows_program(<target>): one of the two programs, a GUI program
# (-mwindows) whose entry WinMain may come from a library: the C runtime's
# start-up, which calls it, is linked after every library of ours, so the
# linker is told to look for WinMain from the start.
#
# The program in the build tree is the one that goes on a medium: stripped,
# with its debug information (the runtime's, and ours: the Windows build is
# compiled with -g, which changes no code) in PROGRAM.debug beside it, for a
# debugger (gdb: symbol-file). No debug link is added to the program: its
# section would cost a floppy 512 bytes.
function(zefa_windows_program target)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--undefined=_WinMain@16)
  else()
    target_link_options(${target} PRIVATE -Wl,--undefined=WinMain)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

# The DLLs a program of ours may import: every Windows has them.
set(ZEFA_SYSTEM_DLLS kernel32 user32 advapi32 comctl32 lz32 msvcrt)

# Adds a test per executable target in dir and below that fails when the
# executable imports any other DLL; tools of the Windows tests
# (property ZEFA_TEST_TOOL), which never go on a medium, are left out. Called once at the end of the top
# CMakeLists, so a program or test added anywhere is checked.
function(zefa_check_imports dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(tool ${target} ZEFA_TEST_TOOL)
    if(type STREQUAL "EXECUTABLE" AND NOT tool)
      add_test(NAME imports.${target}
               COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DALLOWED=${ZEFA_SYSTEM_DLLS}"
                       -DFILE=$<TARGET_FILE:${target}> -P ${PROJECT_SOURCE_DIR}/cmake/CheckImports.cmake)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    zefa_check_imports(${subdir})
  endforeach()
endfunction()

if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/Wine.cmake)
endif()
