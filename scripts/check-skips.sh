#!/usr/bin/env bash
# Lists the tests a CTest run skipped, each with its reasons, and fails on every skip but
# one kind: a test named in tests/allowed-skips.txt whose only reason is an optional file of
# the shared folder that is really absent ("optional shared file absent: PATH"). A missing
# tool, an engine that refuses, or a skip without a reason all fail the run.
# The run of the Windows build (--windows) also accepts a part that only a POSIX system can
# run ("posix only: WHAT": mdb-export, flock), for the tests the list names under
# "windows:".
#   bash scripts/check-skips.sh JUNIT_XML [--windows]   (the report of ctest --output-junit)
set -euo pipefail
xml=${1:?JUNIT_XML}
windows=0
[ "${2:-}" = --windows ] && windows=1
root=$(cd "$(dirname "$0")/.." && pwd)
allow="$root/tests/allowed-skips.txt"
if [ ! -s "$xml" ]; then
  echo "check-skips: no test report at $xml" >&2
  exit 1
fi

# One line per skipped test: NAME, then its reasons, separated by TABs. A GoogleTest skip
# prints "FILE:LINE: Skipped" and its message on the next line; a test that is no
# GoogleTest program (exit status 77) prints its reason as "tool absent: ...".
skips=$(awk '
  function unescape(s) {
    gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s); gsub(/&lt;/, "<", s)
    gsub(/&gt;/, ">", s); gsub(/&amp;/, "\\&", s)
    return s
  }
  /<testcase / {
    inside = 1; name = ""; skipped = 0; reasons = ""; next_is_reason = 0
    if (match($0, /name="[^"]*"/)) name = unescape(substr($0, RSTART + 6, RLENGTH - 7))
    skipped = ($0 ~ /status="notrun"/)
  }
  function add(reason) {
    if (index(reasons "\t", "\t" reason "\t") == 0) reasons = reasons "\t" reason
  }
  inside {
    line = unescape($0)
    sub(/^.*<system-out>/, "", line)
    if (next_is_reason) { add(line); next_is_reason = 0 }
    else if (line ~ /^(tool absent|optional shared file absent|posix only): /) add(line)
    if (line ~ /: Skipped$/) next_is_reason = 1
  }
  /<\/testcase>/ { if (inside && skipped) print name reasons; inside = 0 }
' "$xml")

# allowed NAME KIND: whether the list names NAME (KIND "windows": under "windows:").
allowed() {
  local name=$1 kind=$2 pattern
  while IFS= read -r pattern; do
    pattern=${pattern%%#*}
    pattern=${pattern%"${pattern##*[![:space:]]}"}
    [ -n "$pattern" ] || continue
    if [[ $pattern == windows:* ]]; then
      [ "$kind" = windows ] || continue
      pattern=${pattern#windows:}
      pattern=${pattern#"${pattern%%[![:space:]]*}"}
    elif [ "$kind" = windows ]; then
      continue
    fi
    # shellcheck disable=SC2053  # the allow-list holds glob patterns
    [[ $name == $pattern ]] && return 0
  done <"$allow"
  return 1
}

count=0 unexpected=0
while IFS=$'\t' read -r -a fields; do
  [ ${#fields[@]} -gt 0 ] || continue
  name=${fields[0]}
  count=$((count + 1))
  ok=1 why="" shared=0 posix=0
  if [ ${#fields[@]} -lt 2 ]; then
    ok=0 why="no reason given"
  fi
  for reason in "${fields[@]:1}"; do
    echo "skipped: $name: ${reason:-(no reason)}"
    if [[ $reason == "optional shared file absent: "* ]]; then
      shared=1
      file=${reason#optional shared file absent: }
      # A Windows build names the file on drive Z:, which wine maps to /.
      [ $windows = 1 ] && file=${file#Z:}
      if [ -e "$file" ]; then ok=0 why="$file is present"; fi
    elif [[ $reason == "posix only: "* ]] && [ $windows = 1 ]; then
      posix=1
    else
      ok=0 why="not an absent optional shared file"
    fi
  done
  if [ $ok = 1 ] && [ $shared = 1 ] && ! allowed "$name" shared; then
    ok=0 why="not in tests/allowed-skips.txt"
  fi
  if [ $ok = 1 ] && [ $posix = 1 ] && ! allowed "$name" windows; then
    ok=0 why="not under windows: in tests/allowed-skips.txt"
  fi
  if [ $ok = 0 ]; then
    echo "UNEXPECTED SKIP: $name ($why)"
    unexpected=$((unexpected + 1))
  fi
done <<<"$skips"

echo "check-skips: $count skipped, $unexpected unexpected"
[ $unexpected -eq 0 ]
