#!/usr/bin/env bash
# Builds everything and runs every test:
#  1. the Windows programs and their tests, cross-compiled with MinGW-w64 into
#     build/ and run under Wine;
#  2. the logic that needs no Windows header, built natively with the address
#     and undefined-behaviour sanitizers into build/native;
#  3. the programs once more with a second compiler (clang for the same
#     Windows target) into build/clang, to keep the code portable.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
tw_ensure_packages "${TW_BASE_PACKAGES[@]}" g++ clang lld

tw_build_windows
(cd build && ctest --output-on-failure -j2)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all" >/dev/null
cmake --build build/native
(cd build/native && ctest --output-on-failure -j2)

cmake -S . -B build/clang -G Ninja -DCMAKE_BUILD_TYPE=Release -DTW_PRODUCT_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/clang-mingw-x86_64.cmake" >/dev/null
cmake --build build/clang
echo "Second compiler (clang, x86_64-w64-windows-gnu): programs built in build/clang/bin"
