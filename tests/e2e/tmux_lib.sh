# Shared by the tmux tests: a private tmux server running an interactive
# shell in an 80x24 window, and a wait for text on its pane.
set -euo pipefail
sock="fv-e2e-$$"
dir=$(mktemp -d)
t() { tmux -L "$sock" -f /dev/null "$@"; }
cleanup() { t kill-server 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT

export LANG=C.UTF-8 LC_ALL=C.UTF-8
t new-session -d -x 80 -y 24 -s main "bash --norc --noprofile -i"
t set-option -g status off
wait_for() {  # text, seconds
  for _ in $(seq 1 $(( $2 * 20 ))); do
    if t capture-pane -p -t main | grep -qF -- "$1"; then return 0; fi
    sleep 0.05
  done
  echo "timed out waiting for: $1"; t capture-pane -p -t main; return 1
}
wait_file() {  # path, seconds
  for _ in $(seq 1 $(( $2 * 20 ))); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "timed out waiting for $1"; t capture-pane -p -t main; return 1
}
