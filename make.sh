#!/usr/bin/env bash
# Set-up, build, run and test Leafwise on Debian 12.
#   ./make.sh run [BOOK]   install what is missing, build, open BOOK (default: the bundled guide)
#   ./make.sh test         install what is missing, build, run every test
#   ./make.sh asan         the whole test suite under AddressSanitizer and UBSan
#   ./make.sh deb          install the package's build dependencies, build leafwise_VERSION_ARCH.deb here
#   ./make.sh fuzz [SECONDS]  the fuzz targets, each for its share of SECONDS (default 600);
#                             what they find goes into tests/damage/regressions/
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)

packages=(build-essential cmake pkg-config libchm-dev libchm-bin qt6-base-dev
          binutils-mingw-w64-x86-64 fp-utils p7zip-full libgtest-dev googletest
          xvfb xauth imagemagick xdg-utils desktop-file-utils shared-mime-info
          appstream man-db groff-base
          fonts-dejavu-core fonts-wqy-zenhei)
# The fonts: DejaVu for Latin and Cyrillic, WenQuanYi Zen Hei for Chinese,
# Japanese and Korean, so that books in those scripts show text, not boxes.
# appstream, man-db and groff-base check the installed files in the tests.
deb_packages=(debhelper dpkg-dev fakeroot lintian)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

build() {
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# A finding kept is named for how it failed, its fuzzer and its bytes.
keep_finding() {
    local file=$1 target=$2 into=$3 suffix=$4
    local kind; kind=$(basename "$file"); kind=${kind%%-*}
    local name; name="$kind-$target-$(sha1sum "$file" | cut -c1-12)$suffix"
    mkdir -p "$into"
    cp "$file" "$into/$name"
    echo "  kept $into/$name"
}

# Builds the four fuzz targets (clang, libFuzzer, ASan and UBSan) and runs
# each, under nice, for its share of the seconds, on a corpus that carries
# over between runs, seeded from the corpus books. Crashes, out-of-memory,
# leaks (more than 64 MB of heap kept) and inputs taking over 2 s of processor time in an
# ordinary build become regression files, which the test suite replays.
fuzz() {
    local seconds=${1:-600}
    local targets=(fuzz-page fuzz-image fuzz-chm-page fuzz-book)
    local share=$(( seconds / ${#targets[@]} ))
    build build
    cmake --build build -j"$(nproc)" --target replay-input >/dev/null
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
          -DCMAKE_CXX_COMPILER=clang++ -DLEAFWISE_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"
    local seeds=build-fuzz/tests/fuzz/seeds regressions=tests/damage/regressions
    for target in "${targets[@]}"; do
        local seed kind keep suffix= extra=()
        case $target in
        fuzz-page) seed=$seeds/page kind=page keep=$regressions/page extra=(-dict=tests/fuzz/html.dict) ;;
        fuzz-image) seed=$seeds/image kind=image keep=$regressions/image ;;
        fuzz-chm-page) seed=$seeds/book kind=book keep=$regressions suffix=.chm ;;
        fuzz-book) seed=$seeds/book kind=book keep=$regressions suffix=.chm ;;
        esac
        local work=build-fuzz/fuzzing/$target
        mkdir -p "$work/corpus" "$work/found"
        echo "$target: $share s"
        ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=16 QT_QPA_PLATFORM=offscreen \
        QT_LOGGING_RULES='*.warning=false' /usr/bin/time -f "$target: %e s, %U s user + %S s system CPU" \
            nice -n 15 "build-fuzz/tests/fuzz/$target" -max_total_time="$share" -timeout=20 \
            -rss_limit_mb=2048 -report_slow_units=2 -print_final_stats=1 -artifact_prefix="$work/found/" \
            "${extra[@]}" "$work/corpus" "$seed" || true
        for found in "$work"/found/*; do
            [ -f "$found" ] || continue
            case $(basename "$found") in
            slow-unit-*|timeout-*)
                local ms; ms=$(QT_QPA_PLATFORM=offscreen build/tests/damage/replay-input "$kind" "$found" 2>/dev/null | cut -d' ' -f1)
                if [ "${ms:-0}" -ge 2000 ]; then keep_finding "$found" "$target" "$keep" "$suffix"
                else echo "  $(basename "$found"): ${ms:-?} ms in an ordinary build, not kept"; fi ;;
            *) keep_finding "$found" "$target" "$keep" "$suffix" ;;
            esac
            rm -f "$found"
        done
    done
}

cmd=${1:-run}
case "$cmd" in
run)
    install_missing
    build build
    book=${2:-$here/build/docs/leafwise-guide.chm}
    echo "Contents of $book:"
    build/tools/leafwise-book contents "$book" || true
    exec tools/show.sh build/app/leafwise "$book"
    ;;
test)
    install_missing
    build build
    cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
    ;;
asan)
    install_missing
    build build-asan -DLEAFWISE_SANITIZE=ON
    cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$(nproc)"
    ;;
deb)
    packages+=("${deb_packages[@]}")
    install_missing
    dpkg-checkbuilddeps
    version=$(dpkg-parsechangelog -S Version)
    arch=$(dpkg --print-architecture)
    DEB_BUILD_OPTIONS="parallel=$(nproc) nocheck" nice -n 10 dpkg-buildpackage -us -uc -b
    # dpkg-buildpackage leaves what it made beside the tree: it comes here.
    for f in ../leafwise_"$version"_"$arch".deb ../leafwise_"$version"_"$arch".buildinfo \
             ../leafwise_"$version"_"$arch".changes ../leafwise-dbgsym_"$version"_"$arch".deb; do
        if [ -e "$f" ]; then mv -f "$f" .; fi
    done
    echo "Built $here/leafwise_${version}_${arch}.deb (install it with: apt-get install ./leafwise_${version}_${arch}.deb)"
    ;;
fuzz)
    packages+=(clang libclang-rt-14-dev)
    install_missing
    fuzz "${2:-600}"
    ;;
*)
    echo "usage: $0 run [BOOK] | test | asan | deb | fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
