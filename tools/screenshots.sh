#!/usr/bin/env bash
# Renders the README's pictures of every window into docs/ (or OUTPUT_DIR), offscreen,
# with the DejaVu fonts, from the program's own windows over a demonstration snapshot and
# a real capture of a generated folder.
#
#   tools/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]      (default build, docs)
#
# BUILD_DIR must be configured with -DZELVANE_GUI=ON; the program zelvane_screenshots is
# built there first.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build}
output=${2:-$source_dir/docs}
cmake --build "$build" --target zelvane_screenshots
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/runtime"
export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp"
export QT_QPA_PLATFORM=offscreen QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu
# A folder of archives captured with --archives, for the pictures of archive members.
mkdir -p "$tmp/src/Music" "$tmp/src/Docs" "$tmp/Backup"
echo la > "$tmp/src/Music/song.mp3"; echo notes > "$tmp/src/Docs/notes.txt"
(cd "$tmp/src" && zip -qr "$tmp/Backup/music.zip" Music && bsdtar -czf "$tmp/Backup/docs.tar.gz" Docs Music)
echo photo > "$tmp/Backup/photo.jpg"
cmake --build "$build" --target zelvane-cli
"$build/src/cli/zelvane-cli" scan "$tmp/Backup" --archives --title Backup -o "$tmp/archives.zelv" > /dev/null
"$build/tools/screenshots/zelvane_screenshots" "$output" "$source_dir/License.txt" "$tmp/archives.zelv"
