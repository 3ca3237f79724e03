# Finds libnoise, which ships neither a CMake package nor a pkg-config file.
#
# Debian installs the headers as <libnoise/noise.h>; other distributions use
# <noise/noise.h>. Both layouts are accepted: the include directory is the
# parent of either, and the layout found here is handed to every user of the
# target as the compile definition LIBNOISE_HEADER, so sources write
#
#   #include LIBNOISE_HEADER
#
# Result: the imported target LibNoise::LibNoise, LibNoise_FOUND,
# LIBNOISE_INCLUDE_DIR, LIBNOISE_HEADER (<libnoise/noise.h> or
# <noise/noise.h>), LIBNOISE_LIBRARY.

find_path(LIBNOISE_INCLUDE_DIR NAMES libnoise/noise.h noise/noise.h)
find_library(LIBNOISE_LIBRARY NAMES noise libnoise)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibNoise
  REQUIRED_VARS LIBNOISE_LIBRARY LIBNOISE_INCLUDE_DIR)

# The directory find_path returned holds one of the two layouts; if it holds
# both, the first name given to find_path wins there too.
if(LIBNOISE_INCLUDE_DIR AND EXISTS "${LIBNOISE_INCLUDE_DIR}/libnoise/noise.h")
  set(LIBNOISE_HEADER "<libnoise/noise.h>")
elseif(LIBNOISE_INCLUDE_DIR)
  set(LIBNOISE_HEADER "<noise/noise.h>")
endif()

if(LibNoise_FOUND AND NOT TARGET LibNoise::LibNoise)
  add_library(LibNoise::LibNoise UNKNOWN IMPORTED)
  set_target_properties(LibNoise::LibNoise PROPERTIES
    IMPORTED_LOCATION "${LIBNOISE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LIBNOISE_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS "LIBNOISE_HEADER=${LIBNOISE_HEADER}")
endif()

mark_as_advanced(LIBNOISE_INCLUDE_DIR LIBNOISE_LIBRARY)
