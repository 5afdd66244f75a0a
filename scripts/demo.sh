#!/usr/bin/env bash
# The demo: a private Dovecot POP3 server on loopback holding a few dozen
# sample messages, and VeltoMail with a temporary settings folder that has
# one account for it. VeltoMail checks the mailbox 10 seconds after it
# starts (or at once with Get Mail). Everything started here stops when the
# program ends; the temporary folder goes too.
#
# Environment: BUILD (build folder, default "build"); anything else is
# passed on to the program (VELTOMAIL_SCREENSHOT=file.png saves a picture
# of the filled window and ends it). VELTOMAIL_DEMO_VIEW_TYPE sets how a
# double click shows a message (0 both windows, 1 web page, 2 Message Center).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
fixture="$build/tests/pop3_fixture"
program="$build/src/app/veltomail"
for f in "$fixture" "$program"; do
  [ -x "$f" ] || { echo "demo: $f is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d -t veltomail-demo.XXXXXX)
fixture_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true  # the fixture ends when its input closes
  if [ -n "$fixture_pid" ]; then
    kill "$fixture_pid" 2>/dev/null || true
    wait "$fixture_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The sample mailbox.
mapfile -t messages < <(python3 scripts/demo_mail.py "$work/mail")
args=(--user demo:demo)
for m in "${messages[@]}"; do args+=(--message "$m"); done

# The server runs until its standard input (held open here) closes.
mkfifo "$work/hold"
exec 3<>"$work/hold"
"$fixture" "${args[@]}" <"$work/hold" >"$work/fixture.out" 2>"$work/fixture.err" &
fixture_pid=$!
port=""
for _ in $(seq 1 150); do
  port=$(sed -n 's/^port \([0-9][0-9]*\)$/\1/p' "$work/fixture.out")
  [ -n "$port" ] && break
  kill -0 "$fixture_pid" 2>/dev/null || break
  sleep 0.2
done
if [ -z "$port" ]; then
  echo "demo: the POP3 server did not start:" >&2
  cat "$work/fixture.err" >&2
  exit 1
fi

# One account for it; a check 10 s after start-up; nothing kept afterwards.
mkdir -p "$work/config/VeltoMail" "$work/data"
printf '%s\r\n' 'REGEDIT4' '' \
  '[HKEY_CURRENT_USER\Software\Dunmere\Velto Mail\Accounts\Demo]' \
  '"Account Name"="Demo"' \
  '"Server Name"="127.0.0.1"' \
  '"User Name"="demo"' \
  '"User Password"="demo"' \
  '"Email Address"="demo@example.com"' '' \
  '[HKEY_CURRENT_USER\Software\Dunmere\Velto Mail\Configuration]' \
  '"Startup Scan"=dword:00000001' '' \
  '[HKEY_CURRENT_USER\Software\Dunmere\Velto Mail\Environment]' \
  '"Save Headers"=dword:00000000' \
  "\"View Type\"=dword:0000000${VELTOMAIL_DEMO_VIEW_TYPE:-0}" >"$work/config/VeltoMail/registry.reg"

echo "demo: POP3 server with ${#messages[@]} messages on 127.0.0.1:$port;" \
     "VeltoMail checks it 10 seconds after it starts (or press Get Mail)."
status=0
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" VELTOMAIL_POP3_PORT="$port" \
  "$program" || status=$?
exit "$status"
