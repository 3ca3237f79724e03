# The release this source describes, from the newest entry of
# packaging/changelog (Debian's changelog format):
#
#   FLAGBLOCKS_RELEASE_VERSION  its version, which must be PROJECT_VERSION
#   FLAGBLOCKS_RELEASE_DATE     its date as YYYY-MM-DD (the metainfo's release)
#   FLAGBLOCKS_RELEASE_EPOCH    its time in seconds since 1970, UTC: the
#                               package's SOURCE_DATE_EPOCH, as Debian's own
#                               package builds take it from the changelog
#
# Included wherever these are needed; reading the file again is cheap.

set(changelog "${PROJECT_SOURCE_DIR}/packaging/changelog")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${changelog}")
file(STRINGS "${changelog}" changelog_lines)

# The entry's first line names the version, its trailer line the date:
#   flagblocks (1.0.0) unstable; urgency=medium
#    -- Name <address>  Tue, 08 Dec 2026 09:00:00 +0000
list(GET changelog_lines 0 changelog_head)
string(REGEX MATCH "^flagblocks \\(([^)]*)\\)" changelog_match "${changelog_head}")
set(FLAGBLOCKS_RELEASE_VERSION "${CMAKE_MATCH_1}")
# The changelog's newest entry must be the version being built, or the
# package and the metainfo would describe another release than this one.
if(NOT FLAGBLOCKS_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the newest entry is \"${changelog_head}\", "
                      "not version ${PROJECT_VERSION}: add an entry for it")
endif()

set(changelog_date "")
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- .*>  (.+)$")
    set(changelog_date "${CMAKE_MATCH_1}")
    break()
  endif()
endforeach()
if(changelog_date STREQUAL "")
  message(FATAL_ERROR "packaging/changelog: the newest entry has no \" -- name <address>  date\" line")
endif()
# GNU date reads the changelog's RFC 5322 date.
execute_process(COMMAND date -u -d "${changelog_date}" "+%s %F"
  OUTPUT_VARIABLE changelog_time OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE date_status ERROR_QUIET)
if(NOT date_status EQUAL 0 OR NOT changelog_time MATCHES "^([0-9]+) ([0-9-]+)$")
  message(FATAL_ERROR "packaging/changelog: the newest entry's date \"${changelog_date}\" is not one date reads")
endif()
set(FLAGBLOCKS_RELEASE_EPOCH "${CMAKE_MATCH_1}")
set(FLAGBLOCKS_RELEASE_DATE "${CMAKE_MATCH_2}")
