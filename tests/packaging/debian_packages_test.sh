#!/usr/bin/env bash
# Builds the Debian packages as Debian does (dpkg-buildpackage from debian/, in a copy of the
# tracked files, with Debian's build flags and the tests), checks them with lintian and
# hardening-check, installs both with apt-get, runs both programs from the PATH, checks what
# the system's triggers registered, then purges them and checks that nothing is left. Needs
# root (or sudo) and refuses to run when a zelvane package or program is installed already.
#
#   tests/packaging/debian_packages_test.sh [OUT_DIR (kept: the .debs, .changes, logs)]
set -uo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" > /dev/null 2>&1; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
step() { echo "== $*"; }
# Runs a step that the rest needs; on failure shows its output and stops.
must() {
    local what=$1
    shift
    "$@" > "$work/step.log" 2>&1 || { tail -n 40 "$work/step.log"; echo "FAIL: $what"; exit 1; }
}

version="$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)"
installed() { dpkg-query -W -f='${Status}' zelvane zelvane-cli 2> /dev/null | grep -q 'ok installed'; }
if installed || [ -e /usr/bin/zelvane ] || [ -e /usr/bin/zelvane-cli ]; then
    echo "FAIL: a zelvane package or program is already installed; remove it first"
    exit 1
fi
work="${1:-$(mktemp -d)}" keep="${1:+yes}"
mkdir -p "$work" && work="$(cd "$work" && pwd)"
apt() { as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@"; }
trap '! installed || apt purge zelvane zelvane-cli > /dev/null 2>&1; [ -n "$keep" ] || rm -rf "$work"' EXIT

# --- The packages ---
step "dpkg-buildpackage -us -uc -b"
rm -rf "$work/zelvane-$version" && mkdir -p "$work/zelvane-$version"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -c) |
    tar -x -C "$work/zelvane-$version"
(cd "$work/zelvane-$version" && dpkg-buildpackage -us -uc -b) > "$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log"; echo "FAIL: dpkg-buildpackage"; exit 1; }
changes="$work/zelvane_${version}_$(dpkg --print-architecture).changes"
for p in zelvane zelvane-cli; do
    deb="$work/${p}_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || { ls -l "$work"; echo "FAIL: no $deb"; exit 1; }
    echo "$(basename "$deb"), $(du -k "$deb" | cut -f1) KiB, Depends: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -c "$deb" | awk '{print "    " $6}' | grep -v '/$'
    debs+=("$deb")
done
depends="$(dpkg-deb -f "${debs[1]}" Depends)"
[[ "$depends" != *libqt6* ]] || fail "zelvane-cli depends on Qt: $depends"
[[ "$(dpkg-deb -f "${debs[0]}" Depends)" == *"libqt6widgets6 (>= "* ]] || fail "zelvane does not depend on Qt"
step "lintian --pedantic -I -E"
tags="$(lintian --pedantic -I -E "$changes" 2>&1 | grep -v '^running with root privileges')"
echo "${tags:-(no tags)}"
! grep -qE '^[EW]:' <<< "$tags" || fail "lintian reports errors or warnings"
step "hardening-check"
for p in zelvane zelvane-cli; do
    dpkg-deb -x "$work/${p}_${version}_$(dpkg --print-architecture).deb" "$work/files-$p"
    # Bookworm's start files carry no IBT/SHSTK property, so no program linked with them can
    # have it (Control flow integrity), and a program without a frame above a page needs no
    # stack clash probes: those two lines are told, not counted.
    out="$(hardening-check "$work/files-$p/usr/bin/$p" 2>&1)"
    echo "$out"
    ! grep -vE 'Control flow integrity|Stack clash' <<< "$out" | grep -qE ': no' ||
        fail "hardening-check: $p lacks a hardening feature"
done

# --- Installing ---
step "apt-get install both"
must "apt-get install" apt install "${debs[@]}"
files="$(dpkg -L zelvane zelvane-cli)"
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
    icons/hicolor/scalable/apps/zelvane.svg icons/hicolor/48x48/apps/zelvane.png man/man1/zelvane.1.gz \
    man/man1/zelvane-cli.1.gz zelvane/License.txt bash-completion/completions/zelvane-cli \
    zsh/vendor-completions/_zelvane-cli fish/vendor_completions.d/zelvane-cli.fish \
    doc/zelvane/copyright doc/zelvane-cli/changelog.gz; do
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
step "apt-get purge zelvane zelvane-cli"
apt purge zelvane zelvane-cli > "$work/purge.log" 2>&1 || fail "apt-get purge: $(cat "$work/purge.log")"
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
echo "the packages build clean, install, run and purge cleanly"
