#!/usr/bin/env bash
# Starts or stops a private JACK server with the dummy driver for the tests:
#   jack-test-server.sh start NAME STATE_DIR [RATE] [PERIOD]
#   jack-test-server.sh stop  NAME STATE_DIR
# The server runs under its own name (JACK_DEFAULT_SERVER=NAME), needs no sound
# card, no D-Bus and no real-time rights, and works as root. Its process id and
# log are kept in STATE_DIR. JACK_TEST_REALTIME=1 runs it with real-time
# scheduling, as a performer's server runs (the benchmarks; needs the rights).
set -euo pipefail

action=${1:?start or stop}
name=${2:?server name}
state_dir=${3:?state folder}
rate=${4:-44100}
period=${5:-256}

pid_file="$state_dir/jackd-$name.pid"
log_file="$state_dir/jackd-$name.log"
readonly start_timeout_tenths=100

export JACK_DEFAULT_SERVER="$name"
export JACK_NO_AUDIO_RESERVATION=1 # no D-Bus device reservation
export JACK_NO_START_SERVER=1      # clients must never start a server of their own

# Ends the server recorded in the pid file, if that process is still a jackd.
stop_server() {
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file")
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = jackd ]; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file"
  # A server killed with -9 leaves its socket and semaphores behind, and a new
  # server of the same name cannot be reached through them.
  rm -f "${JACK_TMP_DIR:-/dev/shm}/jack_${name}_"* "${JACK_TMP_DIR:-/dev/shm}/jack_sem."*"_${name}_"*
}

case "$action" in
  start)
    command -v jackd >/dev/null || { echo "jackd is not installed (package jackd2)" >&2; exit 1; }
    mkdir -p "$state_dir"
    stop_server # a server left over from an interrupted run
    # Its own session, no inherited descriptors: CTest waits for the setup
    # test's output to close, and must not wait for the server.
    scheduling=--no-realtime
    [ "${JACK_TEST_REALTIME:-0}" = 1 ] && scheduling=--realtime
    setsid jackd "$scheduling" -d dummy -r "$rate" -p "$period" </dev/null >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    for _ in $(seq "$start_timeout_tenths"); do
      if jack_wait -c 2>/dev/null | grep -q '^running'; then
        echo "JACK server '$name' running (pid $(cat "$pid_file"))"
        exit 0
      fi
      if ! kill -0 "$(cat "$pid_file")" 2>/dev/null; then
        break
      fi
      sleep 0.1
    done
    echo "JACK server '$name' did not start; its log:" >&2
    cat "$log_file" >&2
    stop_server
    exit 1
    ;;
  stop)
    stop_server
    echo "JACK server '$name' stopped"
    ;;
  *)
    echo "usage: $0 start|stop NAME STATE_DIR [RATE] [PERIOD]" >&2
    exit 2
    ;;
esac
