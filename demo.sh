#!/usr/bin/env bash
# The demo, under Wine: the package Tarnwick-VERSION-x64.msi is installed
# silently with msiexec, its log saying why the service does not start yet;
# TarnwickCtl configures hotkeys (standing in for the keyboard filter
# driver), finds the mistake in them with "check", shows "status", and
# presses hotkeys; the service starts a probe that shows what it was given,
# then TarnwickAgent, which posts Win+L into a fake Microsoft Remote Desktop
# client while "watch" tells what a press would do; a client that Tarnwick
# does not know (msrdc.exe) shown with "windows" and added by policy; then
# the agent's local path; finally the package's silent removal.
# Runs in a Wine prefix of its own (build/demo-wineprefix), made anew.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/helpers.sh
tw_ensure_packages "${TW_BASE_PACKAGES[@]}"
tw_build mingw >/dev/null
PACKAGE=$(tw_package)
echo "Built: $PACKAGE (TarnwickSvc.exe, TarnwickAgent.exe, TarnwickCtl.exe)"

step() { printf '\n=== %s\n' "$*"; }
show() { printf '$ %s\n' "$*"; }

echo "Preparing a Wine prefix for the demo (build/demo-wineprefix) ..."
tw_fresh_prefix build/demo-wineprefix
C="$TW_DRIVE_C"
APP='C:\Program Files\Tarnwick'
DEMO='C:\demo'
mkdir -p "$C/demo"
cp "$PACKAGE" "$C/demo/"
MSI="$DEMO\\$(basename "$PACKAGE")"
cp build/bin/probe.exe "$C/demo/probe.exe"
cp build/bin/fake_client.exe "$C/demo/mstsc.exe"      # the fake Remote Desktop client
sim() { show "TarnwickCtl $*"; tw_run "$C/Program Files/Tarnwick/TarnwickCtl.exe" "$@"; }

# An ordinary application in the user's session. It also keeps Wine's
# session alive, which Wine's services need.
tw_start_plain_window demo plain 600

step "1. Install the package silently, into C:\\Program Files\\Tarnwick"
show "msiexec /i $MSI FOLDERCHECK=0 /qn /l*v $DEMO\\install.log"
# FOLDERCHECK=0: Wine keeps no access lists and reports every folder as its
# user's, so the package's check of its folder would refuse the install.
set +e; tw_run msiexec /i "$MSI" FOLDERCHECK=0 /qn /l*v "$DEMO\\install.log"; code=$?; set -e
echo "exit code $code"
echo "installed:"
ls "$C/Program Files/Tarnwick" | sed 's/^/    /'
echo "registered image path (Wine's installer writes it without the quotation marks that Windows Installer puts"
echo "around it, so TarnwickCtl status below warns about it):"
tw_run reg query 'HKLM\System\CurrentControlSet\Services\TarnwickSvc' /v ImagePath | grep ImagePath
echo "what the package wrote into the installer log (no driver here, so no hotkeys yet):"
grep -a '^Tarnwick: ' "$C/demo/install.log" | sed 's/\r$//; s/^/    /'

step "2. Configure hotkeys with TarnwickCtl, with one mistake, and let it check them"
echo "(Wine keeps no access lists and reports every file as its user's, so check and status also warn that"
echo "others may change the programs and their folders; on Windows the package's folder does not give them that.)"
echo "The agent's path holds blanks and is given without quotes:"
sim set LWin+L --run "$APP\\TarnwickAgent.exe"
sim set Demo+Probe --run "\"$DEMO\\probe.exe\" $DEMO\\probe-record.txt"
sim list
set +e; sim check; code=$?; set -e
echo "exit code $code (0: the service would start)"
echo "Quoted as it should be:"
sim set LWin+L --run "\"$APP\\TarnwickAgent.exe\""
sim check

step "3. Start the service; it sets the console user's DisableLockWorkstation to 1 and creates the logon marker"
show "sc start TarnwickSvc"
tw_run sc start TarnwickSvc >/dev/null
for _ in $(seq 1 50); do tw_run sc query TarnwickSvc | grep -q RUNNING && break; sleep 0.2; done
tw_run sc query TarnwickSvc | grep STATE
sleep 0.5
sim status

step "4. Press Demo+Probe: the service starts the probe with the hotkey name appended, in its own folder"
sim press Demo+Probe
tw_wait_for_file "$C/demo/probe-record.txt"
echo "the probe's record (command line, current directory):"
iconv -f UTF-16 -t UTF-8 "$C/demo/probe-record.txt" | sed 's/\r$//; s/^/    /'

step "5. Win+L with Microsoft Remote Desktop in front: the agent posts Win+L into the client"
echo "TarnwickCtl watch tells what a press would do while the fake client comes to the front:"
show "TarnwickCtl watch --seconds 4"
tw_run "$C/Program Files/Tarnwick/TarnwickCtl.exe" watch --seconds 4 &
watcher=$!
sleep 1
echo "(the user starts the fake mstsc.exe on the desktop; the service starts the agent on that same"
echo " interactive desktop, winsta0\\default)"
tw_run "$C/demo/mstsc.exe" --tree mstsc --log "$DEMO\\client-keys.txt" --ready "$DEMO\\client-ready.txt" \
  --lifetime 600 >/dev/null 2>&1 &
tw_wait_for_file "$C/demo/client-ready.txt"
wait "$watcher"
echo "fake mstsc.exe windows (index, handle, level, class|text):"
sed 's/\r$//; s/^/    /' "$C/demo/client-ready.txt"
sim press LWin+L
for _ in $(seq 1 50); do [ "$(grep -c WM_ "$C/demo/client-keys.txt" 2>/dev/null || true)" -ge 4 ] && break; sleep 0.2; done
echo "what the client's windows received (tick, window, message, wParam, lParam):"
sed 's/\r$//; s/^/    /' "$C/demo/client-keys.txt"
echo "the workstation was not locked; the value stayed:"
sim status | grep DisableLockWorkstation

step "5b. A client that Tarnwick does not know, added by policy: msrdc.exe, handled like mstsc.exe"
echo "The Windows App's session window belongs to msrdc.exe. TarnwickCtl windows shows what to write"
echo "in a client entry (here the fake client, started as msrdc.exe, is in front):"
cp build/bin/fake_client.exe "$C/demo/msrdc.exe"
tw_run "$C/demo/msrdc.exe" --window "0:TscShellContainerClass:Session - Remote Desktop" \
  --window "1:UIMainClass:" --window "2:IHWindowClass:Input Capture Window" --focus 2 \
  --log "$DEMO\\msrdc-keys.txt" --ready "$DEMO\\msrdc-ready.txt" --lifetime 600 >/dev/null 2>&1 &
tw_wait_for_file "$C/demo/msrdc-ready.txt"
show "TarnwickCtl windows --wait 0"
tw_run "$C/Program Files/Tarnwick/TarnwickCtl.exe" windows --wait 0
echo "like=mstsc.exe finds the \"Input Capture Window\": the entry is msrdc.exe = like=mstsc.exe"
show 'reg add "HKLM\SOFTWARE\Policies\Tarnwick\Clients" /v msrdc.exe /t REG_SZ /d "like=mstsc.exe"'
tw_run reg add 'HKLM\SOFTWARE\Policies\Tarnwick\Clients' /v msrdc.exe /t REG_SZ /d "like=mstsc.exe" /f >/dev/null
show "TarnwickCtl watch --seconds 1"
tw_run "$C/Program Files/Tarnwick/TarnwickCtl.exe" watch --seconds 1
sim press LWin+L
for _ in $(seq 1 50); do [ "$(grep -c WM_ "$C/demo/msrdc-keys.txt" 2>/dev/null || true)" -ge 4 ] && break; sleep 0.2; done
echo "what msrdc.exe's windows received (tick, window, message, wParam, lParam): Win+L as mstsc.exe gets it"
sed 's/\r$//; s/^/    /' "$C/demo/msrdc-keys.txt"
tw_run reg delete 'HKLM\SOFTWARE\Policies\Tarnwick\Clients' /f >/dev/null

step "6. Win+L with an ordinary window in front: the local path"
echo "An ordinary application comes to the front. The agent lowers DisableLockWorkstation to 0,"
echo "locks the workstation (Wine cannot lock: the call fails), waits for the secure desktop (at"
echo "most 200 x 50 ms; under Wine it never comes) and raises the value to 1 again. Started here"
echo "in the user's session with the command line the service gives it:"
tw_start_plain_window demo front 600
show "\"$APP\\TarnwickAgent.exe\" LWin+L"
tw_run "$C/Program Files/Tarnwick/TarnwickAgent.exe" LWin+L &
agent=$!
sleep 1.5
sim status | grep DisableLockWorkstation
wait "$agent"
echo "agent finished:"
sim status | grep DisableLockWorkstation

step "7. Remove the package: the service is stopped and deleted, and the user may lock the PC again"
show "msiexec /x $MSI /qn"
set +e; tw_run msiexec /x "$MSI" /qn >/dev/null 2>&1; code=$?; set -e
echo "exit code $code"
if tw_run sc query TarnwickSvc >/dev/null 2>&1; then echo "TarnwickSvc is still registered"; else echo "TarnwickSvc is no longer registered"; fi
left=$(ls "$C/Program Files/Tarnwick" 2>/dev/null || true)
if [ -n "$left" ]; then echo "still in C:\\Program Files\\Tarnwick: $left"; else echo "the programs are gone from C:\\Program Files\\Tarnwick"; fi
echo "(TarnwickCtl went with the package; a copy from build/bin shows the state:)"
cp build/bin/TarnwickCtl.exe "$C/demo/TarnwickCtl.exe"
show "TarnwickCtl status"
tw_run "$C/demo/TarnwickCtl.exe" status
show "TarnwickCtl lock-policy"
tw_run "$C/demo/TarnwickCtl.exe" lock-policy
echo
echo "Demo complete."
