# The Debian package of the three programs: `cpack -G DEB` in the build
# directory. The programs land in /usr/bin and their manual pages (man/) in
# /usr/share/man/man1. dpkg-shlibdeps (from dpkg-dev) derives the runtime
# dependencies from the libraries the programs link, so SDL2 and libnoise
# appear with the versions this build needs.
#
# Every Debian package carries its licence and its changelog in
# /usr/share/doc/<package>: the licence as a machine-readable copyright file,
# the changelog compressed. A plain `cmake --install` puts the same two files
# in share/doc/flagblocks under its prefix.

set(packaging_dir "${PROJECT_SOURCE_DIR}/packaging")

# The changelog's newest entry must be the version being packaged, or the
# package would describe another release than the one it holds.
file(STRINGS "${packaging_dir}/changelog" changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "^flagblocks \\(([^)]*)\\)" changelog_match "${changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the newest entry is \"${changelog_head}\", "
                      "not version ${PROJECT_VERSION}: add an entry for it")
endif()

find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
  COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${packaging_dir}/changelog" > "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
  DEPENDS "${packaging_dir}/changelog"
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz")
install(FILES "${packaging_dir}/copyright" "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "three small SDL2 programs: a line figure, a block mover and a noise flag")
# The extended description under the summary. CPack indents it for the
# control file and turns the empty lines into Debian's " ." paragraph breaks.
set(CPACK_PACKAGE_DESCRIPTION "dravin, mobrix and quenzel each open a resizable window, draw in it with
SDL2's 2D renderer and keep a live status line with the frame time on the
terminal they were started from.

 - dravin: a light-green rectangle with two diagonals, which follows the
   window's size.
 - mobrix: a white block that the keys W, A, S and D move and 1 to 4
   resize, never out of the window.
 - quenzel: a yellow cross on blue, textured with three-dimensional Perlin
   noise (libnoise) whose sampling direction slowly turns.

All three scale motion by the measured frame time, so speeds on screen do
not depend on the frame rate.")
set(CPACK_PACKAGE_CONTACT "flagblocks maintainers <maintainers@flagblocks.invalid>")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
