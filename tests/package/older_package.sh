#!/usr/bin/env bash
# Builds the programs and the package once more, with a lower version and
# signed with a throwaway certificate made here with openssl, for the
# upgrade, downgrade and signing tests.
#   older_package.sh SOURCE_DIR BUILD_DIR TOOLCHAIN_FILE VERSION
# BUILD_DIR/signing holds the certificate (cert.pem) and its PKCS#12 file;
# BUILD_DIR/bin the signed programs and Tarnwick-VERSION-x64.msi.
set -euo pipefail
source_dir=$1 build_dir=$2 toolchain=$3 version=$4

signing="$build_dir/signing"
mkdir -p "$signing"
if [ ! -f "$signing/test.pfx" ]; then
  printf 'throwaway-%s' "$RANDOM$RANDOM" >"$signing/password.txt"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Tarnwick test signing" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" \
    -passout "file:$signing/password.txt" -out "$signing/test.pfx"
fi

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTW_PRODUCT_ONLY=ON -DTW_VERSION="$version" \
  -DTW_SIGN_PFX="$signing/test.pfx" -DTW_SIGN_PASSWORD_FILE="$signing/password.txt" >/dev/null
cmake --build "$build_dir" -j2 >/dev/null
test -f "$build_dir/bin/Tarnwick-$version-x64.msi"
echo "Built $build_dir/bin/Tarnwick-$version-x64.msi, signed"
