# What `cmake --install` puts on a Linux system, and the Debian package that
# `cpack` makes of the same tree (docs/packaging.md):
#   bin/                     zefa-update, mkmedium, szdd
#   libexec/zefa-update/     Orbane and Tavrix.bin, the helpers that zefa-update
#                            starts (ZEFA_HELPER_DIR); the launcher copies the
#                            updater from its own folder, so they stay together
#   share/man/man1/          the pages of the commands and of Orbane, gzipped
#   share/doc/zefa-update/   copyright, changelog.gz
#   share/lintian/overrides/ what Debian's checker is told not to report
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS zefa-update mkmedium szdd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS orbane tavrix RUNTIME DESTINATION ${ZEFA_HELPER_DIR})

# Manual pages and the changelog are installed compressed as Debian has them:
# gzip at its best, without the name and time of the original.
set(packaging ${PROJECT_SOURCE_DIR}/packaging/deb)
set(compressed "")
function(zefa_gzip source output)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  add_custom_command(OUTPUT ${output} COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
                     COMMAND gzip -9nf ${plain} DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${output} PARENT_SCOPE)
endfunction()
# Tavrix.bin has no page: nobody starts it by hand. Orbane has one: the
# launcher is what a user starts on a medium that mkmedium made with it.
set(pages zefa-update mkmedium szdd Orbane)
foreach(page IN LISTS pages)
  zefa_gzip(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
zefa_gzip(${packaging}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
set(docs ${CMAKE_INSTALL_DATAROOTDIR}/doc/zefa-update)
install(FILES ${packaging}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${docs})
install(FILES ${packaging}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME zefa-update)

# The version is the changelog's, as for every Debian package.
file(STRINGS ${packaging}/changelog top LIMIT_COUNT 1)
if(NOT top MATCHES "^zefa-update \\(([0-9.]+)\\) ")
  message(FATAL_ERROR "packaging/deb/changelog: its first line names no version of zefa-update")
endif()
set(CPACK_PACKAGE_VERSION ${CMAKE_MATCH_1})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zefa-update)
set(CPACK_PACKAGE_CONTACT "Zefa Update developers <dev@zefa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update games installed under Wine from their Zefa update media")
set(CPACK_PACKAGE_DESCRIPTION
  "zefa-update runs the Zefa updater natively against a game installed in a
Wine prefix, from floppy images, CD images, mounted media or folders,
changing disks by itself, and can put the installation back as it was
before the last update.

mkmedium makes, checks and images Zefa update media; szdd compresses and
expands SZDD (COMPRESS.EXE) files.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries as dpkg-shlibdeps finds them, and the programs that
# read images.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mtools, xorriso")
# The programs are stripped; their debug information goes into the package
# zefa-update-dbgsym, by build ID, as Debian's -dbgsym packages have it.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebugSymbols.cmake)
include(CPack)
