# Second compiler: Debian's clang for the x86_64-w64-windows-gnu target,
# using the MinGW-w64 headers and libraries and lld as the linker.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# MinGW-w64 GCC's own folder (its C++ headers and libgcc), as that compiler
# reports it: clang does not find it by itself (a folder named like
# "12-posix").
execute_process(
  COMMAND x86_64-w64-mingw32-g++-posix -print-libgcc-file-name
  OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _result ERROR_QUIET)
if(NOT _result EQUAL 0 OR NOT IS_ABSOLUTE "${_libgcc}" OR NOT EXISTS "${_libgcc}")
  message(FATAL_ERROR "x86_64-w64-mingw32-g++-posix does not tell where its libgcc is (package g++-mingw-w64-x86-64-posix)")
endif()
get_filename_component(_gcc_dir "${_libgcc}" DIRECTORY)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_SYSROOT /usr/x86_64-w64-mingw32)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${_gcc_dir}/include/c++ -isystem ${_gcc_dir}/include/c++/x86_64-w64-mingw32 -isystem ${_gcc_dir}/include/c++/backward -D__GXX_TYPEINFO_EQUALITY_INLINE=0")
# The C++ include flags above reach the link step too, where they do nothing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -static -L${_gcc_dir} -lpthread -Wno-unused-command-line-argument")
# lld resolves archives regardless of their order on the command line.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
