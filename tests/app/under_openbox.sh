#!/bin/sh
# Runs a test program (with its arguments) on Xvfb under openbox; 77 (skipped) without the tools.
for tool in xvfb-run xauth openbox wmctrl xdotool; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1600x1000x24" sh -c 'openbox & until wmctrl -m >/dev/null 2>&1
    do sleep 0.1; done; "$@"; s=$?; kill $!; exit $s' sh "$@"
