#!/usr/bin/env bash
# Frisson as a person uses it: the window under Xvfb, playing on the private
# JACK server, driven with keys sent by xdotool. A sound file is loaded through
# the file chooser (Ctrl+O), play starts (Alt+P), recording runs for two
# seconds (Ctrl+R on, Ctrl+R off), play stops, and the program is left through
# its File menu. The recording must exist and hold sound.
#   desktop-session.sh FRISSON WORK_DIR
# Exit status 77 (skipped) only when Xvfb, xdotool or sox is missing.
set -euo pipefail

frisson=${1:?frisson executable}
work=${2:?work folder}
inside_x=${3:-}

for tool in xvfb-run xdotool sox; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state
export SFDIR=$work/out QT_QPA_PLATFORM=xcb
if [ -z "$inside_x" ]; then
  rm -rf "$work"
  mkdir -p "$work/config/frisson" "$work/data" "$work/state" "$work/out"
  # The JACK server runs at 44100 Hz: the settings say so (and that they are complete).
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[Software\\Wavecraft\\Frisson]\r\n"Version"="Jul 25 2013"\r\n"Sample rate"=dword:0000ac44\r\n' \
    >"$work/config/frisson/settings.reg"
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 3 sine 220 sine 330 vol 0.5
fi

# Runs inside the X server that xvfb-run starts.
session() {
  "$frisson" >"$work/frisson.out" 2>&1 &
  local app=$!
  local win
  win=$(timeout 20 xdotool search --sync --onlyvisible --name '^Frisson$' | head -n 1)
  focus() { xdotool windowfocus --sync "$1"; sleep 0.3; }

  focus "$win"
  xdotool key ctrl+o
  local chooser
  chooser=$(timeout 10 xdotool search --sync --onlyvisible --name '^Sound file$' | head -n 1)
  focus "$chooser"
  xdotool type --delay 20 "$work/tone.wav"
  xdotool key Return
  for _ in $(seq 50); do
    [ "$(xdotool getwindowname "$win")" = "tone.wav - Fizz chops it" ] && break
    sleep 0.2
  done
  echo "title: $(xdotool getwindowname "$win")"

  focus "$win"
  xdotool key alt+p # Play
  sleep 1
  xdotool key ctrl+r # recording on
  sleep 2
  xdotool key ctrl+r # recording off
  sleep 0.3
  xdotool key alt+p # Sto&p: the soft stop fades over half a second
  sleep 1

  # File menu, last item (E&xit).
  xdotool key alt
  sleep 0.3
  xdotool key Down Up Return
  for _ in $(seq 50); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$app" 2>/dev/null; then
    echo "frisson did not leave through its File menu"
    kill "$app"
    return 1
  fi
  local status=0
  wait "$app" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "frisson exited with status $status; its log:"
    cat "$XDG_STATE_HOME/frisson/FizzLog.txt" || true
    return 1
  fi
}
if [ -n "$inside_x" ]; then
  session
  exit
fi
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$frisson" "$work" inside-x
cat "$work/frisson.out"

recording=$work/out/fizz.wav
if [ ! -s "$recording" ]; then
  echo "no recording at $recording"
  exit 1
fi
seconds=$(soxi -D "$recording")
peak=$(sox "$recording" -n stat 2>&1 | awk '/Maximum amplitude/ { print $3 }')
echo "recording: $seconds s, peak $peak"
awk -v s="$seconds" -v p="$peak" 'BEGIN { exit !(s > 1.0 && s < 4.0 && p > 0.01) }' || {
  echo "the recording does not hold two seconds of sound"
  exit 1
}
