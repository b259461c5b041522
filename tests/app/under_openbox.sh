#!/bin/sh
# Runs a widget test program (with its arguments) on Xvfb under openbox, once openbox runs;
# exit 77 (skipped) when one of them, wmctrl or xdotool is missing.
for tool in xvfb-run Xvfb xauth openbox wmctrl xdotool; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1600x1000x24" sh -c \
    'openbox & until wmctrl -m >/dev/null 2>&1; do sleep 0.1; done; "$@"; s=$?; kill $!; exit $s' sh "$@"
