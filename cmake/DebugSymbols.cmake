# Run by cpack on the package's tree before it is packed
# (CPACK_PRE_BUILD_SCRIPTS): every program is stripped as Debian's dh_strip
# strips it, and its debug information goes into the package
# NAME-dbgsym, written beside the package: /usr/lib/debug/.build-id/XX/REST.debug,
# found by the build ID that the program keeps, and a doc folder that is a
# link to the package's own. (CPack's own debug package lists its files in
# md5sums by their paths in the build tree and has no copyright.)
set(tree ${CPACK_TEMPORARY_DIRECTORY})
set(name ${CPACK_PACKAGE_NAME}-dbgsym)
set(dbgsym ${CPACK_TOPLEVEL_DIRECTORY}/${name})
file(REMOVE_RECURSE ${dbgsym})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: ${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(ids "")
file(GLOB_RECURSE files LIST_DIRECTORIES false ${tree}/*)
list(SORT files)
foreach(file IN LISTS files)
  if(IS_SYMLINK ${file})
    continue()
  endif()
  file(READ ${file} magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  run(env LC_ALL=C readelf -n ${file})
  if(NOT out MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
    message(FATAL_ERROR "${file} has no build ID: its debug information could not be found by it")
  endif()
  list(APPEND ids ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
  set(debug ${dbgsym}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
  get_filename_component(folder ${debug} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  run(objcopy --only-keep-debug --compress-debug-sections ${file} ${debug})
  run(strip --remove-section=.comment --remove-section=.note ${file})
  run(objcopy --add-gnu-debuglink=${debug} ${file})
endforeach()
if(NOT ids)
  message(FATAL_ERROR "no program in ${tree}: nothing to strip")
endif()

file(MAKE_DIRECTORY ${dbgsym}/usr/share/doc ${dbgsym}/DEBIAN)
file(CHMOD_RECURSE ${dbgsym} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CREATE_LINK ${CPACK_PACKAGE_NAME} ${dbgsym}/usr/share/doc/${name} SYMBOLIC)

# The control files: what dpkg-gencontrol writes for such a package.
file(GLOB_RECURSE payload LIST_DIRECTORIES true RELATIVE ${dbgsym} ${dbgsym}/usr/*)
list(SORT payload)
set(md5sums "")
set(kib 0)
foreach(path IN LISTS payload)
  if(IS_DIRECTORY ${dbgsym}/${path} OR IS_SYMLINK ${dbgsym}/${path})
    math(EXPR kib "${kib} + 1")
  else()
    file(MD5 ${dbgsym}/${path} sum)
    string(APPEND md5sums "${sum}  ${path}\n")
    file(SIZE ${dbgsym}/${path} size)
    math(EXPR kib "${kib} + (${size} + 1023) / 1024")
  endif()
endforeach()
run(dpkg --print-architecture)
string(STRIP "${out}" architecture)
list(JOIN ids " " ids)
file(WRITE ${dbgsym}/DEBIAN/md5sums "${md5sums}")
file(WRITE ${dbgsym}/DEBIAN/control
  "Package: ${name}\n"
  "Source: ${CPACK_PACKAGE_NAME}\n"
  "Version: ${CPACK_PACKAGE_VERSION}\n"
  "Auto-Built-Package: debug-symbols\n"
  "Architecture: ${architecture}\n"
  "Maintainer: ${CPACK_PACKAGE_CONTACT}\n"
  "Installed-Size: ${kib}\n"
  "Depends: ${CPACK_PACKAGE_NAME} (= ${CPACK_PACKAGE_VERSION})\n"
  "Section: debug\n"
  "Priority: optional\n"
  "Description: debug symbols for ${CPACK_PACKAGE_NAME}\n"
  "Build-Ids: ${ids}\n")
run(dpkg-deb --root-owner-group --build ${dbgsym}
    ${CPACK_PACKAGE_DIRECTORY}/${name}_${CPACK_PACKAGE_VERSION}_${architecture}.deb)
