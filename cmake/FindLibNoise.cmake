# Finds libnoise, which ships neither a CMake package nor a pkg-config file.
#
# Debian installs the headers in include/libnoise/, other distributions in
# include/noise/. The path suffixes below accept either, and the include
# directory is the one that holds noise.h itself, so sources write
#
#   #include <noise.h>
#
# libnoise carries no version number (Debian ships its release 1.0.0), so
# what is checked instead is what quenzel uses of it: a Perlin module that
# compiles and links. A libnoise without one stops the configure in one line.
#
# Result: the imported target LibNoise::LibNoise, LibNoise_FOUND,
# LIBNOISE_INCLUDE_DIR and LIBNOISE_LIBRARY.

find_path(LIBNOISE_INCLUDE_DIR NAMES noise.h PATH_SUFFIXES libnoise noise)
find_library(LIBNOISE_LIBRARY NAMES noise libnoise)

if(LIBNOISE_INCLUDE_DIR AND LIBNOISE_LIBRARY)
  include(CheckCXXSourceCompiles)
  include(CMakePushCheckState)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_INCLUDES "${LIBNOISE_INCLUDE_DIR}")
  set(CMAKE_REQUIRED_LIBRARIES "${LIBNOISE_LIBRARY}")
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[#include <noise.h>
int main() { noise::module::Perlin perlin; perlin.SetSeed(1); return perlin.GetValue(0.5, 0.5, 0.5) > 9.0; }]]
    LIBNOISE_HAS_PERLIN)
  cmake_pop_check_state()
  if(NOT LIBNOISE_HAS_PERLIN)
    unset(LIBNOISE_HAS_PERLIN CACHE)  # checked again on the next configure
    message(FATAL_ERROR "flagblocks needs libnoise 1.0.0; the one found has no usable Perlin module")
  endif()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibNoise
  REQUIRED_VARS LIBNOISE_LIBRARY LIBNOISE_INCLUDE_DIR)

if(LibNoise_FOUND AND NOT TARGET LibNoise::LibNoise)
  add_library(LibNoise::LibNoise UNKNOWN IMPORTED)
  set_target_properties(LibNoise::LibNoise PROPERTIES
    IMPORTED_LOCATION "${LIBNOISE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LIBNOISE_INCLUDE_DIR}")
endif()

mark_as_advanced(LIBNOISE_INCLUDE_DIR LIBNOISE_LIBRARY)
