# tw_add_program(<name> [WIN32] [MANIFEST] [PRODUCT <description>]
#                SOURCES <file>... [LIBS <library>...])
#
# A Windows program <name>.exe with a wide entry point: wmain, or wWinMain for
# a WIN32 (GUI-subsystem) program.
#   MANIFEST  embeds the application manifest (common/app.rc).
#   PRODUCT   a program we ship: the manifest, and a version resource with
#             TW_VERSION, the product name "Tarnwick", <description> as its
#             file description and <name>.exe as its original file name;
#             signed when signing is configured (cmake/sign.cmake).
# tw_version_resource(<out-var> <file name> <description> <VFT_APP|VFT_DLL>)
#
# Makes the version resource of a file we ship (common/version.rc.in) and
# puts the path of the resource script into <out-var>.
function(tw_version_resource out file description type)
  get_filename_component(TW_INTERNAL_NAME "${file}" NAME_WE)
  set(TW_FILE_DESCRIPTION "${description}")
  set(TW_ORIGINAL_FILENAME "${file}")
  set(TW_FILE_TYPE ${type})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${TW_INTERNAL_NAME}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/common/version.rc.in ${script} @ONLY)
  set(${out} ${script} PARENT_SCOPE)
endfunction()

function(tw_add_program name)
  cmake_parse_arguments(P "WIN32;MANIFEST" "PRODUCT" "SOURCES;LIBS" ${ARGN})
  if(P_UNPARSED_ARGUMENTS OR NOT P_SOURCES)
    message(FATAL_ERROR "tw_add_program(${name}): unexpected arguments ${P_UNPARSED_ARGUMENTS}, or no SOURCES")
  endif()
  set(sources ${P_SOURCES})
  if(P_MANIFEST OR DEFINED P_PRODUCT)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/common/app.rc)
  endif()
  if(DEFINED P_PRODUCT)
    tw_version_resource(version_rc ${name}.exe "${P_PRODUCT}" VFT_APP)
    list(APPEND sources ${version_rc})
  endif()
  if(P_WIN32)
    add_executable(${name} WIN32 ${sources})
  else()
    add_executable(${name} ${sources})
  endif()
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  if(NOT MSVC)
    target_compile_options(${name} PRIVATE -municode)
    target_link_options(${name} PRIVATE -municode)
  endif()
  if(DEFINED P_PRODUCT)
    tw_sign_binary(${name})
  endif()
endfunction()
