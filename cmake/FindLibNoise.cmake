# Finds libnoise, which ships neither a CMake package nor a pkg-config file.
#
# Debian installs the headers as <libnoise/noise.h>; other distributions use
# <noise/noise.h>. Both layouts are accepted: the include directory is the
# parent of either, and sources pick the layout with __has_include.
#
# Result: the imported target LibNoise::LibNoise, LibNoise_FOUND,
# LIBNOISE_INCLUDE_DIR, LIBNOISE_LIBRARY.

find_path(LIBNOISE_INCLUDE_DIR NAMES libnoise/noise.h noise/noise.h)
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
