# Shell helpers shared by test.sh, demo.sh and bench.sh (sourced, from the
# repository root): installing the Debian packages that the build and Wine
# need, building a configuration of CMakePresets.json, and making a fresh
# Wine prefix in which a plain window is started.

# tw_ensure_packages PACKAGE...: installs those of the packages that are
# missing, with apt-get.
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

# The build, Wine, and what the Windows Installer package needs: wixl and
# msitools build it, osslsigncode signs it (openssl makes the tests' throwaway
# certificate).
TW_BASE_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest
  wixl msitools osslsigncode openssl)

# tw_build PRESET [CMAKE-OPTION...]: configures (quietly) and builds one
# configuration of CMakePresets.json, e.g. "mingw": the Windows programs and
# their tests in build/, the programs in build/bin/.
tw_build() {
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset"
}

# tw_run PROGRAM [ARGUMENT...]: runs a Windows program under Wine, quietly,
# in $WINEPREFIX (made on first use; build/wine-run comes with the build).
tw_run() {
  build/wine-run "$@"
}

# tw_fresh_prefix DIR: makes DIR a new Wine prefix and the one used from now
# on (exports WINEPREFIX; TW_DRIVE_C is its drive C:), and stops its
# wineserver when the script exits.
tw_fresh_prefix() {
  export WINEPREFIX="$PWD/$1"
  TW_DRIVE_C="$WINEPREFIX/drive_c"
  rm -rf "$WINEPREFIX"
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  tw_run cmd /c exit >/dev/null 2>&1
}

# tw_wait_for_file PATH: waits up to 30 s for a file to appear.
tw_wait_for_file() {
  local _
  for _ in $(seq 1 150); do
    [ -e "$1" ] && return 0
    sleep 0.2
  done
  echo "timed out waiting for $1" >&2
  return 1
}

# tw_start_plain_window FOLDER NAME LIFETIME: starts an ordinary application
# (the fake client as plainapp.exe, copied into C:\FOLDER) in the background,
# recording its keys into C:\FOLDER\NAME-keys.txt, and waits until its window
# is up and in front. It exits after LIFETIME seconds. While it runs it keeps
# Wine's session, and so the services of the prefix, alive.
tw_start_plain_window() {
  local folder=$1 name=$2 lifetime=$3
  mkdir -p "$TW_DRIVE_C/$folder"
  cp build/bin/fake_client.exe "$TW_DRIVE_C/$folder/plainapp.exe"
  tw_run "$TW_DRIVE_C/$folder/plainapp.exe" --tree plain --log "C:\\$folder\\$name-keys.txt" \
    --ready "C:\\$folder\\$name-ready.txt" --lifetime "$lifetime" >/dev/null 2>&1 &
  tw_wait_for_file "$TW_DRIVE_C/$folder/$name-ready.txt"
}

# tw_install_programs FILE...: copies programs of build/bin into
# C:\Program Files\Tarnwick of the current prefix.
tw_install_programs() {
  mkdir -p "$TW_DRIVE_C/Program Files/Tarnwick"
  local file
  for file in "$@"; do
    cp "build/bin/$file" "$TW_DRIVE_C/Program Files/Tarnwick/"
  done
}

# tw_package: the path of the newest package in build/bin.
tw_package() {
  ls -t build/bin/Tarnwick-*-x64.msi | head -n 1
}
