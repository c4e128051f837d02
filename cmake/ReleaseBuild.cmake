# What a release build adds to every Windows program and library: the release's version in the
# version resource, and bytes that depend on nothing but the sources (no link time, no build
# folder).
#
# ORV_RELEASE_VERSION (four numbers joined by dots) is written into the generated header
# orv_release_version.h, which every resource script includes; empty, each program keeps its own
# development version.
set(ORV_RELEASE_VERSION "" CACHE STRING
    "The release's version, stamped into every program's version resource (empty: development)")
set(_stamp_dir ${CMAKE_BINARY_DIR}/generated)
if(ORV_RELEASE_VERSION STREQUAL "")
  set(ORV_VERSION_LINES "// A development build: each program carries its own version.")
elseif(ORV_RELEASE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  set(ORV_VERSION_LINES
      "#define ORV_RELEASE_VERSION_BIN ${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}\n#define ORV_RELEASE_VERSION_STR \"${ORV_RELEASE_VERSION}\"")
else()
  message(FATAL_ERROR "ORV_RELEASE_VERSION ${ORV_RELEASE_VERSION} is not four numbers joined by dots")
endif()
file(CONFIGURE OUTPUT ${_stamp_dir}/orv_release_version.h
     CONTENT "#pragma once\n@ORV_VERSION_LINES@\n" @ONLY)
set(ORV_RELEASE_VERSION_HEADER ${_stamp_dir}/orv_release_version.h)

if(WIN32)
  include_directories(${_stamp_dir})
  # Every resource script of every target is compiled again when the stamped version changes.
  # Called once at the end of the top-level list, when every folder is known (a source's
  # properties belong to the folder of the target that compiles it).
  function(orv_stamp_resources_below dir)
    get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(_t ${_targets})
      get_target_property(_sources ${_t} SOURCES)
      get_target_property(_source_dir ${_t} SOURCE_DIR)
      foreach(_s ${_sources})
        if(_s MATCHES "\\.rc$")
          get_filename_component(_s "${_s}" ABSOLUTE BASE_DIR "${_source_dir}")
          set_property(SOURCE ${_s} DIRECTORY ${dir} APPEND PROPERTY OBJECT_DEPENDS
                       ${ORV_RELEASE_VERSION_HEADER})
        endif()
      endforeach()
    endforeach()
    get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(_d ${_subdirs})
      orv_stamp_resources_below(${_d})
    endforeach()
  endfunction()

  # No build folder in the bytes: file names in messages and debug information are written
  # relative to the source and build folders.
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  # No link time in the PE header, export table or resources.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
