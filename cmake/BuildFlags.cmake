# Compile and link options for this project's own targets. They travel on
# the targets, not on directories, so a project that pulls this one in with
# add_subdirectory() keeps its own flags.
#
#   flagblocks_build_flags(<target>...)
#
# gives each target the warnings and, in the sanitizer build, AddressSanitizer
# with UndefinedBehaviorSanitizer; executables also get the sanitizers'
# default settings. -DCMAKE_COMPILE_WARNING_AS_ERROR=ON turns the warnings
# into errors. In every other build, release configurations also get
# Debian's build flags with all hardening on (FLAGBLOCKS_HARDENING, below).

add_library(flagblocks_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$")
  target_compile_options(flagblocks_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
endif()

if(FLAGBLOCKS_ENABLE_SANITIZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$")
    message(FATAL_ERROR "FLAGBLOCKS_ENABLE_SANITIZERS needs GCC or Clang, not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  add_library(flagblocks_sanitizers INTERFACE)
  # Stop at the first finding so a test cannot pass over one.
  set(sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
  target_compile_options(flagblocks_sanitizers INTERFACE ${sanitizer_flags} -fno-omit-frame-pointer)
  target_link_options(flagblocks_sanitizers INTERFACE ${sanitizer_flags})
  # Every executable carries the sanitizer defaults and the suppression file,
  # so a program behaves the same whether a test or a person starts it.
  add_library(sanitizer_defaults OBJECT "${PROJECT_SOURCE_DIR}/sanitizers/sanitizer_defaults.cpp")
  target_compile_definitions(sanitizer_defaults PRIVATE
    LSAN_SUPPRESSIONS_FILE="${PROJECT_SOURCE_DIR}/sanitizers/lsan.supp")
  target_link_libraries(sanitizer_defaults PRIVATE flagblocks_warnings flagblocks_sanitizers)
endif()

# Hardening: Debian's build flags as dpkg-buildflags gives them with
# hardening=+all (fortified functions, strong stack protector, full RELRO
# with immediate binding, PIE), for the release configurations of the build
# that tests, installs and packages the programs: the programs the tests
# run are the programs that ship. They are on by default at top level, off
# when this project is pulled into another one (whose flags then rule) and
# off in the sanitizer build, where AddressSanitizer does the fortified
# functions' checks itself and the two get in each other's way.
#
# CMake reads CXXFLAGS and LDFLAGS from the environment but never CPPFLAGS,
# where _FORTIFY_SOURCE lives, so the flags are asked for one by one. The
# optimisation and debug flags are left to the build type, and Debug builds
# get none of these: _FORTIFY_SOURCE needs an optimising build.
#
# Debian's flags also map the source path out of the binaries, and the
# build path is mapped here too, so that builds in different places give
# the same package. A debugger then finds the sources when it is started in
# the source tree.
if(FLAGBLOCKS_ENABLE_SANITIZERS OR NOT PROJECT_IS_TOP_LEVEL)
  set(hardening_default OFF)
else()
  set(hardening_default AUTO)
endif()
flagblocks_part_option(FLAGBLOCKS_HARDENING ${hardening_default}
  "Build release configurations with Debian's hardening flags (dpkg-buildflags)")
if(FLAGBLOCKS_ENABLE_SANITIZERS)
  if(FLAGBLOCKS_HARDENING STREQUAL "ON")
    message(FATAL_ERROR "FLAGBLOCKS_HARDENING=ON and FLAGBLOCKS_ENABLE_SANITIZERS=ON do not go together")
  endif()
  set(FLAGBLOCKS_HARDENING OFF)
endif()
set(hardening_missing)
if(NOT FLAGBLOCKS_HARDENING STREQUAL "OFF")
  flagblocks_need_program(hardening_missing DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags "dpkg-buildflags (dpkg-dev)")
endif()
flagblocks_decide_part(FLAGBLOCKS_WITH_HARDENING FLAGBLOCKS_HARDENING "hardening" ${hardening_missing})

if(FLAGBLOCKS_WITH_HARDENING)
  # flagblocks_debian_flags(<variable> <CPPFLAGS|CXXFLAGS|LDFLAGS>)
  function(flagblocks_debian_flags variable name)
    # Run in the source directory: Debian's -ffile-prefix-map maps the
    # directory dpkg-buildflags runs in to ".".
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              "DEB_CXXFLAGS_MAINT_STRIP=-g -O2" "${DPKG_BUILDFLAGS_PROGRAM}" --get ${name}
      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(${variable} ${flags} PARENT_SCOPE)
  endfunction()
  flagblocks_debian_flags(hardening_cppflags CPPFLAGS)
  flagblocks_debian_flags(hardening_cxxflags CXXFLAGS)
  flagblocks_debian_flags(hardening_ldflags LDFLAGS)

  # Debian 13's dpkg adds stack-clash and control-flow protection to
  # hardening=+all; Debian 12's predates them, so they are added here
  # wherever the compiler takes them (-fcf-protection is for x86 only).
  include(CheckCXXCompilerFlag)
  foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "FLAGBLOCKS_HAS${flag}" has_flag)
    if(NOT flag IN_LIST hardening_cxxflags)
      check_cxx_compiler_flag(${flag} ${has_flag})
      if(${has_flag})
        list(APPEND hardening_cxxflags ${flag})
      endif()
    endif()
  endforeach()

  # With Debian's path mapping on, the build tree is mapped as well: it need
  # not lie inside the source tree, and its name must not reach the binaries
  # either, or two builds of one commit would differ.
  if(hardening_cxxflags MATCHES "-f(file|debug)-prefix-map=")
    list(APPEND hardening_cxxflags "-f${CMAKE_MATCH_1}-prefix-map=${PROJECT_BINARY_DIR}=.")
  endif()

  set(release_configs "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_library(flagblocks_hardening INTERFACE)
  target_compile_options(flagblocks_hardening INTERFACE
    "$<${release_configs}:${hardening_cppflags};${hardening_cxxflags}>")
  target_link_options(flagblocks_hardening INTERFACE "$<${release_configs}:${hardening_ldflags}>")
  list(JOIN hardening_cppflags " " cppflags_text)
  list(JOIN hardening_cxxflags " " cxxflags_text)
  list(JOIN hardening_ldflags " " ldflags_text)
  message(STATUS "flagblocks: hardening for release builds: ${cppflags_text} ${cxxflags_text}; linking: ${ldflags_text}")
endif()

function(flagblocks_build_flags)
  foreach(target IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE flagblocks_warnings)
    if(FLAGBLOCKS_WITH_HARDENING)
      target_link_libraries(${target} PRIVATE flagblocks_hardening)
    endif()
    if(FLAGBLOCKS_ENABLE_SANITIZERS)
      target_link_libraries(${target} PRIVATE flagblocks_sanitizers)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "EXECUTABLE")
        target_link_libraries(${target} PRIVATE sanitizer_defaults)
      endif()
    endif()
  endforeach()
endfunction()
