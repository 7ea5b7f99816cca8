#!/usr/bin/env bash
# Builds the static Qt for Windows that quorvel.exe is linked with (Core, Gui, Widgets,
# Test and the Windows platform plugin), cross-compiled with mingw-w64 from Debian's own
# source package of the Qt this machine has, and installs it into a cache folder outside
# the clone: QVL_QT_CACHE (default /var/cache/quorvel)/qt-VERSION-mingw-HASH, HASH naming
# the source version, the compiler and the options below. A complete one is reused; one
# that a stopped or failed build left is never used: the build installs into a folder of
# its own and takes the name only when it is whole.
#   tools/qt-windows.sh      prints the folder on its last line (CMAKE_PREFIX_PATH)
# A failed step stops with the tail of its log; the whole log stays in the cache folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${QVL_QT_CACHE:-/var/cache/quorvel}
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

version=$(dpkg-query -W -f='${Version}' qt6-base-dev) # 6.4.2+dfsg-10
upstream=${version%%+*}
# Static and Release, the third-party libraries Qt carries (nothing of the Linux host
# leaks into a Windows build), and only the modules the windows use.
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_HOST_PATH=/usr -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_system_zlib=OFF -DINPUT_pcre=qt -DINPUT_freetype=qt -DINPUT_harfbuzz=qt -DINPUT_libpng=qt
    -DINPUT_libjpeg=qt -DINPUT_doubleconversion=qt
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
    -DINPUT_opengl=no -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_fontconfig=OFF
    # Without Direct2D, Qt 6.4 leaves out the DirectWrite 3 font database that the Windows
    # platform still asks for: the fonts come from GDI, as they always did.
    -DFEATURE_directwrite3=OFF
    # Debian's source leaves out the tablet header (its licence allows no changes).
    -DFEATURE_tabletevent=OFF
)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
hash=$(printf '%s\n' "$version" "$compiler" "${options[@]}" "$(cat "$root/cmake/mingw-w64.cmake")" |
    sha256sum | cut -c1-12)
prefix=$cache/qt-$upstream-mingw-$hash
if [ -f "$prefix/.complete" ] && [ -f "$prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ]; then
    echo "qt-windows: reusing $prefix" >&2
    echo "$prefix"
    exit 0
fi

# The build folder of a build that was stopped is built on (ninja removes what a stopped
# command left half-written); the installed folder of one is never used.
work=$cache/work-$hash
log=$cache/qt-$upstream-mingw-$hash.log
mkdir -p "$cache"
rm -rf "$prefix" "$prefix.partial"
resumed=
[ -f "$work/configured" ] && resumed=1 || rm -rf "$work"
mkdir -p "$work"
touch "$log"
step() {
    local what=$1 started=$SECONDS rc=0
    shift
    echo "qt-windows: $what" >&2
    "$@" >>"$log" 2>&1 </dev/null || rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "qt-windows: $what failed ($rc); the end of $log:" >&2
        tail -n 40 "$log" >&2
        exit 1
    fi
    echo "qt-windows: $what took $((SECONDS - started)) s" >&2
}

if [ ! -f "$work/configured" ]; then
    step "fetching qtbase $version" bash -c "bash '$root/cmake/apt-source.sh' qt6-base '$version' '$work/src' >'$work/srcdir'"
    step "configuring" cmake -S "$(cat "$work/srcdir")" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix.partial" \
        "${options[@]}"
    touch "$work/configured"
fi
# A build that was killed outright may have left a half-written file behind: once, it
# starts again from the beginning.
if [ -z "$resumed" ]; then
    step "building" cmake --build "$work/build" --parallel "$(nproc)"
else
    echo "qt-windows: building on the stopped build in $work" >&2
    if ! cmake --build "$work/build" --parallel "$(nproc)" >>"$log" 2>&1 </dev/null; then
        echo "qt-windows: the stopped build did not build on; starting again" >&2
        rm -rf "$work"
        exec bash "$0" "$@"
    fi
fi
step "installing" cmake --install "$work/build"
# The prefix is written into the installed CMake files: they must name the final folder.
# Text files only: a path in a library (QtCore keeps its own) cannot change length.
grep -rlIF "$prefix.partial" "$prefix.partial" | xargs -r sed -i "s|$prefix.partial|$prefix|g"
printf '%s\n' "$version" "$compiler" "${options[@]}" >"$prefix.partial/.complete"
mv "$prefix.partial" "$prefix"
rm -rf "$work"
echo "$prefix"
