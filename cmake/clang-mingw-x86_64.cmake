# Second compiler: Debian's clang for the x86_64-w64-windows-gnu target,
# using the MinGW-w64 headers and libraries and lld as the linker.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_gcc_dir /usr/lib/gcc/x86_64-w64-mingw32/12-posix)
set(_target --target=x86_64-w64-mingw32)
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
