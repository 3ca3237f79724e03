# Compile and link options for this project's own targets. They travel on
# the targets, not on directories, so a project that pulls this one in with
# add_subdirectory() keeps its own flags.
#
#   flagblocks_build_flags(<target>...)
#
# gives each target the warnings and, in the sanitizer build, AddressSanitizer
# with UndefinedBehaviorSanitizer; executables also get the sanitizers'
# default settings. -DCMAKE_COMPILE_WARNING_AS_ERROR=ON turns the warnings
# into errors. Optimisation and hardening are left to whoever builds:
# CXXFLAGS and LDFLAGS from the environment, and the build type.

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

function(flagblocks_build_flags)
  foreach(target IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE flagblocks_warnings)
    if(FLAGBLOCKS_ENABLE_SANITIZERS)
      target_link_libraries(${target} PRIVATE flagblocks_sanitizers)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "EXECUTABLE")
        target_link_libraries(${target} PRIVATE sanitizer_defaults)
      endif()
    endif()
  endforeach()
endfunction()
