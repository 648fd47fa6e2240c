#!/usr/bin/env bash
# Starts or stops the virtual X server the desktop tests draw on. "start DIR" writes the display
# number the server chose into DIR/xvfb.display; "stop DIR" ends that server.
set -euo pipefail
action=$1 dir=$2
mkdir -p "$dir"
case "$action" in
  start)
    rm -f "$dir/xvfb.display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.display.tmp" >/dev/null 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
      if [[ -s "$dir/xvfb.display.tmp" ]]; then mv "$dir/xvfb.display.tmp" "$dir/xvfb.display"; exit 0; fi
      sleep 0.1
    done
    echo "xvfb: the server did not start" >&2
    exit 1
    ;;
  stop)
    [[ -f "$dir/xvfb.pid" ]] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid" "$dir/xvfb.display"
    ;;
esac
