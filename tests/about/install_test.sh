#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every installed file, with the
# validators of the desktop where they are installed. Without the desktop program only
# zelvane-cli and its manual page are installed.
#
#   install_test.sh BUILD_DIR SOURCE_DIR GUI(ON|OFF) "PNG ICON SIZES" [BINDIR DATADIR MANDIR ZSHDIR]
set -uo pipefail
build=$1 source="$(cd "$2" && pwd)" gui=$3 sizes=$4
bin=${5:-bin} data=${6:-share} man=${7:-share/man} zsh=${8:-zsh/site-functions}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" > /dev/null 2>&1 || { echo "skipped: $1 (not installed)"; false; }; }
# Runs a validator; any output or a failure counts against FILE.
quiet() { local out; out="$("$@" 2>&1)" && [ -z "$out" ] || fail "$1: $out"; }
finish() {
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
    echo "all installed files checked$1"
    exit 0
}

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix" "$prefix.log"' EXIT
if ! cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1; then
    cat "$prefix.log"
    echo "FAIL: cmake --install (build every target first)"
    exit 1
fi
cd "$prefix" || exit 1

programs=(zelvane-cli)
[ "$gui" = ON ] && programs+=(zelvane)
icons=$data/icons/hicolor
expected=()
for p in "${programs[@]}"; do expected+=("$bin/$p" "$man/man1/$p.1"); done
# zelvane-cli's completions.
expected+=("$data/bash-completion/completions/zelvane-cli" "$data/$zsh/_zelvane-cli"
    "$data/fish/vendor_completions.d/zelvane-cli.fish")
if [ "$gui" = ON ]; then
    expected+=("$data/zelvane/License.txt" "$data/applications/zelvane.desktop"
        "$data/metainfo/com.halcyra.zelvane.metainfo.xml" "$data/mime/packages/zelvane.xml"
        "$icons/scalable/apps/zelvane.svg" "$icons/scalable/mimetypes/application-x-zelvane.svg")
    for s in $sizes; do
        expected+=("$icons/${s}x$s/apps/zelvane.png" "$icons/${s}x$s/mimetypes/application-x-zelvane.png")
    done
fi
diff <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
    <(find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) ||
    fail "installed files differ from the expected set (< expected, > installed)"

for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] || fail "$bin/$p is not executable"
    ! have readelf || [ -z "$(readelf -d "$bin/$p" | grep -E 'R(UN)?PATH')" ] || fail "$bin/$p has a search path"
    head -n 1 "$man/man1/$p.1" | grep -q "^\.TH $(tr a-z A-Z <<< "$p") 1 " || fail "$p.1 has no .TH line for $p(1)"
    ! have groff || quiet groff -man -ww -z "$man/man1/$p.1"
done
"$bin/zelvane-cli" --help > /dev/null 2>&1 || fail "$bin/zelvane-cli --help does not succeed"
# Each completion script is the program's own and loads in its shell.
for sh in bash zsh fish; do
    script=$(printf '%s\n' "${expected[@]}" | grep -E "(completions|functions|\.d)/_?zelvane-cli(\.fish)?$" | grep "$sh")
    cmp -s <("$bin/zelvane-cli" completion "$sh") "$script" || fail "$script is not what completion $sh prints"
    ! have "$sh" || "$sh" -n "$script" || fail "$sh does not read $script"
done
[ "$gui" = ON ] || finish " (zelvane-cli only)"

# The program looks for its licence in ../share/zelvane/ from its own folder.
cmp -s "$source/License.txt" "$bin/../share/zelvane/License.txt" || fail "the installed License.txt differs"
grep -q "MIT License" "$source/License.txt" && grep -q Halcyra "$source/License.txt" ||
    fail "License.txt is not the MIT licence of Halcyra"

desktop=$data/applications/zelvane.desktop
! have desktop-file-validate || quiet desktop-file-validate "$desktop"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ -x "$bin/$(entry Exec | cut -d' ' -f1)" ] || fail "Exec= names no installed program: $(entry Exec)"
[[ "$(entry Exec)" == *" %f" ]] || fail "Exec= does not pass one file (%f): $(entry Exec)"
[ "$(entry MimeType)" = "application/x-zelvane;" ] || fail "MimeType= is $(entry MimeType)"
[ -f "$icons/scalable/apps/$(entry Icon).svg" ] || fail "Icon=$(entry Icon) has no scalable icon"

metainfo=$data/metainfo/com.halcyra.zelvane.metainfo.xml
if have appstreamcli; then
    out="$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1)" || fail "appstreamcli: $out"
fi
version="$(sed -n 's/^project(Zelvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")"
for want in '<id>com.halcyra.zelvane</id>' '<launchable type="desktop-id">zelvane.desktop</launchable>' \
    '<binary>zelvane</binary>' '<binary>zelvane-cli</binary>' \
    '<mediatype>application/x-zelvane</mediatype>' "<release version=\"$version\""; do
    grep -qF "$want" "$metainfo" || fail "the metainfo has no $want"
done
shots="$(sed -n 's|.*<image[^>]*>.*/docs/\([^<]*\)</image>.*|\1|p' "$metainfo")"
[ -n "$shots" ] || fail "the metainfo has no screenshot from docs/"
for shot in $shots; do [ -f "$source/docs/$shot" ] || fail "no docs/$shot for the metainfo"; done

mime=$data/mime/packages/zelvane.xml
grep -q '<mime-type type="application/x-zelvane">' "$mime" && grep -q '<glob pattern="\*\.zelv"/>' "$mime" ||
    fail "zelvane.xml does not map *.zelv to application/x-zelvane"
for svg in "$mime" "$icons"/scalable/*/*.svg; do ! have xmllint || quiet xmllint --noout "$svg"; done
for s in $sizes; do
    for png in "$icons/${s}x$s"/*/*.png; do
        # The PNG signature, then the IHDR chunk's width and height (big-endian).
        header="$(od -An -tx1 -N24 "$png" | tr -d ' \n')"
        [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "$png is not a PNG image"
        [ $((16#${header:32:8}))x$((16#${header:40:8})) = "${s}x$s" ] || fail "$png is not ${s}x$s"
    done
done

# Opening a .zelv file from a file manager starts Zelvane: the caches a desktop builds.
if have update-mime-database && have update-desktop-database; then
    desk="$prefix/desk"
    mkdir -p "$desk" && cp -r "$data" "$desk/share" && cp -r "$bin" "$desk/bin"
    as_desktop() {
        env LC_ALL=C PATH="$desk/bin:$PATH" XDG_DATA_DIRS="$desk/share" XDG_DATA_HOME="$desk/home" \
            XDG_CONFIG_HOME="$desk/config" "$@"
    }
    quiet as_desktop update-mime-database "$desk/share/mime"
    update-desktop-database "$desk/share/applications"
    grep -qx '50:application/x-zelvane:\*\.zelv' "$desk/share/mime/globs2" || fail "globs2 has no *.zelv"
    grep -q 'application/x-zelvane' "$desk/share/mime/generic-icons" "$desk/share/mime/icons" 2> /dev/null ||
        fail "the MIME database has no icon for application/x-zelvane"
    grep -qx 'application/x-zelvane=zelvane.desktop;' "$desk/share/applications/mimeinfo.cache" ||
        fail "the desktop database does not open application/x-zelvane with zelvane.desktop"
    if have gio; then
        printf '\011\000Disk\000' > "$desk/backup.zelv"
        # Whole outputs first: grep -q would end the pipe early.
        info="$(as_desktop gio info -a standard::content-type "$desk/backup.zelv" 2>&1)"
        grep -q 'content-type: application/x-zelvane$' <<< "$info" || fail "gio: $info"
        apps="$(as_desktop gio mime application/x-zelvane 2>&1)"
        grep -q '^Default application.*zelvane.desktop' <<< "$apps" || fail "gio: $apps"
    fi
fi
finish ""
