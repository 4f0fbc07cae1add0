#!/usr/bin/env bash
# staged_checks.sh PREFIX SCRATCH VERSION BUILD SOURCE SANITIZED
# Runs from install_test.sh on an installed copy of Leafwise.
set -uo pipefail
prefix=$1 scratch=$2 version=$3 build=$4 source=$5 sanitized=$6
id=example.leafwise.Leafwise
guide=$prefix/share/leafwise/leafwise-guide.chm
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/config XDG_DATA_HOME=$scratch/home/data
export XDG_RUNTIME_DIR=$scratch/run LEAFWISE_RUNTIME=$scratch/run/instance LEAFWISE_TEMP=$scratch/run/temp
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

[ -e "$build" ] && [ -n "$(ls -A "$build")" ] && echo "note: the build tree is still reachable"
for f in bin/leafwise bin/leafwise-book share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man1/leafwise.1 share/man/man1/leafwise-book.1 \
         share/leafwise/leafwise-guide.chm share/doc/leafwise/README.md share/doc/leafwise/LICENSE; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done

# The book engine on the installed guide.
"$prefix/bin/leafwise-book" contents "$guide" >"$scratch/contents" 2>"$scratch/err" || fail "leafwise-book contents: $(cat "$scratch/err")"
cmp -s "$scratch/contents" "$scratch/contents.expected" || fail "leafwise-book contents differs from the build's"

# --help and --version of both, without a display: the device never starts.
for program in leafwise leafwise-book; do
    for option in --help -h; do
        out=$(QT_QPA_PLATFORM=xcb "$prefix/bin/$program" $option 2>"$scratch/err"); rc=$?
        [ $rc -eq 0 ] || fail "$program $option exits $rc: $(cat "$scratch/err")"
        [[ ${out,,} == usage:* ]] || fail "$program $option prints no usage: $out"
        [ -s "$scratch/err" ] && fail "$program $option writes to stderr: $(cat "$scratch/err")"
    done
    out=$(QT_QPA_PLATFORM=xcb "$prefix/bin/$program" --version 2>&1); rc=$?
    [ $rc -eq 0 ] || fail "$program --version exits $rc"
    [ "${out##* }" = "$version" ] || fail "$program --version says '$out', not version $version"
done
"$prefix/bin/leafwise-book" --no-such-option >/dev/null 2>"$scratch/err"; rc=$?
[ $rc -eq 2 ] && grep -q '^usage:' "$scratch/err" || fail "an unknown option exits $rc without usage on stderr"

# The reader itself, headless, on the guide: the contents window fills its
# tree with the guide's entries, read from the trace. Bounded wait, then ended.
trace=$scratch/trace
QT_QPA_PLATFORM=offscreen LEAFWISE_TRACE=$trace LEAFWISE_TRACE_ONLY=TVM_INSERTITEMW \
    "$prefix/bin/leafwise" "$guide" >"$scratch/out" 2>&1 &
pid=$!
entries=$(wc -l <"$scratch/contents.expected")
for _ in $(seq 1 300); do
    [ "$(grep -c TVM_INSERTITEMW "$trace" 2>/dev/null)" -ge "$entries" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
kill $pid 2>/dev/null; wait $pid 2>/dev/null
while IFS=$'\t' read -r level title local; do
    grep -qF "\"$title\"" "$trace" 2>/dev/null || fail "the contents window shows no entry '$title' ($(cat "$scratch/out"))"
done <"$scratch/contents.expected"

# The desktop's own validators, and the icons' sizes (a PNG's width and height
# are the big-endian words at bytes 16 and 20).
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$scratch/as" 2>&1 || fail "appstreamcli: $(cat "$scratch/as")"
for size in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] && [ "$w $h" = "$size $size" ] ||
        fail "$png is not a ${size}x${size} PNG ($w x $h)"
done
for page in leafwise leafwise-book; do
    warnings=$(groff -ww -man -z "$prefix/share/man/man1/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "groff warns on $page.1: $warnings"
    rendered=$(MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$rendered" ] || fail "man -l $page.1: $rendered"
done

# Nothing installed names the build or the source tree: no run path, no path
# in a string (debug sections aside; the sanitizers keep source paths on purpose).
for program in leafwise leafwise-book; do
    readelf -d "$prefix/bin/$program" | grep -qE 'RPATH|RUNPATH' && fail "$program has a run path"
done
if [ "$sanitized" != 1 ]; then
    while IFS= read -r -d '' file; do
        copy=$scratch/stripped
        if objcopy --strip-debug "$file" "$copy" 2>/dev/null; then :; else cp "$file" "$copy"; fi
        grep -qaF -e "$build" -e "$source/" "$copy" && fail "$file names the build or source tree"
    done < <(find "$prefix" -type f -print0)
fi

[ $failures -eq 0 ] && echo "installed copy: all checks passed" && exit 0
exit 1
