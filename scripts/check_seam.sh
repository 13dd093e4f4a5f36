#!/usr/bin/env bash
# Every Windows call of the two programs, of the tools (TarnwickCtl,
# TarnwickSmoke) and of the package's custom actions goes through the `win32`
# table. This finds product code that calls a function of the table
# directly: a name from common/win32_functions.h followed by "(", unless it
# is called as `win32.NAME(` or is qualified by a class or namespace
# (`Owner::NAME(`). Comments and string and character literals are not
# looked at, nor are the table's own files, nor the tools' console output
# (tools/console_output.*), which writes to the console directly. Prints
# FILE:LINE: NAME for each such call.
#
#   scripts/check_seam.sh [PATH...]   checks PATH (default: service agent common tools installer);
#                                      exit 0 when clean, 1 when a direct call is found
#   scripts/check_seam.sh --self-check
#                                      runs the check on scripts/check_seam_fixture.cpp
#                                      and compares with the calls marked there
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="$root/common/win32_functions.h"
fixture="$root/scripts/check_seam_fixture.cpp"

names="$(perl -ne 'print "$1\n" if /^\s*X\((\w+),/' "$list")"
if [ -z "$names" ]; then
  echo "check_seam: no function names found in $list" >&2
  exit 2
fi

# Prints FILE:LINE: NAME for every direct call in the given files.
find_direct_calls() {
  NAMES="$names" perl -e '
    my $names = join "|", map { quotemeta } split /\n/, $ENV{NAMES};
    for my $file (@ARGV) {
      open my $in, "<", $file or die "check_seam: cannot read $file: $!\n";
      local $/;
      my $text = <$in>;
      close $in;
      # Blank out comments and literals, keeping every line break.
      $text =~ s{
          //[^\n]*
        | /\*.*?\*/
        | R"([^(\s]*)\(.*?\)\1"
        | "(?:\\.|[^"\\\n])*"
        | \x27(?:\\.|[^\x27\\\n])*\x27
      }{ (my $blank = $&) =~ tr/\n/ /c; $blank }gsex;
      while ($text =~ /\b($names)\s*\(/g) {
        my ($name, $at) = ($1, $-[0]);
        my $before = substr($text, 0, $at);
        # Through the table, or a member of some class or namespace.
        next if $before =~ /(?<!\w)win32\s*\.\s*\z/ || $before =~ /\w\s*::\s*\z/;
        my $line = 1 + ($before =~ tr/\n//);
        print "$file:$line: $name\n";
      }
    }
  ' "$@"
}

# The product sources under PATH..., without the table's own files and the
# tools' console output.
product_files() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) \
    ! -path 'common/win32_api.h' ! -path 'common/win32_api.cpp' \
    ! -path 'common/win32_functions.h' ! -path 'common/win32_override.cpp' \
    ! -path 'tools/console_output.h' ! -path 'tools/console_output.cpp' | sort
}

if [ "${1:-}" = "--self-check" ]; then
  expected="$(perl -ne 'print "$ARGV:$.: $1\n" while /expect: (\w+)/g' "$fixture")"
  set +e
  found="$(find_direct_calls "$fixture")"
  code=$?
  set -e
  if [ "$found" != "$expected" ] || [ "$code" -ne 0 ]; then
    echo "check_seam self-check failed on $fixture" >&2
    diff <(echo "$expected") <(echo "$found") >&2 || true
    exit 1
  fi
  echo "check_seam: the self-check finds the $(echo "$expected" | wc -l) direct calls of its fixture and nothing else"
  exit 0
fi

cd "$root"
[ $# -eq 0 ] && set -- service agent common tools installer
mapfile -t files < <(product_files "$@")
found="$(find_direct_calls "${files[@]}")"
if [ -n "$found" ]; then
  echo "$found"
  echo "check_seam: call these through the table (win32.NAME(...)), see common/win32_api.h" >&2
  exit 1
fi
echo "check_seam: ${#files[@]} files, every call of a table function goes through win32."
