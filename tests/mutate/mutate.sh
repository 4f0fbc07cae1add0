#!/usr/bin/env bash
# Slips of the kind a developer makes (a bound off by one, a dropped case
# fold, a skipped step, a wrong constant), put into a copy of the source one at
# a time; each copy is built and the whole suite run. A slip the suite passes
# is a behaviour no test checks.
#
#   tests/mutate/mutate.sh [FILE.slips ...]   default: every tests/mutate/*.slips
#
# A slips file holds blocks like this one; the first occurrence of the "-"
# text (a part of one line) becomes the "+" text, which may be empty:
#
#   @ book/Book.cpp  a cut just after a trail byte splits a character
#   - if (bytes[i - 1] < 0x30)
#   + if (bytes[i - 1] < 0x80)
#
# "@asan" instead of "@" runs that slip under AddressSanitizer: for slips that
# only read or write out of bounds. Settings: MUTATE_DIR (the copy and its
# builds, default /tmp/leafwise-mutate), MUTATE_ONLY (a word that the slip's
# line must contain), MUTATE_JOBS (default 2), MUTATE_TIMEOUT (seconds a test
# may take, default 120) and MUTATE_EXCLUDE (a ctest -E pattern of tests left
# out, for tests that time out or race on a loaded machine: a slip "killed"
# by such a test would be a slip no test caught). Needs what ./make.sh test
# installs; uses ccache when it is there.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=${MUTATE_DIR:-/tmp/leafwise-mutate}
jobs=${MUTATE_JOBS:-2}
only=${MUTATE_ONLY:-}
timeout=${MUTATE_TIMEOUT:-120}
exclude=()
[ -n "${MUTATE_EXCLUDE:-}" ] && exclude=(-E "$MUTATE_EXCLUDE")
copy=$work/src
log=$work/log
mkdir -p "$work" "$log"

if [ $# -eq 0 ]; then
    set -- "$here"/tests/mutate/*.slips
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# The copy holds the tracked files as they are in the work tree, with their
# times kept, so that builds after the first one are incremental.
rm -rf "$copy"
mkdir -p "$copy"
(cd "$here" && git ls-files -z | tar --null -T - -cf - 2>/dev/null) | tar -xf - -C "$copy"
# Every slip of an earlier run left its objects behind, newer than the file
# as the copy has it again: the files it slipped are built afresh.
if [ -f "$work/slipped" ]; then
    while IFS= read -r slipped; do
        touch "$copy/$slipped" 2>/dev/null
    done <"$work/slipped"
    rm -f "$work/slipped"
fi

build_dir() { [ "$1" = asan ] && echo "$work/build-asan" || echo "$work/build"; }

configure() {
    local dir
    dir=$(build_dir "$1")
    [ -f "$dir/CMakeCache.txt" ] && return 0
    local options=()
    [ "$1" = asan ] && options=(-DLEAFWISE_SANITIZE=ON)
    cmake -S "$copy" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEAFWISE_CORPUS="$here/../shared/corpus" \
        "${launcher[@]}" "${options[@]}" >"$log/configure-$1.txt" 2>&1
}

# 0: built and every test passed; 1: a test failed; 2: it did not build.
build_and_test() {
    local kind=$1 name=$2 dir
    dir=$(build_dir "$kind")
    configure "$kind" || return 2
    cmake --build "$dir" -j"$jobs" >"$log/$name.build.txt" 2>&1 || return 2
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
        ctest -j"$jobs" --timeout "$timeout" "${exclude[@]}" --stop-on-failure >"$log/$name.test.txt" 2>&1) || return 1
    return 0
}

# Replaces the first occurrence of OLD in FILE by NEW; fails when FILE has none.
apply() {
    OLD=$2 NEW=$3 perl -e '
        local $/; open my $in, "<", $ARGV[0] or exit 3; my $text = <$in>; close $in;
        my ($old, $new) = ($ENV{OLD}, $ENV{NEW});
        my $at = index($text, $old);
        exit 4 if $at < 0 || $old eq "";
        substr($text, $at, length $old) = $new;
        open my $out, ">", $ARGV[0] or exit 3; print $out $text; close $out;' "$1"
}

echo "baseline: building and testing the unchanged copy in $work"
for kind in plain asan; do
    if grep -hq '^@asan' "$@" || [ "$kind" = plain ]; then
        build_and_test "$kind" "baseline-$kind"
        if [ $? -ne 0 ]; then
            echo "the unchanged copy does not pass ($kind): see $log/baseline-$kind.*" >&2
            exit 1
        fi
    fi
done

killed=0 survived=0 stillborn=0 stale=0 number=0
survivors=()
run_slip() {
    local kind=$1 file=$2 what=$3 old=$4 new=$5
    [ -n "$only" ] && [[ "$file $what $old" != *"$only"* ]] && return
    number=$((number + 1))
    local name
    name=$(printf 'slip%03d' "$number")
    local target=$copy/$file
    cp -p "$target" "$work/original" 2>/dev/null || { echo "$name STALE  $file: no such file"; stale=$((stale + 1)); return; }
    echo "$file" >>"$work/slipped"
    if ! apply "$target" "$old" "$new"; then
        echo "$name STALE  $file: no \"$old\" in it"
        stale=$((stale + 1))
        return
    fi
    build_and_test "$kind" "$name"
    case $? in
    0) echo "$name SURVIVED  $file: $what"
       survivors+=("$file: $what  ($old -> $new)")
       survived=$((survived + 1)) ;;
    1) echo "$name killed    $file: $what"
       killed=$((killed + 1)) ;;
    *) echo "$name no build $file: $what (see $log/$name.build.txt)"
       stillborn=$((stillborn + 1)) ;;
    esac
    # Back to the original text, newer than the slip's objects.
    cp "$work/original" "$target"
    touch "$target"
}

for slips in "$@"; do
    kind='' file='' what='' old='' new=''
    while IFS= read -r line || [ -n "$line" ]; do
        case $line in
        @asan\ *|@\ *)
            [ "${line%% *}" = "@asan" ] && kind=asan || kind=plain
            line=${line#* }
            line=${line#"${line%%[! ]*}"}
            file=${line%% *}
            what=${line#"$file"}
            what=${what#"${what%%[! ]*}"} ;;
        -\ *) old=${line#- } ;;
        +\ *|+)
            new=${line#+}
            new=${new# }
            run_slip "$kind" "$file" "$what" "$old" "$new" ;;
        esac
    done <"$slips"
done

# Leave the copy as it was for the next run.
rm -f "$work/original"
total=$((killed + survived))
echo
if [ ${#survivors[@]} -gt 0 ]; then
    echo "Survivors (behaviours no test checks):"
    printf '  %s\n' "${survivors[@]}"
fi
echo "$number slips: $killed killed, $survived survived, $stillborn did not build, $stale stale"
[ $total -gt 0 ] && echo "kill rate: $((100 * killed / total))% ($killed of $total)"
