#!/bin/sh
# Runs a command as a client of its own quorvexd: the daemon serves the simulated displays that
# SIMULATE describes, on a socket in a fresh folder, and is stopped when the command ends.
#   with_daemon.sh QUORVEXD SIMULATE COMMAND [ARG...]
# The command finds the daemon through QUORVEX_SOCKET (QUORVEX_SIMULATE is unset for it); its
# exit status is the script's. The daemon's log is shown when the daemon does not end cleanly. A SIMULATE
# that the daemon refuses is left to the command itself (QUORVEX_SIMULATE, in-process).
set -u
daemon=$1
simulate=$2
shift 2
dir=$(mktemp -d)
QUORVEX_SIMULATE=$simulate "$daemon" --socket "$dir/socket" 2>"$dir/log" &
pid=$!
alive() { kill -0 $pid 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' /proc/$pid/status 2>/dev/null; }
tries=0
until [ -S "$dir/socket" ]; do
  tries=$((tries + 1))
  if ! alive; then
    # A configuration no daemon serves (the tests of malformed ones): the command meets it
    # in-process, as it would without a daemon.
    rm -rf "$dir"
    QUORVEX_SIMULATE=$simulate exec "$@"
  fi
  if [ $tries -gt 500 ]; then
    echo "with_daemon.sh: quorvexd did not start" >&2
    cat "$dir/log" >&2
    kill $pid
    rm -rf "$dir"
    exit 1
  fi
  sleep 0.01
done
env -u QUORVEX_SIMULATE QUORVEX_SOCKET="$dir/socket" "$@"
status=$?
kill $pid
wait $pid
daemon_status=$?
if [ $daemon_status -ne 0 ]; then
  # The command's own exit status and standard error belong to the test; the daemon's log is
  # shown only when the daemon itself did not end cleanly, and that fails the run.
  echo "with_daemon.sh: quorvexd ended with status $daemon_status" >&2
  cat "$dir/log" >&2
  [ $status -ne 0 ] || status=1
fi
rm -rf "$dir"
exit $status
