# Every target of the project gets the same strict warnings; warnings are errors.
add_library(tarnex_warnings INTERFACE)
target_compile_options(tarnex_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror
                       -Wshadow -Wnon-virtual-dtor -Wformat=2)
# GCC 12 at -O3 (Release) reports an overlapping copy inside std::string for plain
# "literal" + std::string(...) concatenations (a false positive, gone in GCC 13); without
# this the Release build stops at the first of them.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(tarnex_warnings INTERFACE -Wno-restrict)
endif()

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
