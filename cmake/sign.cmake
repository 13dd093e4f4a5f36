# Code signing with osslsigncode, for sites that run only signed programs.
# Off unless TW_SIGN_PFX names a PKCS#12 file (certificate and private key);
# TW_SIGN_PASSWORD_FILE names a file holding its password, when it has one.
#
# tw_sign_binary(<target>)      signs the target's file after each link.
# tw_sign_file(<in> <out>)      a build rule that makes <out>, <in> signed
#                               (or copied, when signing is off).
set(TW_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign the programs and the package with (empty: unsigned)")
set(TW_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of TW_SIGN_PFX (empty: none)")

set(TW_SIGN_COMMAND "")
if(TW_SIGN_PFX)
  find_program(TW_OSSLSIGNCODE osslsigncode)
  if(NOT TW_OSSLSIGNCODE)
    message(FATAL_ERROR "TW_SIGN_PFX is set, but osslsigncode (Debian's package osslsigncode) is not installed")
  endif()
  if(NOT EXISTS "${TW_SIGN_PFX}")
    message(FATAL_ERROR "TW_SIGN_PFX: no such file: ${TW_SIGN_PFX}")
  endif()
  set(TW_SIGN_COMMAND ${TW_OSSLSIGNCODE} sign -pkcs12 ${TW_SIGN_PFX} -h sha256 -n Tarnwick)
  if(TW_SIGN_PASSWORD_FILE)
    if(NOT EXISTS "${TW_SIGN_PASSWORD_FILE}")
      message(FATAL_ERROR "TW_SIGN_PASSWORD_FILE: no such file: ${TW_SIGN_PASSWORD_FILE}")
    endif()
    list(APPEND TW_SIGN_COMMAND -readpass ${TW_SIGN_PASSWORD_FILE})
  endif()
  message(STATUS "Signing the programs and the package with ${TW_SIGN_PFX}")
endif()

function(tw_sign_binary target)
  if(NOT TW_SIGN_COMMAND)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TW_SIGN_COMMAND} -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

function(tw_sign_file in out)
  if(TW_SIGN_COMMAND)
    set(make ${TW_SIGN_COMMAND} -in ${in} -out ${out}.signed COMMAND ${CMAKE_COMMAND} -E rename ${out}.signed ${out})
  else()
    set(make ${CMAKE_COMMAND} -E copy ${in} ${out})
  endif()
  add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E rm -f ${out} COMMAND ${make} DEPENDS ${in} VERBATIM)
endfunction()
