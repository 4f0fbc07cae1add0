#!/usr/bin/env bash
# Set-up, build, run and test Leafwise on Debian 12.
#   ./make.sh run [BOOK]   install what is missing, build, open BOOK (default: the bundled guide)
#   ./make.sh test         install what is missing, build, run every test
#   ./make.sh asan         the whole test suite under AddressSanitizer and UBSan
#   ./make.sh deb          install the package's build dependencies, build leafwise_VERSION_ARCH.deb here
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
*)
    echo "usage: $0 run [BOOK] | test | asan | deb" >&2
    exit 2
    ;;
esac
