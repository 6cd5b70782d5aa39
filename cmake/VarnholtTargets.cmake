# Shared settings for the project's own targets.

if(VARNHOLT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for our own code only (third-party headers come in as SYSTEM).
function(varnholt_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
endfunction()

# One library per folder, built from every source in it; the link graph is the dependency rule.
function(varnholt_folder_library target)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    # A folder that has no sources yet still gives a linkable library.
    set(sources "${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp")
    file(WRITE "${sources}" "")
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  varnholt_warnings(${target})
endfunction()

# Compiles the project version into an executable (a generated source per executable, so a test
# can build a second launcher of another version cheaply). platform/ reads it as the module's
# file version. Every executable of the project gets one: those that do not call this function
# get the project version from varnholt_embed_version_everywhere() at the end of the top-level
# CMakeLists.txt. (Outside this build, an executable without it links and has no version.)
function(varnholt_embed_version target)
  set(options)
  set(one VERSION)
  cmake_parse_arguments(ARG "${options}" "${one}" "" ${ARGN})
  if(NOT ARG_VERSION)
    set(ARG_VERSION "${PROJECT_VERSION}")
  endif()
  string(REPLACE "." ";" parts "${ARG_VERSION}")
  list(LENGTH parts count)
  while(count LESS 4)
    list(APPEND parts 0)
    list(LENGTH parts count)
  endwhile()
  list(GET parts 0 V0)
  list(GET parts 1 V1)
  list(GET parts 2 V2)
  list(GET parts 3 V3)
  foreach(part ${V0} ${V1} ${V2} ${V3})
    if(NOT part MATCHES "^[0-9]+$" OR part GREATER 65535)
      message(FATAL_ERROR "${target}: version ${ARG_VERSION} needs four numbers below 65536")
    endif()
  endforeach()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp")
  file(WRITE "${out}.in"
    "// Generated: the file version of this executable.\n"
    "extern const unsigned short g_fileVersion[4] = {${V0}, ${V1}, ${V2}, ${V3}};\n")
  configure_file("${out}.in" "${out}" COPYONLY)
  target_sources(${target} PRIVATE "${out}")
  set_property(TARGET ${target} PROPERTY VARNHOLT_VERSION_EMBEDDED ON)
endfunction()

# Gives every executable below dir that has no version yet the project version.
function(varnholt_embed_version_everywhere dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(embedded ${target} VARNHOLT_VERSION_EMBEDDED)
    get_target_property(imported ${target} IMPORTED)
    if(type STREQUAL "EXECUTABLE" AND NOT embedded AND NOT imported)
      varnholt_embed_version(${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    varnholt_embed_version_everywhere("${subdir}")
  endforeach()
endfunction()

# Compiles the English and Russian string tables (lines "<id> <text>", see res/strings_en.txt)
# into target as the raw texts that platform/string_table.cpp parses. The build reconfigures
# when a table changes.
function(varnholt_embed_string_tables target)
  cmake_parse_arguments(ARG "" "ENGLISH;RUSSIAN" "" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ARG_ENGLISH}" "${ARG_RUSSIAN}")
  file(READ "${ARG_ENGLISH}" VARNHOLT_STRINGS_EN)
  file(READ "${ARG_RUSSIAN}" VARNHOLT_STRINGS_RU)
  if(VARNHOLT_STRINGS_EN MATCHES "\\)VARNHOLT_STRINGS\"" OR VARNHOLT_STRINGS_RU MATCHES "\\)VARNHOLT_STRINGS\"")
    message(FATAL_ERROR "a string table contains the raw-string delimiter )VARNHOLT_STRINGS\"")
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_strings.cpp")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/string_tables.cpp.in" "${out}" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
