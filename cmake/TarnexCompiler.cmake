# Every target of the project gets the same strict warnings; warnings are errors.
add_library(tarnex_warnings INTERFACE)
target_compile_options(tarnex_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror
                       -Wshadow -Wnon-virtual-dtor -Wformat=2)

if(TARNEX_SANITIZE)
  add_compile_options(-fsanitize=${TARNEX_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${TARNEX_SANITIZE})
  if(TARNEX_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# A static library of one subsystem: tarnex_add_library(<name> SOURCES ... DEPS ...)
function(tarnex_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tarnex_warnings)
endfunction()
