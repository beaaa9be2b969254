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

# JACK keeps the servers it knows in a shared registry of only eight slots, and
# frees the slot of a server that died without ending (kill -9, a crash) only
# when a server of the same name starts again. Servers of other names that died
# that way fill it for good ("Too many servers already active"). Frees every
# slot whose process is gone, as JACK itself does for a name it meets again.
readonly registry="/dev/shm/jack-shm-registry"
readonly registry_magic=4a41434b # "JACK"
readonly registry_servers_at=24  # after magic, protocol, type, size, header and entry lengths
readonly registry_slots=8
reclaim_dead_server_slots() {
  [ -w "$registry" ] || return 0
  [ "$(od -An -t x4 -N 4 "$registry" | tr -d ' ')" = "$registry_magic" ] || return 0
  local header_length slot_length at pid freed=0
  header_length=$(od -An -t d4 -j 16 -N 4 "$registry" | tr -d ' ')
  slot_length=$(((header_length - registry_servers_at) / registry_slots))
  [ "$slot_length" -ge 8 ] || return 0
  for slot in $(seq 0 $((registry_slots - 1))); do
    at=$((registry_servers_at + slot * slot_length))
    pid=$(od -An -t d4 -j "$at" -N 4 "$registry" | tr -d ' ')
    if [ "$pid" != 0 ] && [ ! -d "/proc/$pid" ]; then
      dd if=/dev/zero of="$registry" bs=1 seek="$at" count="$slot_length" conv=notrunc status=none
      freed=$((freed + 1))
    fi
  done
  echo "freed $freed slot(s) of servers that died in JACK's registry" >&2
}

# Starts the server and waits until it runs; fails if it ends first.
start_server() {
  # Its own session, no inherited descriptors: CTest waits for the setup
  # test's output to close, and must not wait for the server.
  local scheduling=--no-realtime
  [ "${JACK_TEST_REALTIME:-0}" = 1 ] && scheduling=--realtime
  setsid jackd "$scheduling" -d dummy -r "$rate" -p "$period" </dev/null >"$log_file" 2>&1 &
  echo $! >"$pid_file"
  for _ in $(seq "$start_timeout_tenths"); do
    if jack_wait -c 2>/dev/null | grep -q '^running'; then
      echo "JACK server '$name' running (pid $(cat "$pid_file"))"
      return 0
    fi
    if ! kill -0 "$(cat "$pid_file")" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  return 1
}

case "$action" in
  start)
    command -v jackd >/dev/null || { echo "jackd is not installed (package jackd2)" >&2; exit 1; }
    mkdir -p "$state_dir"
    stop_server # a server left over from an interrupted run
    start_server && exit 0
    if grep -q 'Too many servers already active' "$log_file"; then
      stop_server
      reclaim_dead_server_slots
      start_server && exit 0
    fi
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
