#!/usr/bin/env bash
# Every DLL that a program we ship imports is a known DLL of Windows 10 and
# 11, which the loader takes from the system folder only, never from the
# program's own folder (where anyone who may write that folder could put a
# DLL of the same name, to be run as LocalSystem). The functions of other
# system DLLs are bound at run time from the system folder
# (LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32, common/win32_api.cpp),
# msi.dll among them: TarnwickSetup.dll binds Windows Installer's functions
# the same way.
#
#   imported_dlls_test.sh OBJDUMP FILE...
set -uo pipefail
objdump=$1
shift

# The known DLLs: the values of
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on
# Windows 10 and 11. Microsoft's "Dynamic-link library search order" names
# that key as the list of the system in use ("Known DLLs": the system uses
# its own copy, found in the system folder, without searching), and
# Microsoft's Raymond Chen ("The Known DLLs Balancing Act", TechNet
# Magazine) warns that its content changes from one version of Windows to
# the next: keep a DLL here only when both versions list it. Lower case.
known="
advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll imagehlp.dll
imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll
sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll
"

failed=0
for file in "$@"; do
  if ! dump=$("$objdump" -p "$file" 2>&1); then
    echo "FAILED: $objdump -p $file: $dump"
    failed=1
    continue
  fi
  imports=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
  if [ -z "$imports" ]; then
    echo "FAILED: no imports found in $file"
    failed=1
    continue
  fi
  allowed="$known"
  for dll in $imports; do
    case "$dll" in
      # API sets are resolved by the loader from its schema, never searched
      # for in the program's folder.
      api-ms-win-*|ext-ms-win-*) continue ;;
    esac
    if [[ " ${allowed//$'\n'/ } " != *" $dll "* ]]; then
      echo "FAILED: $(basename "$file") imports $dll, which is not a known DLL: Windows looks for it in the program's folder first"
      failed=1
    fi
  done
  echo "$(basename "$file"): $(echo $imports)"
done
exit $failed
