#!/bin/sh
# The tests' virtual display: test_display.sh start|stop NUMBER. Started once
# by a CTest fixture for the tests that show windows, stopped after them.
# Without Xvfb the tests that need a display skip themselves ("no display"),
# unless VS_REQUIRE asks for one.
action="$1"
n="$2"
pidfile="${TMPDIR:-/tmp}/vs-test-display-$n.pid"
case "$action" in
  start)
    if ! command -v Xvfb >/dev/null 2>&1; then
      case ",${VS_REQUIRE:-}," in
        *,display,*) echo "no display: Xvfb is not installed, and VS_REQUIRE asks for one"; exit 1 ;;
      esac
      echo "no display: Xvfb is not installed; the tests that show windows skip themselves"
      exit 0
    fi
    if [ -S "/tmp/.X11-unix/X$n" ] && [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
      echo "display :$n is running"
      exit 0
    fi
    rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! >"$pidfile"
    i=0
    while [ $i -lt 100 ]; do
      [ -S "/tmp/.X11-unix/X$n" ] && { echo "display :$n started"; exit 0; }
      sleep 0.1
      i=$((i + 1))
    done
    echo "display :$n did not start"
    exit 1
    ;;
  stop)
    if [ -f "$pidfile" ]; then
      kill "$(cat "$pidfile")" 2>/dev/null
      rm -f "$pidfile"
    fi
    exit 0
    ;;
esac
echo "usage: test_display.sh start|stop NUMBER" >&2
exit 2
