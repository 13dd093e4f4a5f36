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
    set(TW_FILE_DESCRIPTION "${P_PRODUCT}")
    set(TW_INTERNAL_NAME "${name}")
    set(TW_ORIGINAL_FILENAME "${name}.exe")
    set(TW_FILE_TYPE VFT_APP)
    configure_file(${PROJECT_SOURCE_DIR}/common/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc @ONLY)
    list(APPEND sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
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
