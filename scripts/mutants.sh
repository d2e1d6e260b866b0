#!/usr/bin/env bash
# Measures what the test suite catches: plants each one-line fault of a list
# (scripts/mutants.txt, format described there) in the working tree, one at
# a time, rebuilds the builds its test groups need, runs those groups and
# reports CAUGHT (a group failed, or ran past the time limit) or MISSED. The
# file is restored after every fault, also when the run is interrupted.
#
#   scripts/mutants.sh [options] [ID...]     (no ID: every fault of the list)
#
#   --list FILE        fault list (default scripts/mutants.txt)
#   --build KIND=DIR   build dir of a kind (native, native32, win32, win64,
#                      fuzz); default build/KIND. Builds must be configured
#                      (make build-native build-win64).
#   --timeout SECONDS  limit per group run (default 600)
#   --jobs N           build jobs (default 2)
#   --report FILE      also write the table and the summary line to FILE
#   --logs DIR         per-fault build and test output (default build/mutants-logs)
#   --check            only check that every pattern matches exactly one place
#   --no-clean-run     skip running every named group once on the unchanged tree
#
# Windows groups run under Wine as scripts/wine-tests.sh runs them: one X
# display (Xvfb unless DISPLAY is set), one private prefix and one desktop for
# the whole run. Their identity checks use build/native/bin, so any fault with
# a Windows group also rebuilds the native build. Exit status: 0 when every
# fault was caught, 1 when one was missed or could not be planted or built,
# 2 on a usage or set-up error.
set -uo pipefail
set -f  # group regexes and patterns are never file globs

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
list=$root/scripts/mutants.txt
timeout_s=600
jobs=2
report=
logs=$root/build/mutants-logs
check_only=0
clean_run=1
declare -A build_dir=()
selected=()
args=("$@")

die() { echo "mutants.sh: $*" >&2; exit 2; }
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; echo "${s%"${s##*[![:space:]]}"}"; }

while [ $# -gt 0 ]; do
  case "$1" in
    --list) list=$2; shift 2 ;;
    --build) [[ "$2" == *=* ]] || die "--build wants KIND=DIR"; build_dir[${2%%=*}]=${2#*=}; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --report) report=$2; shift 2 ;;
    --logs) logs=$2; shift 2 ;;
    --check) check_only=1; shift ;;
    --no-clean-run) clean_run=0; shift ;;
    -h|--help) sed -n '2,26p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) selected+=("$1"); shift ;;
  esac
done
[ -f "$list" ] || die "no fault list $list"

dir_of() {  # build dir of a kind, absolute
  local d=${build_dir[$1]:-}
  [ -n "$d" ] || d=build/$1
  case "$d" in /*) echo "$d" ;; *) echo "$root/$d" ;; esac
}

# ---- the list
ids=() areas=() groups=() finds=() repls=()
n=-1 lineno=0
while IFS= read -r line || [ -n "$line" ]; do
  lineno=$((lineno + 1))
  line=${line%"${line##*[![:space:]]}"}  # trailing blanks
  case "$line" in
    ''|'#'*) ;;
    '@ '*)
      n=$((n + 1))
      IFS='|' read -r id area grp <<<"${line#@ }"
      ids[n]=$(trim "$id") areas[n]=$(trim "$area") groups[n]=$(trim "$grp") finds[n]= repls[n]=
      ;;
    '- '*) [ $n -ge 0 ] || die "$list:$lineno: text before the first @ line"; finds[n]=${line#- } ;;
    '+ '*) [ $n -ge 0 ] || die "$list:$lineno: text before the first @ line"; repls[n]=${line#+ } ;;
    *) die "$list:$lineno: not a fault line: $line" ;;
  esac
done <"$list"
for i in "${!ids[@]}"; do
  [ -n "${ids[i]}" ] && [ -n "${finds[i]}" ] && [ -n "${repls[i]}" ] && [ -n "${groups[i]}" ] ||
    die "fault ${ids[i]:-#$i}: needs an id, groups, a - line and a + line"
done

todo=()
if [ ${#selected[@]} -eq 0 ]; then
  todo=("${!ids[@]}")
else
  for want in "${selected[@]}"; do
    found=
    for i in "${!ids[@]}"; do [ "${ids[i]}" = "$want" ] && found=$i; done
    [ -n "$found" ] || die "no fault $want in $list"
    todo+=("$found")
  done
fi

# ---- finding and planting a fault (exact text, one place in the tree)
# Searched: tracked files outside tests/, scripts/, docs/ and tools/streams/
# (the test-stream makers, which share some of the decoder's rules).
locate() {  # prints "COUNT" then one "FILE:LINE" per place
  (cd "$root" && git ls-files -z -- . ':!tests' ':!scripts' ':!docs' ':!.ci' ':!tools/streams') |
    python3 -c '
import sys
pattern = sys.argv[1]
places = []
for name in sys.stdin.buffer.read().split(b"\0"):
    if not name:
        continue
    path = name.decode()
    try:
        text = open(sys.argv[2] + "/" + path, encoding="utf-8").read()
    except (OSError, UnicodeDecodeError):
        continue
    start = text.find(pattern)
    while start >= 0:
        places.append("%s:%d" % (path, text.count("\n", 0, start) + 1))
        start = text.find(pattern, start + 1)
print(len(places))
for p in places:
    print(p)
' "$1" "$root"
}

plant() {  # FILE FIND REPLACEMENT
  python3 -c '
import sys
path, find, repl = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
assert text.count(find) == 1
open(path, "w", encoding="utf-8").write(text.replace(find, repl))
' "$1" "$2" "$3"
}

if [ $check_only = 1 ]; then
  bad=0
  for i in "${todo[@]}"; do
    mapfile -t where < <(locate "${finds[i]}")
    if [ "${where[0]}" = 1 ]; then
      printf '%-24s %s\n' "${ids[i]}" "${where[1]}"
    else
      printf '%-24s pattern found in %s places %s\n' "${ids[i]}" "${where[0]}" "${where[*]:1}"
      bad=1
    fi
  done
  exit $bad
fi

# ---- builds and Wine
kinds_of() {  # build kinds a fault's groups need (Windows groups need native too)
  local g k out=()
  for g in $1; do
    k=${g%%:*}
    out+=("$k")
    case "$k" in win32|win64) out+=(native) ;; esac
  done
  printf '%s\n' "${out[@]}" | sort -u
}

all_kinds=$(for i in "${todo[@]}"; do kinds_of "${groups[i]}"; done | sort -u)
need_wine=0
for k in $all_kinds; do
  d=$(dir_of "$k")
  [ -f "$d/CMakeCache.txt" ] || die "build dir $d is not configured (make build-$k)"
  case "$k" in win32|win64) need_wine=1 ;; esac
done

if [ $need_wine = 1 ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "${BASH_SOURCE[0]}" "${args[@]}"
fi

mkdir -p "$logs"
work=$(mktemp -d)
planted_file=
restore() {
  if [ -n "$planted_file" ]; then
    cp "$work/original" "$root/$planted_file"
    planted_file=
  fi
}
cleanup() {
  restore
  [ $need_wine = 1 ] && bash "$root/scripts/wine-prefix.sh" stop >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "mutants.sh: interrupted, file restored" >&2; exit 130' INT TERM HUP

if [ $need_wine = 1 ]; then
  keeper=$(dir_of win64)/bin/desktop_keeper.exe
  [ -f "$keeper" ] || keeper=
  bash "$root/scripts/wine-prefix.sh" stop >/dev/null 2>&1
  bash "$root/scripts/wine-prefix.sh" start ${keeper:+--keep-desktop "$keeper"} >/dev/null 2>&1 ||
    die "cannot start the Wine prefix"
fi

build() {  # KIND LOG: incremental build; false on a build failure
  cmake --build "$(dir_of "$1")" -j "$jobs" >>"$2" 2>&1
}

# Runs one group; prints "pass", "fail", "hang", "skip" (ctest skipped it)
# or "none" (no such test).
run_group() {  # KIND:REGEX LOG
  local kind=${1%%:*} regex=${1#*:} out rc
  out=$(cd "$(dir_of "$kind")" &&
        timeout -k 20 "$timeout_s" ctest --output-on-failure --timeout "$timeout_s" -R "^($regex)\$" 2>&1)
  rc=$?
  printf '%s\n' "$out" >>"$2"
  if [ $rc = 124 ] || [ $rc = 137 ]; then echo hang
  elif grep -q 'No tests were found' <<<"$out"; then echo none
  elif grep -q '\*\*\*Skipped' <<<"$out"; then echo skip
  elif [ $rc = 0 ]; then echo pass
  else echo fail
  fi
}

start_all=$(date +%s)

if [ $clean_run = 1 ]; then
  echo "Unchanged tree: building and running every named group once"
  clean_log=$logs/unchanged-tree.log
  : >"$clean_log"
  for k in $all_kinds; do build "$k" "$clean_log" || die "the unchanged tree does not build ($k), see $clean_log"; done
  for g in $(for i in "${todo[@]}"; do echo ${groups[i]}; done | sort -u); do
    r=$(run_group "$g" "$clean_log")
    [ "$r" = pass ] || die "group $g gives '$r' on the unchanged tree, see $clean_log"
  done
fi

rows=()
caught=0 missed=0 broken=0
for i in "${todo[@]}"; do
  id=${ids[i]}
  log=$logs/$id.log
  : >"$log"
  t0=$(date +%s)
  mapfile -t where < <(locate "${finds[i]}")
  file=- place=- result= by=-
  if [ "${where[0]}" != 1 ]; then
    result="PATTERN-${where[0]}"  # not found, or not in exactly one place
    echo "pattern found in ${where[0]} places: ${where[*]:1}" >>"$log"
  else
    file=${where[1]%:*} place=${where[1]}
    cp "$root/$file" "$work/original"
    planted_file=$file
    plant "$root/$file" "${finds[i]}" "${repls[i]}"
    echo "planted in ${where[1]}: ${repls[i]}" >>"$log"
    for k in $(kinds_of "${groups[i]}"); do
      build "$k" "$log" || { result=NO-BUILD; break; }
    done
    if [ -z "$result" ]; then
      for g in ${groups[i]}; do
        echo "=== $g" >>"$log"
        r=$(run_group "$g" "$log")
        case "$r" in
          fail) result=CAUGHT by=$g; break ;;
          hang) result=CAUGHT by="$g (time-out)"; break ;;
          none) result=NO-TEST by=$g; break ;;
          skip) result=SKIPPED by=$g; break ;;
        esac
      done
      [ -n "$result" ] || result=MISSED
    fi
    restore
  fi
  secs=$(($(date +%s) - t0))
  case "$result" in CAUGHT) caught=$((caught + 1)) ;; MISSED) missed=$((missed + 1)) ;; *) broken=$((broken + 1)) ;; esac
  row=$(printf '%-24s %-24s %-38s %-10s %-28s %5ss' "$id" "${areas[i]}" "$place" "$result" "$by" "$secs")
  rows+=("$row")
  echo "$row"
done

# Builds left as the unchanged tree, so later work does not test a fault.
final_log=$logs/rebuild.log
: >"$final_log"
for k in $all_kinds; do build "$k" "$final_log" || echo "mutants.sh: rebuild of $k failed, see $final_log" >&2; done

total=$(($(date +%s) - start_all))
summary="${#todo[@]} faults: $caught caught, $missed missed, $broken not run (pattern, build or test name); $((total / 60)) min $((total % 60)) s"
{
  printf '%-24s %-24s %-38s %-10s %-28s %6s\n' id area place result "caught by" time
  printf '%s\n' "${rows[@]}"
  echo "$summary"
} >"$work/table"
echo
cat "$work/table"
[ -n "$report" ] && cp "$work/table" "$report"
[ $missed = 0 ] && [ $broken = 0 ]
