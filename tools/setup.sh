# Shared by test.sh and demo.sh: installs the Debian packages that the build
# and Wine need when they are missing, and configures and builds the
# cross-compiled programs into build/ (programs in build/bin/).

tw_ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

TW_BASE_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest)

tw_build_windows() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build build
}
