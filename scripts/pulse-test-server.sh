#!/usr/bin/env bash
# Starts or stops a private PulseAudio server for the tests:
#   pulse-test-server.sh start STATE_DIR [RATE]
#   pulse-test-server.sh stop  STATE_DIR
# The server has one null sink, "frisson_test" (stereo, 16-bit, RATE Hz), whose
# monitor source "frisson_test.monitor" gives back what was played to it, and
# listens only on the socket STATE_DIR/native (clients: PULSE_SERVER=unix:...).
# Its runtime, state and configuration all live in STATE_DIR: it needs no sound
# card, no D-Bus, no user session and no real-time rights, meets no other
# server, and works as root. Its process id and log are kept in STATE_DIR.
set -euo pipefail

action=${1:?start or stop}
state_dir=${2:?state folder}
rate=${3:-44100}

pid_file="$state_dir/pulseaudio.pid"
log_file="$state_dir/pulseaudio.log"
socket="$state_dir/native"
readonly start_timeout_tenths=100

# Ends the server recorded in the pid file, if that process is still a pulseaudio.
stop_server() {
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file")
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = pulseaudio ]; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file" "$socket"
}

case "$action" in
  start)
    command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed (package pulseaudio)" >&2; exit 1; }
    command -v pactl >/dev/null || { echo "pactl is not installed (package pulseaudio-utils)" >&2; exit 1; }
    mkdir -p "$state_dir/runtime" "$state_dir/state" "$state_dir/home"
    chmod 700 "$state_dir/runtime"
    stop_server # a server left over from an interrupted run
    # -n: no default.pa, so nothing but the two modules (no ALSA, no D-Bus, no
    # autodetection). Running as root only draws a warning without --system.
    # Its own session, no inherited descriptors: CTest waits for the setup
    # test's output to close, and must not wait for the server.
    env -u PULSE_SERVER -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
      HOME="$state_dir/home" XDG_RUNTIME_DIR="$state_dir/runtime" XDG_CONFIG_HOME="$state_dir/home" \
      PULSE_RUNTIME_PATH="$state_dir/runtime" PULSE_STATE_PATH="$state_dir/state" \
      setsid pulseaudio --daemonize=no -n --system=no --use-pid-file=no --exit-idle-time=-1 \
        --disallow-exit --disallow-module-loading --realtime=no --high-priority=no --log-target=stderr \
        --load="module-null-sink sink_name=frisson_test sink_properties=device.description=frisson_test_sink norewinds=1 rate=$rate channels=2 format=s16le" \
        --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
        </dev/null >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    for _ in $(seq "$start_timeout_tenths"); do
      if PULSE_SERVER="unix:$socket" pactl list short sinks 2>/dev/null | grep -q frisson_test; then
        echo "PulseAudio server running on $socket (pid $(cat "$pid_file"))"
        exit 0
      fi
      if ! kill -0 "$(cat "$pid_file")" 2>/dev/null; then
        break
      fi
      sleep 0.1
    done
    echo "PulseAudio server did not start; its log:" >&2
    cat "$log_file" >&2
    stop_server
    exit 1
    ;;
  stop)
    stop_server
    echo "PulseAudio server on $socket stopped"
    ;;
  *)
    echo "usage: $0 start|stop STATE_DIR [RATE]" >&2
    exit 2
    ;;
esac
