#!/usr/bin/env bash
# Browser test of the report viewer: starts `orvdata serve` with both front ends on free
# loopback ports over a fresh demo database, drives Debian's Chromium with puppeteer-core
# (installed here with npm ci from the committed lock file; it downloads no browser) through
# browser.js, and stops the server with SIGTERM. Screenshots are left in WORK_DIR.
# Usage: run_browser.sh ORVDATA WORK_DIR
set -uo pipefail
orvdata=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
cd "$work" || exit 1
fail() { echo "not ok - $1"; [ -n "${2:-}" ] && printf '%s\n' "$2" | sed 's/^/    /' | head -40; echo "0 passed, 1 failed"; exit 1; }

for tool in node npm /usr/bin/chromium python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (./run.sh test installs it)"
done
if ! cmp -s "$here/package-lock.json" node/package-lock.json 2>/dev/null; then
  rm -rf node && mkdir node && cp "$here/package.json" "$here/package-lock.json" node/
  (cd node && npm ci --no-audit --no-fund --loglevel=error) || fail "npm ci"
fi

rm -rf demo.orvdb users serve.log profile
"$orvdata" demo create demo.orvdb >/dev/null 2>&1 || fail "demo database"
echo "viewer pass" | "$orvdata" users add carol --users users --password-stdin 2>/dev/null

"$orvdata" serve --dsn demo.orvdb --http 127.0.0.1:0 --listen 127.0.0.1:0 --users users 2>serve.log &
server=$!
trap 'kill -9 $server 2>/dev/null' EXIT
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^http on 127\.0\.0\.1:\([0-9]*\)$/\1/p' serve.log)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the server did not start" "$(cat serve.log)"
grep -q '^listening on 127\.0\.0\.1:' serve.log || fail "the TDS front end runs beside the HTTP one" "$(cat serve.log)"

NODE_PATH="$work/node/node_modules" timeout 240 node "$here/browser.js" "http://127.0.0.1:$port/" "$work" \
  carol "viewer pass" "$here/../cli/xlsx_check.py"
status=$?

kill -TERM $server
for _ in $(seq 100); do kill -0 $server 2>/dev/null || break; sleep 0.1; done
if kill -0 $server 2>/dev/null; then
  echo "not ok - the server stops on SIGTERM"
  status=1
else
  wait $server
  code=$?
  if [ $code -eq 0 ]; then echo "ok - the server stops on SIGTERM"; else echo "not ok - the server stops on SIGTERM (status $code)"; status=1; fi
fi
exit $status
