#!/usr/bin/env bash
# The files of a signed build carry a signature that osslsigncode verifies
# against the throwaway certificate they were signed with; a file of an
# unsigned build does not.
#   signing_test.sh SIGNED_BUILD_DIR SIGNED_PACKAGE UNSIGNED_FILE
set -uo pipefail
build_dir=$1 package=$2 unsigned=$3
ca="$build_dir/signing/cert.pem"
failed=0
for file in "$build_dir"/bin/TarnwickSvc.exe "$build_dir"/bin/TarnwickAgent.exe "$build_dir"/bin/TarnwickCtl.exe \
            "$build_dir"/bin/TarnwickSetup.dll "$package"; do
  if out=$(osslsigncode verify -CAfile "$ca" -in "$file" 2>&1) && grep -q 'Signature verification: ok' <<<"$out" \
     && grep -q 'Tarnwick test signing' <<<"$out"; then
    echo "signed and verified: $file"
  else
    echo "FAILED: $file is not verifiably signed:"; echo "$out"
    failed=1
  fi
done
if osslsigncode verify -CAfile "$ca" -in "$unsigned" >/dev/null 2>&1; then
  echo "FAILED: the unsigned $unsigned verifies"
  failed=1
else
  echo "unsigned, and not verified: $unsigned"
fi
exit $failed
