# Installs a build tree into a folder of its own and checks what is there, the
# tree that the Debian package holds too: the commands in bin, the launcher
# and the updater in the helpers' folder, the manual pages and the changelog
# gzipped. Then the installed programs make a medium and update from it:
# zefa-update must find the updater in the helpers' folder.
#   cmake -DBUILD=DIR -DDEST=DIR -P install_check.cmake
file(REMOVE_RECURSE ${DEST})
set(root ${DEST}/root)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${root} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(expected
  bin/mkmedium
  bin/szdd
  bin/zefa-update
  libexec/zefa-update/Orbane
  libexec/zefa-update/Tavrix.bin
  share/doc/zefa-update/changelog.gz
  share/doc/zefa-update/copyright
  share/lintian/overrides/zefa-update
  share/man/man1/Orbane.1.gz
  share/man/man1/mkmedium.1.gz
  share/man/man1/szdd.1.gz
  share/man/man1/zefa-update.1.gz)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
list(SORT installed)
if(NOT installed STREQUAL expected)
  list(JOIN installed "\n  " got)
  message(FATAL_ERROR "the installed tree is\n  ${got}")
endif()
foreach(path IN LISTS installed)
  if(path MATCHES "\\.gz$")
    file(READ ${root}/${path} magic LIMIT 2 HEX)
    if(NOT magic STREQUAL "1f8b")
      message(FATAL_ERROR "${path} is not gzipped")
    endif()
  endif()
endforeach()

# A prefix where the game is not set up: the updater says so, and zefa-update
# ends with its status for that (5), having started the installed updater
# beside the launcher that the installed mkmedium put on the medium.
set(prefix ${DEST}/prefix)
file(MAKE_DIRECTORY ${prefix}/dosdevices ${prefix}/drive_c ${DEST}/files ${DEST}/tmp)
file(CREATE_LINK ../drive_c ${prefix}/dosdevices/c: SYMBOLIC)
file(CREATE_LINK / ${prefix}/dosdevices/z: SYMBOLIC)
file(WRITE ${prefix}/system.reg "WINE REGISTRY Version 2\n")
file(WRITE ${prefix}/user.reg "WINE REGISTRY Version 2\n")
file(WRITE ${DEST}/files/README.TXT "the update\n")
set(helpers ${root}/libexec/zefa-update)
execute_process(COMMAND ${root}/bin/mkmedium build --quiet --appname Sample --registry SampleGame --disk-size 650M
                        --orbane ${helpers}/Orbane --tavrix ${helpers}/Tavrix.bin ${DEST}/files ${DEST}/medium
                RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the installed mkmedium failed: ${error}")
endif()
file(WRITE ${DEST}/answers "\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TMP=${DEST}/tmp ZEFA_TRANSCRIPT=${DEST}/transcript
                        ${root}/bin/zefa-update --prefix ${prefix} ${DEST}/medium
                INPUT_FILE ${DEST}/answers RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 5 OR NOT output MATCHES "the game is not set up")
  message(FATAL_ERROR "the installed zefa-update (status ${status}):\n${output}")
endif()
file(REMOVE_RECURSE ${DEST})
