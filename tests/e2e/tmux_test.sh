#!/usr/bin/env bash
# forditva in tmux, as a user meets it in an 80x24 terminal: type a Hungarian
# word, read the pane, press a key, and find the shell's terminal modes as
# they were before.
bin=$1
. "$(dirname "$0")/tmux_lib.sh"

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
wait_file "$dir/after" 5
[ "$(cat "$dir/status")" = 0 ] || { echo "exit status $(cat "$dir/status")"; exit 1; }
cmp -s "$dir/before" "$dir/after" || { echo "terminal modes changed: $(cat "$dir/before") -> $(cat "$dir/after")"; exit 1; }
echo "tmux: tűzijáték reversed, status 0, modes unchanged"
