# The product's programs as data: programs.txt at the top of the tree, one program a line.
#
#   orv_program_field(<role> <column> <out-var>)  a column of a program's row, "@ID@" replaced
#   ORV_PROGRAM_COMPONENTS                        the component folders: common, the programs'
#                                                 (their folder's first part; libraries' first,
#                                                 in their rows' order, then programs'), tools
#   orv_add_program(<role> SOURCES ... LIBS ... [RESOURCES rc] [RESOURCE_DEPENDS files...])
#                                                 the shipped program of a row: a GUI executable
#                                                 named by the row, linked statically
#   orv_write_programs_header(<file>)             programs.h: every program's file name and the
#                                                 updater's stop list
#   orv_programs (target)                         builds every program of the list; the file
#                                                 ${CMAKE_BINARY_DIR}/programs-built.txt names
#                                                 "<file> <built path>" for each

set(ORV_PROGRAMS_LIST "${CMAKE_SOURCE_DIR}/programs.txt")
set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${ORV_PROGRAMS_LIST}" "${CMAKE_SOURCE_DIR}/common/rules/product.h")

# The product identifier, from its one header.
file(STRINGS "${CMAKE_SOURCE_DIR}/common/rules/product.h" _id_line
     REGEX "^#define ORV_PRODUCT_ID \"[^\"]+\"$")
string(REGEX REPLACE "^#define ORV_PRODUCT_ID \"([^\"]+)\"$" "\\1" ORV_PRODUCT_ID "${_id_line}")
if(NOT ORV_PRODUCT_ID)
  message(FATAL_ERROR "common/rules/product.h: no ORV_PRODUCT_ID")
endif()

# The rows, in their order: ORV_PROGRAM_ROLES, and ORV_PROGRAM_<role>_<column> for each column.
set(_columns role target file stop install folder)
file(STRINGS "${ORV_PROGRAMS_LIST}" _lines)
set(ORV_PROGRAM_ROLES "")
foreach(_line IN LISTS _lines)
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "" OR _line MATCHES "^#")
    continue()
  endif()
  string(REPLACE "@ID@" "${ORV_PRODUCT_ID}" _line "${_line}")
  string(REGEX REPLACE "[ \t]+" ";" _fields "${_line}")
  list(LENGTH _fields _count)
  if(NOT _count EQUAL 6)
    message(FATAL_ERROR "programs.txt: a row needs 6 columns: ${_line}")
  endif()
  list(GET _fields 0 _role)
  list(APPEND ORV_PROGRAM_ROLES ${_role})
  foreach(_i RANGE 5)
    list(GET _columns ${_i} _column)
    list(GET _fields ${_i} _value)
    set(ORV_PROGRAM_${_role}_${_column} "${_value}")
  endforeach()
endforeach()

# A library's folder comes before the programs' that may use its interface.
set(_libraries "")
set(_executables "")
foreach(_role IN LISTS ORV_PROGRAM_ROLES)
  string(REGEX REPLACE "/.*" "" _component "${ORV_PROGRAM_${_role}_folder}")
  if(ORV_PROGRAM_${_role}_file MATCHES "\\.[dD][lL][lL]$")
    list(APPEND _libraries ${_component})
  else()
    list(APPEND _executables ${_component})
  endif()
endforeach()
set(ORV_PROGRAM_COMPONENTS common ${_libraries} ${_executables} tools)
list(REMOVE_DUPLICATES ORV_PROGRAM_COMPONENTS)

function(orv_program_field role column out)
  if(NOT role IN_LIST ORV_PROGRAM_ROLES)
    message(FATAL_ERROR "programs.txt has no program \"${role}\"")
  endif()
  set(${out} "${ORV_PROGRAM_${role}_${column}}" PARENT_SCOPE)
endfunction()

function(orv_add_program role)
  cmake_parse_arguments(A "" "RESOURCES" "SOURCES;LIBS;RESOURCE_DEPENDS" ${ARGN})
  orv_program_field(${role} target _target)
  orv_program_field(${role} file _file)
  get_filename_component(_name "${_file}" NAME_WE)
  if(A_RESOURCES AND A_RESOURCE_DEPENDS)
    set_property(SOURCE ${A_RESOURCES} APPEND PROPERTY OBJECT_DEPENDS ${A_RESOURCE_DEPENDS})
  endif()
  add_executable(${_target} WIN32 ${A_SOURCES} ${A_RESOURCES})
  set_target_properties(${_target} PROPERTIES OUTPUT_NAME "${_name}")
  target_link_libraries(${_target} PRIVATE ${A_LIBS})
  target_link_options(${_target} PRIVATE -municode)
endfunction()

# The file names and the stop list as C++ constants, so the programs never spell them again.
function(orv_write_programs_header out)
  set(_text "#pragma once\n// Generated from programs.txt by cmake/Programs.cmake: the product's programs.\n")
  string(APPEND _text "\nnamespace orv {\n\n")
  set(_updater_stops "")
  foreach(_role IN LISTS ORV_PROGRAM_ROLES)
    string(SUBSTRING "${_role}" 0 1 _first)
    string(TOUPPER "${_first}" _first)
    string(SUBSTRING "${_role}" 1 -1 _rest)
    set(_constant "k${_first}${_rest}FileName")
    string(APPEND _text "inline constexpr wchar_t ${_constant}[] = L\"${ORV_PROGRAM_${_role}_file}\";\n")
    if(ORV_PROGRAM_${_role}_stop STREQUAL "updater")
      list(APPEND _updater_stops ${_constant})
    endif()
  endforeach()
  list(JOIN _updater_stops ", " _stops)
  string(APPEND _text "\n// What the updater stops, in this order, before it replaces files.\n")
  string(APPEND _text "inline constexpr const wchar_t* kStoppedBeforeUpdate[] = {${_stops}};\n")
  string(APPEND _text "\n}  // namespace orv\n")
  file(CONFIGURE OUTPUT "${out}" CONTENT "${_text}")
endfunction()

# Called once every component is added: the target that builds them all, and where each lies.
function(orv_add_programs_target)
  set(_targets "")
  set(_built "")
  foreach(_role IN LISTS ORV_PROGRAM_ROLES)
    set(_target ${ORV_PROGRAM_${_role}_target})
    if(TARGET ${_target})
      list(APPEND _targets ${_target})
      string(APPEND _built "${ORV_PROGRAM_${_role}_file} $<TARGET_FILE:${_target}>\n")
    endif()
  endforeach()
  if(_targets)
    add_custom_target(orv_programs DEPENDS ${_targets})
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/programs-built.txt" CONTENT "${_built}")
  endif()
endfunction()
