#!/usr/bin/env bash
# The Windows build against the Linux build, the Windows programs run under wine:
#   cross-platform.sh same-bytes LINUX_BUILD WIN_BUILD WINE
#     the same repairs of copies of one file write the same bytes on both systems: a batch
#     on an indexed date, on a text indexed in the sort order Chinese PRC, and on Access 97
#     text (code page 1252, and 936 when the shared Chinese corpus is there); the Windows
#     repairs run in a folder and on a file with Chinese names; the batch on the date writes
#     the same undo log on both, and undoing it leaves the same bytes on both;
#   cross-platform.sh outputs LINUX_BUILD WIN_BUILD WINE
#     the two tools print the same bytes and exit alike for scan (dates and characters),
#     verify and verify-indexes on every committed fixture and corpus file, and for list;
#   cross-platform.sh locks LINUX_BUILD WIN_BUILD WINE
#     a file held by the engine on one system is refused, as in use, to the tool of the
#     other (and of its own), for repairs and for reading; once let go, both open it.
# Exit status 77 with "tool absent: …" when the Linux build is missing, and with "optional
# shared file absent: PATH" after the other checks when the shared Chinese corpus is.
set -uo pipefail
check=$1 linux=$2 win=$3
shift 3
wine=("$@")
root=$(cd "$(dirname "$0")/../.." && pwd)
shared=${MDBCHECK_SHARED_DIR:-$root/../shared}

if [ -z "$linux" ] || [ ! -x "$linux/tools/mdbcheck-cli" ] || [ ! -x "$linux/tests/tools/hold" ]; then
  echo "tool absent: the Linux build's mdbcheck-cli and hold (configure with -DMDBCHECK_LINUX_BUILD=DIR)"
  exit 77
fi
lcli=$linux/tools/mdbcheck-cli lhold=$linux/tests/tools/hold
wcli=$win/mdbcheck-cli.exe whold=$win/tests/tools/hold.exe
export LC_ALL=C.UTF-8  # wine turns the arguments into UTF-16 by the locale's character set
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 absent=""

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# The same command on a copy for each system; the copies must end byte for byte equal.
same() {
  local source=$1 name=$2
  shift 2
  mkdir -p "$work/linux" "$work/账套"
  cp "$source" "$work/linux/$name"
  cp "$source" "$work/账套/$name"
  chmod u+w "$work/linux/$name" "$work/账套/$name"
  local l w
  local lu=() wu=()
  [ -z "${undo:-}" ] || lu=(--undo-log "$work/linux/$undo") wu=(--undo-log "$work/账套/$undo")
  l=$("$lcli" "$1" "$work/linux/$name" "${@:2}" "${lu[@]}" 2>&1 >/dev/null) ||
    fail "Linux: $* on $name: $l"
  w=$("${wine[@]}" "$wcli" "$1" "$work/账套/$name" "${@:2}" "${wu[@]}" 2>&1 >/dev/null) ||
    fail "Windows: $* on $name: $w"
  if cmp -s "$work/linux/$name" "$work/账套/$name"; then
    echo "same bytes: $* on $name"
  else
    fail "$* on $name: the files differ ($(cmp "$work/linux/$name" "$work/账套/$name" | head -1))"
  fi
  ! cmp -s "$work/linux/$name" "$source" || fail "$* on $name changed nothing"
  if [ -n "${undo:-}" ]; then
    cmp -s "$work/linux/$undo" "$work/账套/$undo" || fail "$* on $name: the undo logs differ"
    "$lcli" undo "$work/linux/$name" "$work/linux/$undo" >/dev/null 2>&1 || fail "Linux: undo on $name"
    "${wine[@]}" "$wcli" undo "$work/账套/$name" "$work/账套/$undo" >/dev/null 2>&1 ||
      fail "Windows: undo on $name"
    cmp -s "$work/linux/$name" "$work/账套/$name" && echo "same bytes: undo on $name" ||
      fail "undo on $name: the files differ"
  fi
  rm -f "$work/linux/$name" "$work/账套/$name"
}

# A file held by HOLDER (a command) is refused to TOOL (a command) for a repair and a read.
refused() {
  local what=$1 file=$2
  shift 2
  local holder=() tool=()
  while [ "$1" != -- ]; do holder+=("$1"); shift; done
  shift
  tool=("$@")
  rm -f "$work/ctl" "$work/held"
  mkfifo "$work/ctl"
  "${holder[@]}" "$file" <"$work/ctl" >"$work/held" 2>&1 &
  local pid=$!
  exec 7>"$work/ctl"
  for _ in $(seq 1 300); do
    grep -q held "$work/held" 2>/dev/null && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q held "$work/held"; then
    fail "$what: the holder did not hold the file: $(cat "$work/held")"
  else
    local out
    out=$("${tool[@]}" update-all "$file" 凭证 制单日期 --dates --date 2024-6-30 2>&1) &&
      fail "$what: a repair went ahead: $out"
    [[ $out == *"已在使用中"* ]] || fail "$what: the repair's refusal does not say the file is in use: $out"
    out=$("${tool[@]}" verify "$file" 2>&1) && fail "$what: a read went ahead: $out"
    [[ $out == *"已在使用中"* ]] || fail "$what: the read's refusal does not say the file is in use: $out"
    echo "refused while held: $what"
  fi
  exec 7>&-
  wait $pid || fail "$what: the holder failed: $(cat "$work/held")"
  "${tool[@]}" verify "$file" >/dev/null 2>&1 || fail "$what: the file stays refused after it was let go"
}

case $check in
  same-bytes)
    undo=撤销记录.log same "$root/tests/data/checks2000.mdb" 凭证2000.mdb \
      update-all 凭证 制单日期 --dates --date 2024-6-30
    same "$root/tests/corpus/V1997/testIndexCodesV1997.mdb" 凭证97.mdb \
      update-all Table1 data --chars '{#%' --mode '(_&'
    for f in guestbook-book.mdb jet3-addressbook.mdb; do
      [ -f "$shared/corpus-cn/$f" ] || absent="$shared/corpus-cn/$f"
    done
    if [ -z "$absent" ]; then
      same "$shared/corpus-cn/guestbook-book.mdb" 留言.mdb \
        update-all mytable name --chars 传剑白 --mode 傳劍百
      same "$shared/corpus-cn/jet3-addressbook.mdb" 通讯录.mdb \
        update-all ２３３７通讯录 家庭地址 --chars - --mode 〇
    fi
    ;;
  outputs)
    cd "$root"
    files=0
    while IFS= read -r f; do
      for command in "scan $f --dates" "scan $f --chars" "verify $f" "verify-indexes $f"; do
        # shellcheck disable=SC2086  # the command's words
        l=$("$lcli" $command 2>&1; echo "exit $?")
        # shellcheck disable=SC2086
        w=$("${wine[@]}" "$wcli" $command 2>&1; echo "exit $?")
        [ "$l" = "$w" ] || fail "$command: Linux and Windows differ: $(diff <(echo "$l") <(echo "$w") | head -5)"
      done
      files=$((files + 1))
    done < <(find tests/data tests/corpus -name '*.mdb' -o -name '*.accdb' | sort)
    for command in "list tests/data/checks2000.mdb 凭证 制单日期 --dates" \
                   "list tests/corpus/V1997/testIndexCodesV1997.mdb Table1 data --chars"; do
      # shellcheck disable=SC2086
      l=$("$lcli" $command 2>&1; echo "exit $?")
      # shellcheck disable=SC2086
      w=$("${wine[@]}" "$wcli" $command 2>&1; echo "exit $?")
      [ "$l" = "$w" ] || fail "$command: Linux and Windows differ: $(diff <(echo "$l") <(echo "$w") | head -5)"
    done
    echo "same output: scan --dates, scan --chars, verify and verify-indexes of $files files, and list"
    ;;
  locks)
    file="$work/锁/凭证.mdb"
    mkdir -p "$work/锁"
    cp "$root/tests/data/checks2000.mdb" "$file"
    chmod u+w "$file"
    refused "Linux holds, Windows tries" "$file" "$lhold" -- "${wine[@]}" "$wcli"
    refused "Windows holds, Linux tries" "$file" "${wine[@]}" "$whold" -- "$lcli"
    refused "Windows holds, Windows tries" "$file" "${wine[@]}" "$whold" -- "${wine[@]}" "$wcli"
    ;;
  *)
    echo "unknown check $check"
    exit 2
    ;;
esac

[ $failures -eq 0 ] || exit 1
if [ -n "$absent" ]; then
  echo "optional shared file absent: $absent"
  exit 77
fi
echo "cross-platform $check: passed"
