#!/usr/bin/env bash
# Benchmarks under Wine: measures speed and memory of the service and the
# agent and prints one table of figures. Runs in a Wine prefix of its own
# (build/bench-wineprefix), made anew; TarnwickSvc is installed there with
# "/install" and removed with "/Uninstall" at the end.
#
#   ./bench.sh [road_bench options]   e.g. --idle-seconds 10 for a quick run
#
# The figures are measurements, not pass marks; the exit code is not 0 only
# when a measurement could not be made or a stop took longer than 1 s.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
tw_ensure_packages "${TW_BASE_PACKAGES[@]}"
tw_build_windows >/dev/null

export WINEPREFIX="$PWD/build/bench-wineprefix"
rm -rf "$WINEPREFIX"
run() { build/wine-run "$@"; }
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

C="$WINEPREFIX/drive_c"
APP='C:\Program Files\Tarnwick'
WORK='C:\bench'
echo "Preparing a Wine prefix for the benchmarks (build/bench-wineprefix) ..." >&2
run cmd /c exit >/dev/null 2>&1
mkdir -p "$C/Program Files/Tarnwick" "$C/bench"
cp build/bin/TarnwickSvc.exe build/bin/TarnwickAgent.exe "$C/Program Files/Tarnwick/"
cp build/bin/fake_client.exe "$C/bench/mstsc.exe"
cp build/bin/fake_client.exe "$C/bench/plainapp.exe"
cp build/bin/floor_poster.exe build/bin/road_bench.exe build/bin/dispatch_bench.exe "$C/bench/"

# An ordinary application in front, which also keeps Wine's session (and so
# the service) alive.
run "$C/bench/plainapp.exe" --tree plain --log "$WORK\\plain-keys.txt" --ready "$WORK\\plain-ready.txt" \
  --lifetime 3600 >/dev/null 2>&1 &
for _ in $(seq 1 150); do [ -e "$C/bench/plain-ready.txt" ] && break; sleep 0.2; done

run "$C/Program Files/Tarnwick/TarnwickSvc.exe" /install >/dev/null

echo
echo "Tarnwick benchmarks, $(date -u +%Y-%m-%d), $(nproc) CPU cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), $(wine --version 2>/dev/null)"
echo
echo "| Figure | Value |"
echo "|---|---|"
run "$C/bench/dispatch_bench.exe" 10000
set +e
run "$C/bench/road_bench.exe" --app "$APP" --work "$WORK" "$@"
code=$?
set -e

run "$C/Program Files/Tarnwick/TarnwickSvc.exe" /Uninstall >/dev/null || true
exit "$code"
