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
installed() { dpkg-query -W -f='${Status}' zelvane 2> /dev/null | grep -q 'ok installed'; }
if installed || [ -e /usr/bin/zelvane ] || [ -e /usr/bin/zelvane-cli ]; then
    echo "FAIL: a zelvane package or program is already installed; remove it first"
    exit 1
fi
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" || fail "$build is not a Release build"

work="$(mktemp -d)"
apt() { as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@"; }
trap '! installed || apt purge zelvane > /dev/null 2>&1; rm -rf "$work"' EXIT

# --- The package ---
step "building and packaging $build"
must "the build" cmake --build "$build" -j"$(nproc)"
must "cpack -G DEB" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out"
debs=("$work/out"/zelvane_"$version"*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { ls -l "$work/out"; echo "FAIL: no single zelvane_$version*.deb"; exit 1; }
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
must "apt-get install" apt install "$deb"
files="$(dpkg -L zelvane)"
for program in zelvane zelvane-cli; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program on the PATH"
    [ -z "$(readelf -d "/usr/bin/$program" | grep -E 'R(UN)?PATH')" ] || fail "/usr/bin/$program has a search path"
done
[ "$(zelvane-cli --version 2>&1)" = "zelvane-cli $version" ] || fail "zelvane-cli --version is not $version"
mkdir -p "$work/tree/docs" "$work/run" && touch "$work/tree/docs/readme.txt" && chmod 700 "$work/run"
zelvane-cli scan "$work/tree" -o "$work/tree.zelv" > /dev/null 2>&1 || fail "zelvane-cli scan does not succeed"
zelvane-cli list "$work/tree.zelv" 2>&1 | grep -q readme.txt || fail "zelvane-cli list does not show readme.txt"
# The desktop program starts offscreen with that snapshot, and is still running after a while.
env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    zelvane "$work/tree.zelv" > "$work/zelvane.log" 2>&1 &
pid=$!
sleep 4
kill "$pid" 2> /dev/null || fail "zelvane ended at once: $(cat "$work/zelvane.log")"
wait "$pid" 2> /dev/null
for file in applications/zelvane.desktop metainfo/com.halcyra.zelvane.metainfo.xml mime/packages/zelvane.xml \
    icons/hicolor/scalable/apps/zelvane.svg icons/hicolor/48x48/apps/zelvane.png man/man1/zelvane.1 \
    man/man1/zelvane-cli.1 zelvane/License.txt; do
    grep -qx "/usr/share/$file" <<< "$files" || fail "the package does not install /usr/share/$file"
done
# The triggers of shared-mime-info and desktop-file-utils rebuild the system's caches, and
# clean them again on the purge.
caches() {
    ! have update-mime-database || grep -qx '50:application/x-zelvane:\*\.zelv' /usr/share/mime/globs2 ||
        return 1
    ! have update-desktop-database ||
        grep -q '^application/x-zelvane=.*zelvane.desktop' /usr/share/applications/mimeinfo.cache
}
caches || fail "the system's MIME or desktop database does not open *.zelv with zelvane.desktop"

# --- Purging ---
step "apt-get purge zelvane"
apt purge zelvane > "$work/purge.log" 2>&1 || fail "apt-get purge: $(cat "$work/purge.log")"
! installed || fail "zelvane is still installed"
left=""
while read -r path; do
    # Folders such as /usr/share/applications are shared with other packages.
    [ -f "$path" ] || [ -L "$path" ] && left+=" $path"
done <<< "$files"
[ -z "$left" ] && [ ! -e /usr/share/zelvane ] || fail "left after the purge:$left /usr/share/zelvane"
! grep -qs 'zelvane' /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache ||
    fail "the system's MIME or desktop database still names zelvane"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "the package installs, runs and purges cleanly"
