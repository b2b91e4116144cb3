#!/usr/bin/env bash
# forditva in tmux, as a user meets it in an 80x24 terminal: type a Hungarian
# word, read the pane, press a key, and find the shell's terminal modes as
# they were before.
set -euo pipefail
bin=$1
sock="fv-e2e-$$"
dir=$(mktemp -d)
t() { tmux -L "$sock" -f /dev/null "$@"; }
cleanup() { t kill-server 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT

export LANG=C.UTF-8 LC_ALL=C.UTF-8
t new-session -d -x 80 -y 24 -s main "bash --norc --noprofile"
t set-option -g status off
wait_for() {  # text, seconds
  for _ in $(seq 1 $(( $2 * 20 ))); do
    if t capture-pane -p -t main | grep -qF -- "$1"; then return 0; fi
    sleep 0.05
  done
  echo "timed out waiting for: $1"; t capture-pane -p -t main; return 1
}
t send-keys -t main "stty -g >$dir/before; $bin; echo \$? >$dir/status; stty -g >$dir/after; clear" Enter
wait_for "Írj be egy szót és kiírom fordítva!" 5
t send-keys -t main -l "tűzijáték"
t send-keys -t main Enter
wait_for "A megfordított szó: kétájizűt" 5
pane=$(t capture-pane -p -t main)
expected="Írj be egy szót és kiírom fordítva!
tűzijáték
A beírt szó 9 karakterből áll.
t
űt
zűt
izűt
jizűt
ájizűt
tájizűt
étájizűt
kétájizűt
A megfordított szó: kétájizűt"
if [ "$(printf '%s\n' "$pane" | head -n 13)" != "$expected" ]; then
  echo "pane differs:"; printf '%s\n' "$pane"; exit 1
fi
cursor=$(t display -p -t main '#{cursor_x},#{cursor_y}')
[ "$cursor" = "0,13" ] || { echo "cursor at $cursor, expected 0,13"; exit 1; }
t send-keys -t main x
for _ in $(seq 1 100); do [ -s "$dir/after" ] && break; sleep 0.05; done
[ "$(cat "$dir/status")" = 0 ] || { echo "exit status $(cat "$dir/status")"; exit 1; }
cmp -s "$dir/before" "$dir/after" || { echo "terminal modes changed: $(cat "$dir/before") -> $(cat "$dir/after")"; exit 1; }
echo "tmux: tűzijáték reversed, status 0, modes unchanged"
