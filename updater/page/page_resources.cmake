# The updater's page as program resources.
#
#   include(${CMAKE_SOURCE_DIR}/updater/page/page_resources.cmake)
#   orv_add_page_resources(<target> RC_SOURCE <file.rc> [OUTPUT_DIR <dir>] [JQUERY <jquery.min.js>])
#
# At build time the page's texts (markup, style sheet, scripts), kept in UTF-8 here, are converted
# to code page 936, jQuery is copied from node_modules, and the images are copied, all into
# OUTPUT_DIR (default: <current binary dir>/page), in the same folder layout as the page's own
# addresses. OUTPUT_DIR/page_resources.rc lists every file as a resource (language 2052):
#
#   23 (RT_HTML)  INDEX.HTML
#   CSS           INDEX.CSS
#   JS            JQUERY.MIN.JS INTERFACE.JS INDEX.JS CORECALLFUNC.JS COMMFUNC.JS
#   IMG           BACKGROUND.PNG PROCESSBAR.PNG MIN_NORMAL.GIF CLOSE_NORMAL.GIF MSGBOX_OK.GIF
#                 MSGBOX_CLOSE.GIF ASK.GIF ERROR.GIF SUCCESS.GIF WARNING.GIF
#
# The program's .rc takes them with  #include "page_resources.rc"  (the folder is added to the
# target's include path). The fragment sets LANGUAGE 4, 2 (LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
# which stays in force for what follows the #include in the including file.
# The target depends on the outputs, so a changed page file rebuilds the program's resources.

set(ORV_PAGE_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}")
get_filename_component(ORV_PAGE_REPO_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)

# <file under the page folder>|<resource type>. The resource name is the file name in upper case.
set(ORV_PAGE_TEXT_FILES
  "index.html|23"
  "css/index.css|CSS"
  "js/Interface.js|JS"
  "js/index.js|JS"
  "js/Corecallfunc.js|JS"
  "js/commfunc.js|JS")
set(ORV_PAGE_IMAGE_FILES
  background.png processbar.png min_normal.gif close_normal.gif msgbox_ok.gif msgbox_close.gif
  ask.gif error.gif success.gif warning.gif)

function(orv_add_page_resources target)
  cmake_parse_arguments(arg "" "RC_SOURCE;OUTPUT_DIR;JQUERY" "" ${ARGN})
  # Callable from any folder once included: the paths come from this file's own place, unless
  # the caller named another page folder (a changed copy, in the page tests).
  if(NOT ORV_PAGE_SOURCE_DIR)
    set(ORV_PAGE_SOURCE_DIR "${CMAKE_CURRENT_FUNCTION_LIST_DIR}")
  endif()
  get_filename_component(ORV_PAGE_REPO_ROOT "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../.." ABSOLUTE)
  if(NOT arg_OUTPUT_DIR)
    set(arg_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/page")
  endif()
  if(NOT arg_JQUERY)
    set(arg_JQUERY "${ORV_PAGE_REPO_ROOT}/node_modules/jquery/jquery.min.js")
  endif()
  if(NOT EXISTS "${arg_JQUERY}")
    message(FATAL_ERROR "jQuery for the updater's page is missing (${arg_JQUERY}); "
                        "tools/bootstrap.sh installs it (npm ci)")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "orv_add_page_resources: ${target} is not a target")
  endif()
  get_filename_component(out "${arg_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(fragment "${out}/page_resources.rc")

  # A second program of the same folder takes the page that is already generated.
  get_property(page_target GLOBAL PROPERTY "ORV_PAGE_TARGET:${out}")
  if(NOT page_target)
    set(page_target ${target}_page)
    orv_generate_page("${out}" "${arg_JQUERY}" ${page_target})
    set_property(GLOBAL PROPERTY "ORV_PAGE_TARGET:${out}" ${page_target})
  endif()
  get_property(outputs GLOBAL PROPERTY "ORV_PAGE_OUTPUTS:${out}")

  add_dependencies(${target} ${page_target})
  target_include_directories(${target} PRIVATE "${out}")
  if(arg_RC_SOURCE)
    get_filename_component(rc_source "${arg_RC_SOURCE}" ABSOLUTE)
    set_property(SOURCE "${rc_source}" TARGET_DIRECTORY ${target} APPEND PROPERTY
                 OBJECT_DEPENDS "${fragment}" ${outputs})
  endif()
endfunction()

# The custom commands that write the page into `out`, and the target `page_target` that runs them.
function(orv_generate_page out jquery page_target)
  find_program(ORV_ICONV iconv REQUIRED)
  set(arg_JQUERY "${jquery}")
  set(outputs "")
  set(entries "")  # lines of the .rc fragment

  foreach(item ${ORV_PAGE_TEXT_FILES})
    string(REPLACE "|" ";" parts "${item}")
    list(GET parts 0 file)
    list(GET parts 1 type)
    if(file STREQUAL "js/Interface.js")
      # jQuery is loaded first of the scripts.
      set(jq "${out}/js/jquery.min.js")
      add_custom_command(OUTPUT "${jq}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${out}/js"
        COMMAND ${CMAKE_COMMAND} -E copy "${arg_JQUERY}" "${jq}"
        DEPENDS "${arg_JQUERY}"
        COMMENT "Page script jquery.min.js"
        VERBATIM)
      list(APPEND outputs "${jq}")
      list(APPEND entries "jquery.min.js|JS|${jq}")
    endif()
    set(src "${ORV_PAGE_SOURCE_DIR}/${file}")
    set(dst "${out}/${file}")
    get_filename_component(dir "${dst}" DIRECTORY)
    # Strict conversion: a character without a code page 936 form fails the build.
    add_custom_command(OUTPUT "${dst}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
      COMMAND "${ORV_ICONV}" -f UTF-8 -t CP936 "${src}" -o "${dst}.tmp"
      COMMAND ${CMAKE_COMMAND} -E rename "${dst}.tmp" "${dst}"
      DEPENDS "${src}"
      COMMENT "Page text ${file} in code page 936"
      VERBATIM)
    list(APPEND outputs "${dst}")
    get_filename_component(name "${file}" NAME)
    list(APPEND entries "${name}|${type}|${dst}")
  endforeach()

  foreach(name ${ORV_PAGE_IMAGE_FILES})
    set(src "${ORV_PAGE_SOURCE_DIR}/img/${name}")
    set(dst "${out}/img/${name}")
    add_custom_command(OUTPUT "${dst}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${out}/img"
      COMMAND ${CMAKE_COMMAND} -E copy "${src}" "${dst}"
      DEPENDS "${src}"
      VERBATIM)
    list(APPEND outputs "${dst}")
    list(APPEND entries "${name}|IMG|${dst}")
  endforeach()

  set(rc "// The updater's page, generated by page_resources.cmake: do not edit.\n")
  string(APPEND rc "// Texts in code page 936; language 2052 (LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED).\n")
  string(APPEND rc "LANGUAGE 4, 2\n\n")
  foreach(entry ${entries})
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 type)
    list(GET parts 2 path)
    if(path MATCHES "\"")
      message(FATAL_ERROR "page resource path with a double quote: ${path}")
    endif()
    string(TOUPPER "${name}" upper)
    string(REPLACE "\\" "\\\\" path "${path}")
    string(APPEND rc "${upper} ${type} \"${path}\"\n")
  endforeach()
  file(CONFIGURE OUTPUT "${out}/page_resources.rc" CONTENT "${rc}" @ONLY)

  add_custom_target(${page_target} DEPENDS ${outputs})
  set_property(GLOBAL PROPERTY "ORV_PAGE_OUTPUTS:${out}" ${outputs})
endfunction()
