# The optional parts of the build (tests, benchmarks) and how each is
# switched: a cache variable that is AUTO, ON or OFF.
#
#   AUTO  build the part when everything it needs is there; otherwise leave
#         it out and say so in one line, naming the packages that bring it
#   ON    build the part, and stop configuring if anything it needs is missing
#   OFF   leave the part out
#
# Scripts that must not skip a part silently (scripts/test.sh) ask for ON.

# flagblocks_part_option(<variable> <default> <help>)
# Declares the switch; 1/TRUE/YES and 0/FALSE/NO are read as ON and OFF.
function(flagblocks_part_option variable default help)
  set(${variable} "${default}" CACHE STRING "${help} (AUTO, ON or OFF)")
  set_property(CACHE ${variable} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${variable}}" value)
  if(value STREQUAL "AUTO")
  elseif(${variable})
    set(value ON)
  else()
    set(value OFF)
  endif()
  set(${variable} "${value}" PARENT_SCOPE)
endfunction()

# flagblocks_decide_part(<variable> <switch> <part> [<missing>...])
# Sets <variable> to TRUE when the part is to be built. Each <missing> item
# names something the part needs and did not find, as "what (package)".
function(flagblocks_decide_part variable switch part)
  set(missing ${ARGN})
  set(build FALSE)
  if(${switch} STREQUAL "OFF")
    message(STATUS "flagblocks: ${part} left out (${switch}=OFF)")
  elseif(NOT missing)
    set(build TRUE)
  else()
    list(JOIN missing ", " missing_text)
    if(${switch} STREQUAL "ON")
      message(FATAL_ERROR "flagblocks: ${part} asked for (${switch}=ON), but missing: ${missing_text}; scripts/setup.sh installs them")
    endif()
    message(STATUS "flagblocks: ${part} left out, missing ${missing_text}")
  endif()
  set(${variable} ${build} PARENT_SCOPE)
endfunction()

# flagblocks_need_program(<list> <variable> <program> <what (package)>)
# Looks for <program> into the cache <variable>; where it is missing, appends
# <what (package)> to the list named <list>.
function(flagblocks_need_program list variable program what)
  find_program(${variable} ${program})
  if(NOT ${variable})
    set(${list} ${${list}} "${what}" PARENT_SCOPE)
  endif()
endfunction()
