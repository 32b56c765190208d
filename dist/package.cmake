# The Debian package, built by CPack's DEB generator (scripts/package.sh sets the
# prefix, the games directories and Debian's build flags). Everything `cmake
# --install` puts under the prefix goes in, with the copyright and changelog
# Debian asks of every package.
configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${changelog}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(changelog ALL DEPENDS ${changelog})
install(FILES debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME globoid)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Globoid developers <globoid@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-player marble-pushing game on a hexagonal board")
# CPack puts the summary on the first line; the rest follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Two players take turns to push rows of marbles across a board of 61
hexagonal cells; whoever pushes six of the other's marbles off the board
wins. Play full screen or in a window with the mouse and the numeric keypad
(or the letters around S), against a friend at the same machine or on
another one, or against the computer at five levels.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# dpkg owns the directories above ours; the package lists only its own.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
