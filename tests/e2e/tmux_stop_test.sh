#!/usr/bin/env bash
# forditva stopped from outside (SIGTSTP) in an interactive shell in tmux:
# while it is stopped the shell has its terminal modes back; after `fg` the
# program draws its screen again, goes on reading the line, and ends with
# status 0 and the modes as they were.
bin=$1
. "$(dirname "$0")/tmux_lib.sh"

row() { t capture-pane -p -t main | sed -n "$1p"; }
t send-keys -t main "stty -g >$dir/before" Enter
wait_file "$dir/before" 5
t send-keys -t main "$bin" Enter
wait_for "Írj be egy szót és kiírom fordítva!" 5
t send-keys -t main -l "ab"
for _ in $(seq 1 100); do [ "$(row 2)" = ab ] && break; sleep 0.05; done
pid=$(pgrep -n -x forditva)
kill -TSTP "$pid"
wait_for "Stopped" 5
t send-keys -t main "stty -g >$dir/stopped" Enter
wait_file "$dir/stopped" 5
cmp -s "$dir/before" "$dir/stopped" || { echo "modes while stopped: $(cat "$dir/stopped"), before: $(cat "$dir/before")"; exit 1; }
t send-keys -t main "fg" Enter
for _ in $(seq 1 100); do
  [ "$(row 1)" = "Írj be egy szót és kiírom fordítva!" ] && [ "$(row 2)" = ab ] && [ -z "$(row 3)" ] && break
  sleep 0.05
done
[ "$(row 2)" = ab ] && [ -z "$(row 3)" ] || { echo "screen not drawn again:"; t capture-pane -p -t main; exit 1; }
t send-keys -t main -l "c"
t send-keys -t main Enter
wait_for "A megfordított szó: cba" 5
expected="Írj be egy szót és kiírom fordítva!
abc
A beírt szó 3 karakterből áll.
a
ba
cba
A megfordított szó: cba"
pane=$(t capture-pane -p -t main)
[ "$(printf '%s\n' "$pane" | head -n 7)" = "$expected" ] || { echo "pane differs:"; printf '%s\n' "$pane"; exit 1; }
t send-keys -t main x
t send-keys -t main "echo \$? >$dir/status; stty -g >$dir/after" Enter
wait_file "$dir/after" 5
[ "$(cat "$dir/status")" = 0 ] || { echo "exit status $(cat "$dir/status")"; exit 1; }
cmp -s "$dir/before" "$dir/after" || { echo "terminal modes changed"; exit 1; }
echo "tmux: stopped and continued, screen drawn again, status 0, modes unchanged"
