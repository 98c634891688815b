#!/usr/bin/env bash
# Runs one X server test:
#   run_xserver.sh KVASM PLAYER XTOOL DIR/NAME.kvs
# A private X server (Xvfb, 1024 x 768, white root) with the openbox window manager is started;
# NAME.kvs is assembled and run by the player on it, and DIR/NAME.drive, a bash script, drives it
# with real input (xdotool, xclip, xtool) through the helpers below. The player's standard output
# must then equal DIR/NAME.out. Without Xvfb, openbox, xdotool or xclip, or when the server does
# not start, the test is skipped (exit 77) with one line that says why. The player finds the
# programs of DIR/standins first on its PATH: no test opens the desktop's own URL opener.
#
# Helpers for the drive scripts (every wait is bounded; a failed one ends the test):
#   wait_line TEXT [SECONDS]   until the player printed a line equal to TEXT
#   wait_window TITLE          the id of the visible window titled TITLE, once there is one
#   wait_focus WINDOW          until the window has the input focus
#   wait_pixel X Y RRGGBB      until the screen shows that colour at X, Y
#   expect WHAT ACTUAL WANTED  fails when ACTUAL differs from WANTED
#   hold SECONDS               a short pause for what no event reports (the window manager's work)
set -u
kvasm=$1
player=$2
xtool=$3
script=$4
dir=$(cd "$(dirname "$script")" && pwd)
name=$(basename "$script" .kvs)

for tool in Xvfb openbox xdotool xclip stdbuf; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "X server test $name skipped: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kvxserver.XXXXXX")
xvfb_pid= wm_pid= player_pid=
cleanup() {
  if [ -n "$player_pid" ]; then
    kill -KILL "$player_pid" 2>/dev/null
    wait "$player_pid" 2>/dev/null
  fi
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../scripts/script_case.sh
. "$(dirname "$0")/../scripts/script_case.sh"
assemble_case

# The server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -nolisten tcp -noreset 3>display.txt >xvfb.log 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s display.txt ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s display.txt ]; then
  echo "X server test $name skipped: Xvfb could not be started ($(head -c 200 xvfb.log | tr '\n' ' '))"
  exit 77
fi
export DISPLAY=":$(head -n1 display.txt)"
# openbox with its own settings only (the default theme), not those of the user running the test.
mkdir -p config
XDG_CONFIG_HOME="$work/config" openbox >openbox.log 2>&1 &
wm_pid=$!
if ! "$xtool" wm 10; then
  echo "X server test $name skipped: the window manager did not start"
  exit 77
fi

fail() {
  local ended=
  kill -0 "$player_pid" 2>/dev/null || ended=" (the player has ended)"
  echo "FAIL ($name): $*$ended"
  echo "--- player output so far:"
  cat actual.out
  echo "--- player stderr:"
  cat stderr.log
  exit 1
}

# Polls COMMAND every 20 ms until it succeeds, for SECONDS at most.
poll() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  while ! "$@"; do
    [ $SECONDS -ge $end ] && return 1
    kill -0 "$player_pid" 2>/dev/null || { "$@"; return $?; }
    sleep 0.02
  done
}

has_line() { grep -Fxq -- "$1" actual.out; }
wait_line() {
  poll "${2:-10}" has_line "$1" || fail "timed out waiting for the line '$1'"
}

find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep .; }
wait_window() {
  poll 10 find_window "$1" >/dev/null || fail "no window '$1' appeared"
  find_window "$1"
}

has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
wait_focus() {
  poll 10 has_focus "$1" || fail "window $1 did not get the focus"
}

shows() { [ "$("$xtool" pixel "$1" "$2")" = "$3" ]; }
wait_pixel() {
  poll 10 shows "$1" "$2" "$3" || fail "the screen at $1,$2 shows $("$xtool" pixel "$1" "$2"), not $3"
}

expect() {
  [ "$2" = "$3" ] || fail "$1: got '$2', wanted '$3'"
}

hold() { sleep "$1"; }

: >actual.out
: >stderr.log
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy
unset KV_TEST_INPUT KV_REQUESTER_ANSWERS
# Line-buffered output, so that the drive sees each line when it is printed (the sanitizers
# accept the preloaded buffering library). The libraries below SDL's X11 video (D-Bus among them)
# keep allocations for the life of the process that the leak checker can't trace to their
# owners, so it is off here; the headless tests check the player's own allocations.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0:detect_leaks=0" PATH="$work/standins:$PATH" \
  stdbuf -oL "$player" "$name.kva" -debugdevice 1 -quiet >actual.out 2>stderr.log &
player_pid=$!

# shellcheck source=/dev/null
. "$dir/$name.drive"

# The drive ends the script; the player must then end by itself.
player_ended() { ! kill -0 "$player_pid" 2>/dev/null; }
poll 10 player_ended || fail "the player did not end"
wait "$player_pid"
status=$?
player_pid=
if [ $status -ne 0 ]; then
  echo "player exited with status $status"
  cat stderr.log
fi
compare_output
exit $status
