# What `cmake --install` puts on a Linux system, and the Debian package that
# `cpack` makes of it. Orbane, Tavrix.bin and zefa-update go into one folder:
# the launcher copies the updater from its own folder, and zefa-update starts
# the one beside it.
include(GNUInstallDirs)
install(TARGETS zefa-update tavrix orbane mkmedium szdd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/man/zefa-update.1
  ${PROJECT_SOURCE_DIR}/docs/man/Orbane.1
  ${PROJECT_SOURCE_DIR}/docs/man/Tavrix.bin.1
  ${PROJECT_SOURCE_DIR}/docs/man/mkmedium.1
  ${PROJECT_SOURCE_DIR}/docs/man/szdd.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zefa-update)
set(CPACK_PACKAGE_VERSION 2.0.0)
set(CPACK_PACKAGE_CONTACT "Zefa Update developers <zefa-update@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Update games installed under Wine from their Zefa update media")
set(CPACK_PACKAGE_DESCRIPTION
  "zefa-update runs the Zefa updater natively against a game installed in a Wine prefix, from floppy images, CD images, mounted media or folders, changing disks by itself. With mkmedium and szdd, which make update media.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries as dpkg-shlibdeps finds them, and the programs that
# read images.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mtools, xorriso")
include(CPack)
