#!/usr/bin/env bash
# zorvane-editor --script against the headless client (zorvane-tool sync client): the keys of
# the track files answer the requests, scripted edits, pause, seek and save arrive, the saved
# files are the ones `track make` writes for the same keys, a client that comes back gets the
# edits, and peers that send garbage lose their connection while the editor carries on.
#   sync_editor.sh ZORVANE_EDITOR ZORVANE_TOOL
set -uo pipefail
editor=$1
tool=$2
work=$(mktemp -d)
editor_pid=
client_pid=
trap 'kill $editor_pid $client_pid 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "FAIL: $*"
  for log in *.log; do echo "--- $log"; cat "$log"; done
  exit 1
}
# Waits until the file has a line matching the pattern, as long as the process lives.
wait_for() {
  until grep -q -- "$3" "$2" 2>/dev/null; do
    kill -0 "$1" 2>/dev/null || grep -q -- "$3" "$2" || fail "'$3' never came in $2"
    sleep 0.05
  done
}
client() {
  "$tool" sync client --port "$port" --base "client-$1" alpha beta > "$1.log" 2>&1 &
  client_pid=$!
}
stop_client() {
  kill -INT "$client_pid"
  wait "$client_pid" || fail "client ended with $?"
  client_pid=
}

mkdir tracks
printf '0 1.5 1\n32 4 0\n' | "$tool" track make tracks/_alpha.track
cat > script <<'EOF'
# first client: edit, pause, seek and save
await connected
await request beta
set alpha 16 2.25 smooth
set beta 8 -1 linear
delete alpha 32
pause 1
seek 64
save
await disconnected
# the second gets the edits
await connected
await request beta
await disconnected
# garbage after the greeting, then a name length no track can have
await connected
await disconnected
await connected
await disconnected
# and a proper client still gets served
await connected
await request beta
await disconnected
quit
EOF
"$editor" --port 0 --base tracks --script script > editor.log 2>&1 &
editor_pid=$!
wait_for "$editor_pid" editor.log '^listening [0-9]'
port=$(awk '/^listening /{print $2; exit}' editor.log)

client first
# A burst of strangers on the port (a scan, a stray tool) never takes the client's place.
for _ in $(seq 50); do
  exec 3<>"/dev/tcp/127.0.0.1/$port" && exec 3>&-
done
wait_for "$client_pid" first.log '^save 0$'
stop_client
expected='connected
key 0 0 1.5 1
key 0 32 4 0
key 0 16 2.25 2
key 1 8 -1 1
remove 0 32
pause 1
seek 64
save 0
save 0
track alpha
0 1.5 1
16 2.25 2
track beta
8 -1 1'
[ "$(cat first.log)" = "$expected" ] || fail "first client saw something else"
grep -qx 'request "alpha" 2' editor.log || fail "alpha not answered from its file"
grep -qx 'request "beta" 0' editor.log || fail "beta without a file not answered empty"
[ "$(grep -c '^disconnected' editor.log)" -eq 1 ] || fail "the burst cut the client off"

printf '0 1.5 1\n16 2.25 2\n' | "$tool" track make alpha.expected
printf '8 -1 1\n' | "$tool" track make beta.expected
cmp tracks/_alpha.track alpha.expected || fail "saved alpha differs from track make's"
cmp tracks/_beta.track beta.expected || fail "saved beta differs from track make's"
[ -z "$(ls tracks | grep -v '\.track$')" ] || fail "files left beside the tracks: $(ls tracks)"

# The editor is paused at row 64: a client coming back is held there and gets the edits.
client second
wait_for "$client_pid" second.log '^key 1 8 -1 1$'
stop_client
for line in 'pause 1' 'seek 64' 'key 0 0 1.5 1' 'key 0 16 2.25 2' 'key 1 8 -1 1'; do
  grep -qx "$line" second.log || fail "second client lacks '$line'"
done
! grep -q '^key 0 32 ' second.log || fail "second client got the deleted key"

# Misbehaving peers: each loses its connection, nothing else happens.
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'hello, synctracker!\x7f' >&3
wait_for "$editor_pid" editor.log '^disconnected unknown command 7f$'
exec 3>&-
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'hello, synctracker!\x02\xff\xff\xff\xff' >&3
wait_for "$editor_pid" editor.log '^disconnected track name longer than'
exec 3>&-
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'HELLO' >&3
wait_for "$editor_pid" editor.log '^refused bad greeting$'
exec 3>&-

client third
wait_for "$client_pid" third.log '^key 1 8 -1 1$'
stop_client
grep -qx 'key 0 16 2.25 2' third.log || fail "third client lacks the edits"
wait "$editor_pid" || fail "editor ended with $?"
editor_pid=
[ "$(tail -1 editor.log)" = quit ] || fail "editor did not end on a saved show"
echo "sync editor: all checks passed"
