#!/usr/bin/env bash
# Configuring with a version that a Windows Installer package cannot carry
# (major or minor above 255) fails with a message that says so; the highest
# version it can carry configures.
#   version_limit_test.sh SOURCE_DIR SCRATCH_DIR TOOLCHAIN_FILE
set -uo pipefail
source_dir=$1 scratch=$2 toolchain=$3
failed=0
configure() {
  rm -rf "$scratch"
  cmake -S "$source_dir" -B "$scratch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DTW_PRODUCT_ONLY=ON -DTW_VERSION="$1" 2>&1
}
for version in 256.0.0 1.256.0; do
  if out=$(configure "$version"); then
    echo "FAILED: TW_VERSION=$version configured"; failed=1
  # (CMake wraps the lines of its messages.)
  elif tr -s '[:space:]' ' ' <<<"$out" | grep -q "major and a minor version of at most 255"; then
    echo "refused with the message: TW_VERSION=$version"
  else
    echo "FAILED: TW_VERSION=$version failed without the message:"; echo "$out"; failed=1
  fi
done
if out=$(configure 255.255.65535); then
  echo "configured: TW_VERSION=255.255.65535"
else
  echo "FAILED: TW_VERSION=255.255.65535 did not configure:"; echo "$out"; failed=1
fi
rm -rf "$scratch"
exit $failed
