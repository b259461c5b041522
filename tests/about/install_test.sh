#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every installed file: the exact
# set of files, the programs (without a RUNPATH), the licence, the desktop entry, the
# AppStream metainfo and the MIME type (validated with desktop-file-validate,
# appstreamcli, xmllint and update-mime-database where they are installed), the icons and
# the manual pages. A build without the desktop program installs only zelvane-cli and its
# manual page.
#
#   install_test.sh BUILD_DIR SOURCE_DIR GUI(ON|OFF) "PNG ICON SIZES" [BINDIR DATADIR MANDIR]
# GUI: the desktop program is built; the PNG sizes are empty when they are not rendered.
# BINDIR, DATADIR, MANDIR: the build's install folders relative to the prefix
# (CMAKE_INSTALL_BINDIR and so on; bin, share and share/man by default).
set -uo pipefail
build=$1 source=$2 gui=$3 sizes=$4
bindir=${5:-bin} datadir=${6:-share} mandir=${7:-share/man}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" > /dev/null 2>&1; }
skip() { echo "skipped: $* (not installed)"; }

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

if ! cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1; then
    cat "$prefix.log"
    rm -f "$prefix.log"
    echo "FAIL: cmake --install (build every target first)"
    exit 1
fi
rm -f "$prefix.log"

# --- Exactly the expected files ---
expected=(
    "$bindir/zelvane-cli"
    "$mandir/man1/zelvane-cli.1"
)
if [ "$gui" = ON ]; then
    expected+=(
        "$bindir/zelvane"
        "$datadir/zelvane/License.txt"
        "$datadir/applications/zelvane.desktop"
        "$datadir/metainfo/com.halcyra.zelvane.metainfo.xml"
        "$datadir/mime/packages/zelvane.xml"
        "$mandir/man1/zelvane.1"
        "$datadir/icons/hicolor/scalable/apps/zelvane.svg"
        "$datadir/icons/hicolor/scalable/mimetypes/application-x-zelvane.svg"
    )
    for s in $sizes; do
        expected+=("$datadir/icons/hicolor/${s}x${s}/apps/zelvane.png"
                   "$datadir/icons/hicolor/${s}x${s}/mimetypes/application-x-zelvane.png")
    done
fi
actual="$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)"
wanted="$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)"
if [ "$actual" != "$wanted" ]; then
    fail "installed files differ from the expected set:"
    diff <(echo "$wanted") <(echo "$actual") | sed 's/^/    /'
fi

# --- The programs: they run from the prefix and carry no RUNPATH ---
programs=(zelvane-cli)
[ "$gui" = ON ] && programs+=(zelvane)
for program in "${programs[@]}"; do
    [ -x "$prefix/$bindir/$program" ] || fail "$bindir/$program is not executable"
    if have readelf; then
        paths="$(readelf -d "$prefix/$bindir/$program" 2>&1 | grep -E 'R(UN)?PATH')"
        [ -z "$paths" ] || fail "$bindir/$program has a search path: $paths"
    else
        skip readelf
    fi
done
if ! "$prefix/$bindir/zelvane-cli" --help > /dev/null 2>&1; then
    fail "$bindir/zelvane-cli --help does not succeed"
fi

# --- The manual pages ---
pages=(zelvane-cli)
[ "$gui" = ON ] && pages+=(zelvane)
for page in "${pages[@]}"; do
    file="$prefix/$mandir/man1/$page.1"
    grep -q "^\.TH $(echo "$page" | tr a-z A-Z) 1 " <<< "$(head -n 1 "$file")" ||
        fail "$page.1 has no .TH line for $page(1)"
    if have groff; then
        out="$(groff -man -ww -z "$file" 2>&1)"
        [ -z "$out" ] || fail "groff reports for $page.1: $out"
    else
        skip groff
    fi
done

if [ "$gui" != ON ]; then
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all installed files checked (zelvane-cli only)"
    exit 0
fi

# --- The licence, where the program looks for it: ../share/zelvane/ from bin ---
if ! cmp -s "$source/License.txt" "$prefix/$bindir/../share/zelvane/License.txt"; then
    fail "../share/zelvane/License.txt from $bindir is not the program's License.txt"
fi
grep -q "MIT License" "$source/License.txt" || fail "License.txt is not the MIT licence"
grep -q "Halcyra" "$source/License.txt" || fail "License.txt does not name Halcyra"

# --- The desktop entry ---
desktop="$prefix/$datadir/applications/zelvane.desktop"
if have desktop-file-validate; then
    if ! out="$(desktop-file-validate "$desktop" 2>&1)" || [ -n "$out" ]; then
        fail "desktop-file-validate: $out"
    fi
else
    skip desktop-file-validate
fi
entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_program="$(entry Exec | cut -d' ' -f1)"
[ -x "$prefix/$bindir/$exec_program" ] ||
    fail "Exec= names $exec_program, which is not installed in $bindir/"
case "$(entry Exec)" in
    *" %f") ;;
    *) fail "Exec= does not pass one file (%f): $(entry Exec)" ;;
esac
[ "$(entry MimeType)" = "application/x-zelvane;" ] || fail "MimeType= is $(entry MimeType)"
icon="$(entry Icon)"
[ -f "$prefix/$datadir/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon=$icon has no icon in hicolor/scalable/apps"

# --- The AppStream metainfo: valid, and naming what the package installs ---
metainfo="$prefix/$datadir/metainfo/com.halcyra.zelvane.metainfo.xml"
if have appstreamcli; then
    if ! out="$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1)"; then
        fail "appstreamcli validate: $out"
    fi
else
    skip appstreamcli
fi
grep -q '<id>com.halcyra.zelvane</id>' "$metainfo" || fail "the metainfo's id is not com.halcyra.zelvane"
grep -q '<launchable type="desktop-id">zelvane.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch zelvane.desktop"
for program in "${programs[@]}"; do
    grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide $program"
done
grep -q '<mediatype>application/x-zelvane</mediatype>' "$metainfo" ||
    fail "the metainfo does not provide application/x-zelvane"
version="$(sed -n 's/^project(Zelvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
# Every screenshot is one of the README's pictures in docs/.
shots="$(sed -n 's|.*<image[^>]*>.*/docs/\([^<]*\)</image>.*|\1|p' "$metainfo")"
[ -n "$shots" ] || fail "the metainfo has no screenshot from docs/"
for shot in $shots; do
    [ -f "$source/docs/$shot" ] || fail "the metainfo's screenshot docs/$shot does not exist"
done

# --- The MIME type ---
mime="$prefix/$datadir/mime/packages/zelvane.xml"
if have xmllint; then
    xmllint --noout "$mime" 2>&1 || fail "xmllint: mime/packages/zelvane.xml"
else
    skip xmllint
fi
grep -q '<mime-type type="application/x-zelvane">' "$mime" || fail "no application/x-zelvane type"
grep -q '<glob pattern="\*\.zelv"/>' "$mime" || fail "no *.zelv glob"
if have update-mime-database; then
    # Builds the MIME database of the prefix from the package, as a desktop does.
    data="$(mktemp -d)"
    scratch="$data/mime"
    mkdir -p "$scratch/packages"
    cp "$mime" "$scratch/packages/"
    if ! out="$(XDG_DATA_HOME="$data" XDG_DATA_DIRS="$data" update-mime-database "$scratch" 2>&1)" ||
        [ -n "$out" ]; then
        fail "update-mime-database: $out"
    fi
    grep -qx '50:application/x-zelvane:\*\.zelv' "$scratch/globs2" ||
        fail "the MIME database does not map *.zelv to application/x-zelvane"
    grep -q '^application/x-zelvane:application-x-zelvane$' "$scratch/icons" 2> /dev/null ||
        grep -q 'application/x-zelvane' "$scratch/generic-icons" ||
        fail "the MIME database has no icon for application/x-zelvane"
    rm -rf "$data"
else
    skip update-mime-database
fi

# --- Opening a .zelv file from a file manager starts Zelvane ---
if have update-mime-database && have update-desktop-database; then
    desk="$(mktemp -d)"
    cp -r "$prefix/$datadir" "$desk/share"
    cp -r "$prefix/$bindir" "$desk/bin"
    XDG_DATA_HOME="$desk/home" XDG_DATA_DIRS="$desk/share" \
        update-mime-database "$desk/share/mime" > /dev/null 2>&1
    update-desktop-database "$desk/share/applications"
    grep -qx 'application/x-zelvane=zelvane.desktop;' "$desk/share/applications/mimeinfo.cache" ||
        fail "the desktop database does not open application/x-zelvane with zelvane.desktop"
    if have gio; then
        # As a file manager sees it, with nothing of the user's own desktop in the way.
        printf '\011\000Disk\000' > "$desk/backup.zelv"
        as_desktop() {
            env LC_ALL=C PATH="$desk/bin:$PATH" XDG_DATA_DIRS="$desk/share" XDG_DATA_HOME="$desk/home" \
                XDG_CONFIG_HOME="$desk/config" "$@"
        }
        # (Whole outputs first: grep -q would end the pipe early, and pipefail count that.)
        info="$(as_desktop gio info -a standard::content-type "$desk/backup.zelv" 2>&1)"
        grep -q 'standard::content-type: application/x-zelvane$' <<< "$info" ||
            fail "gio does not see a .zelv file as application/x-zelvane: $info"
        apps="$(as_desktop gio mime application/x-zelvane 2>&1)"
        grep -q '^Default application.*zelvane.desktop' <<< "$apps" ||
            fail "gio has no default application zelvane.desktop for application/x-zelvane: $apps"
    else
        skip gio
    fi
    rm -rf "$desk"
else
    skip "update-mime-database or update-desktop-database"
fi

# --- The icons ---
for svg in "$prefix/$datadir"/icons/hicolor/scalable/*/*.svg; do
    if have xmllint; then
        xmllint --noout "$svg" 2>&1 || fail "xmllint: $svg"
    fi
    grep -q '<svg' "$svg" || fail "$svg is not an SVG image"
done
for s in $sizes; do
    for png in "$prefix/$datadir/icons/hicolor/${s}x${s}"/*/*.png; do
        # The PNG signature, then the IHDR chunk's width and height (big-endian).
        header="$(od -An -tx1 -N24 "$png" | tr -d ' \n')"
        [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "$png is not a PNG image"
        w=$((16#${header:32:8})) h=$((16#${header:40:8}))
        [ "$w" = "$s" ] && [ "$h" = "$s" ] || fail "$png is ${w}x${h}, not ${s}x${s}"
    done
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all installed files checked"
