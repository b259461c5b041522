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
"$build/tools/screenshots/zelvane_screenshots" "$output" "$source_dir/License.txt"
