#!/usr/bin/env bash
# Runs one golden script test:
#   run_golden.sh KVASM PLAYER DIR/NAME.kvs
# The script's folder is copied into a fresh temporary directory, NAME.kvs is assembled there
# into NAME.kva, and the player runs it in that directory:
#   PLAYER NAME.kva -debugdevice 1 -quiet [words of NAME.args]
# Its standard output must equal DIR/NAME.out byte for byte. A missing NAME.out fails and
# shows the output, so that a new test's expectation can be reviewed and saved.
# An optional NAME.answers file answers the script's requesters in turn, one answer a line
# (KV_REQUESTER_ANSWERS); without one every requester acts as cancelled. An optional NAME.events
# file feeds the script's input (KV_TEST_INPUT). An optional NAME.disk file gives the script
# small file systems of its own (see prepare_disks in script_case.sh); the player then runs in a
# private mount namespace, and where none can be made (not root, no unshare) the test reports
# itself skipped (status 77).
set -u
kvasm=$1
player=$2
script=$3
dir=$(cd "$(dirname "$script")" && pwd)
name=$(basename "$script" .kvs)
# shellcheck source=script_case.sh
. "$(dirname "$0")/script_case.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kvgolden.XXXXXX")
trap 'rm -rf "$work"' EXIT
assemble_case

args=()
if [ -f "$dir/$name.args" ]; then
  read -r -a args <"$dir/$name.args" || true
fi

unset KV_REQUESTER_ANSWERS KV_TEST_INPUT
# An optional NAME.events file is the script's input: one group of events each time the player
# waits for an event (KV_TEST_INPUT); when it is used up, the player stops.
if [ -f "$dir/$name.events" ]; then
  export KV_TEST_INPUT="$work/$name.events"
fi
if [ -f "$dir/$name.answers" ]; then
  export KV_REQUESTER_ANSWERS="$work/$name.answers"
fi

export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-dummy}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
if [ -f "$dir/$name.disk" ]; then
  if ! disks_available; then
    echo "skipped: no private mount namespace for $name.disk (needs root and unshare)"
    exit 77
  fi
  KV_CASE_DISK="$dir/$name.disk" KV_CASE_SHELL="$(dirname "$0")/script_case.sh" \
    timeout 100 unshare -m --propagation private bash -c \
    '. "$KV_CASE_SHELL" && prepare_disks "$KV_CASE_DISK" && exec "$@"' player \
    "$player" "$name.kva" -debugdevice 1 -quiet "${args[@]}" >actual.out 2>stderr.log
else
  timeout 100 "$player" "$name.kva" -debugdevice 1 -quiet "${args[@]}" >actual.out 2>stderr.log
fi
status=$?
if [ $status -ne 0 ]; then
  echo "player exited with status $status"
  cat stderr.log
fi

compare_output
exit $status
