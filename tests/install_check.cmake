# Installs a build tree into a folder of its own and checks what is there:
# the programs side by side (zefa-update starts the Tavrix.bin beside it, and
# Orbane copies the one beside it) and a manual page for each.
#   cmake -DBUILD=DIR -DDEST=DIR -P install_check.cmake
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${DEST} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(program zefa-update Tavrix.bin Orbane mkmedium szdd)
  if(NOT EXISTS ${DEST}/bin/${program})
    message(FATAL_ERROR "${program} is not installed in bin")
  endif()
  if(NOT EXISTS ${DEST}/share/man/man1/${program}.1)
    message(FATAL_ERROR "${program} has no manual page")
  endif()
endforeach()
execute_process(COMMAND ${DEST}/bin/zefa-update --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT help MATCHES "zefa-undo")
  message(FATAL_ERROR "the installed zefa-update does not run")
endif()
file(REMOVE_RECURSE ${DEST})
