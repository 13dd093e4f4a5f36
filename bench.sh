#!/usr/bin/env bash
# Benchmarks under Wine: measures speed and memory of the service and the
# agent and prints one table of figures. Runs in a Wine prefix of its own
# (build/bench-wineprefix), made anew; TarnwickSvc is registered there as
# "/install" registers it and removed with "/Uninstall" at the end.
#
#   ./bench.sh [road_bench options]   e.g. --idle-seconds 10 for a quick run
#
# The figures are measurements, not pass marks; the exit code is not 0 only
# when a measurement could not be made or a stop took longer than 1 s.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/helpers.sh
tw_ensure_packages "${TW_BASE_PACKAGES[@]}"
tw_build mingw >/dev/null

echo "Preparing a Wine prefix for the benchmarks (build/bench-wineprefix) ..." >&2
tw_fresh_prefix build/bench-wineprefix
APP='C:\Program Files\Tarnwick'
WORK='C:\bench'
tw_install_programs TarnwickSvc.exe TarnwickAgent.exe
mkdir -p "$TW_DRIVE_C/bench"
cp build/bin/fake_client.exe "$TW_DRIVE_C/bench/mstsc.exe"
cp build/bin/fake_client.exe "$TW_DRIVE_C/bench/msrdc.exe"   # a client known only by policy
cp build/bin/floor_poster.exe build/bin/road_bench.exe build/bin/dispatch_bench.exe "$TW_DRIVE_C/bench/"

# An ordinary application in front.
tw_start_plain_window bench plain 3600

# Registered as "/install" does (own process and interactive, automatic
# start, error control "ignore", LocalSystem, the quoted path): "/install"
# itself registers nothing under Wine, which reports every folder as its
# user's, who may change it.
tw_run sc create TarnwickSvc binPath= "\"$APP\\TarnwickSvc.exe\"" type= own type= interact start= auto \
  error= ignore DisplayName= "Tarnwick Service" >/dev/null

echo
echo "Tarnwick benchmarks, $(date -u +%Y-%m-%d), $(nproc) CPU cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), $(wine --version 2>/dev/null)"
echo
echo "| Figure | Value |"
echo "|---|---|"
tw_run "$TW_DRIVE_C/bench/dispatch_bench.exe" 10000
set +e
tw_run "$TW_DRIVE_C/bench/road_bench.exe" --app "$APP" --work "$WORK" "$@"
code=$?
set -e

tw_run "$TW_DRIVE_C/Program Files/Tarnwick/TarnwickSvc.exe" /Uninstall >/dev/null || true
exit "$code"
