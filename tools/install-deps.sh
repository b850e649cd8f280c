#!/usr/bin/env bash
# Installs and prepares everything the build needs on a fresh Debian 12 machine.
# Run as root. Idempotent: a second run only checks and returns quickly.
#
# Third-party libraries that must be cross-compiled (libbzip2 and Boost.Iostreams'
# bzip2 filter) are built from Debian's source packages into a cache outside the
# source tree: ${GRADIVA_DEPS:-$HOME/.cache/gradiva-deps}/<triplet>/{include,lib}.
set -euo pipefail

deps=${GRADIVA_DEPS:-$HOME/.cache/gradiva-deps}
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
          gcc-mingw-w64-i686-posix binutils-mingw-w64 wine64 xvfb x11-apps imagemagick cmake
          ninja-build libboost-dev libfmt-dev googletest icoutils libbz2-dev g++ make
          dpkg-dev xz-utils fonts-wine xxd openssl osslsigncode)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

triplets=(x86_64-w64-mingw32 i686-w64-mingw32)
have_all() {
    for t in "${triplets[@]}"; do
        [[ -f $deps/$t/lib/libbz2.a && -f $deps/$t/lib/libboost_iostreams_bzip2.a ]] || return 1
    done
}
have_all && exit 0

src=$deps/src
mkdir -p "$src"
if [[ ! -f /etc/apt/sources.list.d/gradiva-deb-src.sources ]]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        > /etc/apt/sources.list.d/gradiva-deb-src.sources
    apt-get update -qq
fi

cd "$src"
if ! ls -d bzip2-1.0.8 >/dev/null 2>&1; then
    apt-get source --download-only -qq bzip2
    dpkg-source -x bzip2_*.dsc bzip2-1.0.8 >/dev/null
fi
if [[ ! -f boost/libs/iostreams/src/bzip2.cpp ]]; then
    apt-get source --download-only -qq boost1.74
    tar -xJf boost1.74_*.orig.tar.xz --wildcards '*/libs/iostreams/src/*'
    rm -f boost1.74_*
fi
# An include folder that holds only Boost, never the whole of /usr/include.
mkdir -p "$src/boost-include"
ln -sfn /usr/include/boost "$src/boost-include/boost"

for t in "${triplets[@]}"; do
    out=$deps/$t
    mkdir -p "$out/lib" "$out/include"
    build=$src/bzip2-build-$t
    rm -rf "$build"; cp -r "$src/bzip2-1.0.8" "$build"
    make -s -C "$build" libbz2.a CC=$t-gcc-posix AR=$t-ar RANLIB=$t-ranlib \
        CFLAGS="-O2 -D_FILE_OFFSET_BITS=64" >/dev/null
    cp "$build/libbz2.a" "$out/lib/"; cp "$build/bzlib.h" "$out/include/"
    rm -rf "$build"
    $t-g++-posix -std=c++17 -O2 -c "$src/boost/libs/iostreams/src/bzip2.cpp" \
        -I"$out/include" -I"$src/boost-include" -o "$out/bzip2.o"
    rm -f "$out/lib/libboost_iostreams_bzip2.a"
    $t-ar rcs "$out/lib/libboost_iostreams_bzip2.a" "$out/bzip2.o"
    rm -f "$out/bzip2.o"
done
echo "dependencies ready in $deps"
