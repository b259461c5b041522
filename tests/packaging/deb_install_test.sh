#!/usr/bin/env bash
# Makes the Debian package from a Release build (brought up to date first), installs it into
# this system with apt-get, runs both programs from the PATH, checks what the system's
# triggers registered, then purges it and checks that nothing of it is left. Needs root (or
# sudo) and refuses to run when a zelvane package or program is already installed.
#
#   tests/packaging/deb_install_test.sh [BUILD_DIR (default build-release)]
set -uo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$source_dir/build-release}"
build="$(cd "$build" && pwd)" || { echo "FAIL: no build folder $1"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" > /dev/null 2>&1; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
step() { echo "== $*"; }
# Runs a step that the rest needs; on failure shows its output and stops.
must() {
    local what=$1
    shift
    "$@" > "$work/step.log" 2>&1 || { tail -n 30 "$work/step.log"; echo "FAIL: $what"; exit 1; }
}

version="$(sed -n 's/^project(Zelvane VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")"
[ -n "$version" ] || { echo "FAIL: no version in CMakeLists.txt"; exit 1; }
if dpkg-query -W -f='${Status}' zelvane 2> /dev/null | grep -q installed ||
    [ -e /usr/bin/zelvane ] || [ -e /usr/bin/zelvane-cli ]; then
    echo "FAIL: a zelvane package or program is already installed; remove it first"
    exit 1
fi
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")"
[ "$build_type" = Release ] || fail "$build is a $build_type build, not Release"

work="$(mktemp -d)"
installed=0
cleanup() {
    if [ "$installed" -eq 1 ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelvane > /dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- The package ---
step "building and packaging $build"
must "the build" cmake --build "$build" -j"$(nproc)"
must "cpack -G DEB" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out"
debs=("$work/out"/zelvane_"$version"*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    ls -l "$work/out"
    echo "FAIL: cpack made no single zelvane_$version*.deb"
    exit 1
fi
deb="${debs[0]}"
echo "$(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zelvane ] || fail "the package is named $(field Package)"
[ "$(field Version)" = "$version" ] || fail "the package's version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "the package's architecture is $(field Architecture)"
depends="$(field Depends)"
echo "Depends: $depends"
# Found by dpkg-shlibdeps in the programs, with their versions.
for lib in libc6 libstdc++6 libicu72 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
    [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends names no $lib (>= ...)"
done
contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
strays="$(grep -vE '^\./usr/(bin|share)(/|$)|^\./$|^\./usr/$' <<< "$contents")"
[ -z "$strays" ] || fail "the package has files outside /usr/bin and /usr/share: $strays"

# --- Installing ---
step "apt-get install ./$(basename "$deb")"
cp "$deb" "$work/"
must "apt-get install" as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$work/$(basename "$deb")"
installed=1
files="$(dpkg -L zelvane)"

for program in zelvane zelvane-cli; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program on the PATH"
    paths="$(readelf -d "/usr/bin/$program" | grep -E 'R(UN)?PATH')"
    [ -z "$paths" ] || fail "/usr/bin/$program has a search path: $paths"
done

[ "$(zelvane-cli --version 2>&1)" = "zelvane-cli $version" ] || fail "zelvane-cli --version is not $version"

# A capture and a listing through the installed zelvane-cli.
mkdir -p "$work/tree/docs" && touch "$work/tree/docs/readme.txt"
zelvane-cli scan "$work/tree" --title Tree -o "$work/tree.zelv" > /dev/null 2>&1 ||
    fail "zelvane-cli scan does not succeed"
zelvane-cli list "$work/tree.zelv" 2>&1 | grep -q readme.txt || fail "zelvane-cli list does not show readme.txt"

# The desktop program starts offscreen with that snapshot, and is still running after a while.
mkdir -p "$work/run" "$work/config" && chmod 700 "$work/run"
(cd "$work" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    zelvane "$work/tree.zelv") > "$work/zelvane.log" 2>&1 &
pid=$!
sleep 4
if kill -0 "$pid" 2> /dev/null; then
    kill "$pid"
    wait "$pid" 2> /dev/null
    echo "zelvane ran offscreen for 4 s"
else
    wait "$pid"
    fail "zelvane ended at once with status $?: $(cat "$work/zelvane.log")"
fi

# --- What the desktop sees ---
desktop=/usr/share/applications/zelvane.desktop
metainfo=/usr/share/metainfo/com.halcyra.zelvane.metainfo.xml
for file in "$desktop" "$metainfo" /usr/share/mime/packages/zelvane.xml \
    /usr/share/icons/hicolor/scalable/apps/zelvane.svg /usr/share/icons/hicolor/48x48/apps/zelvane.png \
    /usr/share/man/man1/zelvane.1 /usr/share/man/man1/zelvane-cli.1 /usr/share/zelvane/License.txt; do
    grep -qx "$file" <<< "$files" || fail "the package does not install $file"
done
# The triggers of shared-mime-info and desktop-file-utils have rebuilt the system's caches.
if have update-mime-database; then
    grep -qx '50:application/x-zelvane:\*\.zelv' /usr/share/mime/globs2 ||
        fail "the system's MIME database does not map *.zelv to application/x-zelvane"
fi
if have update-desktop-database; then
    grep -q '^application/x-zelvane=.*zelvane.desktop' /usr/share/applications/mimeinfo.cache ||
        fail "the system's desktop database does not open application/x-zelvane with zelvane.desktop"
fi
# --- Purging ---
step "apt-get purge zelvane"
if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelvane > "$work/purge.log" 2>&1; then
    cat "$work/purge.log"
    fail "apt-get purge"
fi
installed=0
dpkg-query -W -f='${Status}' zelvane 2> /dev/null | grep -q 'installed' && fail "zelvane is still installed"
left=""
while read -r path; do
    # Folders such as /usr/share/applications are shared with other packages.
    [ -f "$path" ] || [ -L "$path" ] && left+=" $path"
done <<< "$files"
[ -z "$left" ] || fail "files left after the purge:$left"
[ ! -e /usr/share/zelvane ] || fail "/usr/share/zelvane is left after the purge"
if have update-mime-database && grep -q 'application/x-zelvane' /usr/share/mime/globs2; then
    fail "the system's MIME database still knows application/x-zelvane"
fi
if have update-desktop-database && grep -q 'zelvane.desktop' /usr/share/applications/mimeinfo.cache; then
    fail "the system's desktop database still names zelvane.desktop"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the package installs, runs and purges cleanly"
