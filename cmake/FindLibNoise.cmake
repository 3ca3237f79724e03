# Finds libnoise, which ships neither a CMake package nor a pkg-config file.
#
# Debian installs the headers in include/libnoise/, other distributions in
# include/noise/. The path suffixes below accept either, and the include
# directory is the one that holds noise.h itself, so sources write
#
#   #include <noise.h>
#
# Result: the imported target LibNoise::LibNoise, LibNoise_FOUND,
# LIBNOISE_INCLUDE_DIR and LIBNOISE_LIBRARY.

find_path(LIBNOISE_INCLUDE_DIR NAMES noise.h PATH_SUFFIXES libnoise noise)
find_library(LIBNOISE_LIBRARY NAMES noise libnoise)

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
