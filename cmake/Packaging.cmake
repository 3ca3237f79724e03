# The Debian package of the three programs: `cpack -G DEB` in the build
# directory. The programs land in /usr/bin and their manual pages (man/) in
# /usr/share/man/man1. dpkg-shlibdeps (from dpkg-dev) derives the runtime
# dependencies from the libraries the programs link, so SDL2 and libnoise
# appear with the versions this build needs.
#
# Every Debian package carries its licence and its changelog in
# /usr/share/doc/<package>: the licence as a machine-readable copyright file,
# the changelog compressed. The performance notes go beside them, where the
# manual pages point, with the data file and the plot they link to, at the
# same relative paths as in docs/. A plain `cmake --install` puts the same
# files in share/doc/flagblocks under its prefix. The menu entries, icons
# and metainfo come from desktop/.
#
# The binaries are those of the build: in a release configuration they carry
# Debian's hardening flags (cmake/BuildFlags.cmake).
#
# Two builds of one commit give the same package, byte for byte, wherever
# they were built: the build paths are mapped out of the binaries
# (BuildFlags.cmake), gzip -n leaves names and times out, CPack sorts the
# files and sets every time in the package to SOURCE_DATE_EPOCH, which is the
# changelog's date unless the caller sets it. tests/package/reproducible_test.sh
# checks that.

set(packaging_dir "${PROJECT_SOURCE_DIR}/packaging")

# The release from the changelog's newest entry; it must be this version.
include(Changelog)

find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
  COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${packaging_dir}/changelog" > "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
  DEPENDS "${packaging_dir}/changelog"
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz")
install(FILES "${packaging_dir}/copyright" "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
              "${PROJECT_SOURCE_DIR}/docs/performance.md"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/docs/data/performance.tsv" DESTINATION "${CMAKE_INSTALL_DOCDIR}/data")
install(FILES "${PROJECT_SOURCE_DIR}/docs/images/quenzel-frame-time.png" DESTINATION "${CMAKE_INSTALL_DOCDIR}/images")

# CPack strips the programs (CPACK_STRIP_FILES) with a plain strip, which
# leaves the compiler's .comment section behind; a stripped install
# (`cmake --install --strip`, or CPack's) also drops .comment and .note, as
# Debian's dh_strip does. This runs after the programs' own install rules.
foreach(program dravin mobrix quenzel)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()

# cpack reads this file before it builds the package: a package's times are
# the changelog's, unless the caller chose a SOURCE_DATE_EPOCH.
set(cpack_options "${CMAKE_CURRENT_BINARY_DIR}/CPackOptions.cmake")
file(CONFIGURE OUTPUT "${cpack_options}" CONTENT [[
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "@FLAGBLOCKS_RELEASE_EPOCH@")
endif()
]] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE "${cpack_options}")

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
