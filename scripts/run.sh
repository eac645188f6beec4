#!/usr/bin/env bash
# Builds Kandrilox and runs the whole system with its embedded defaults:
# lockserver on build/bin/lock.db (rooms 101-110), and kandrilox on port 7800
# with the virtual encoder. Headless by default; --gui shows the tray and windows.
# Ctrl-C stops both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=(--headless)
if [ "${1:-}" = "--gui" ]; then
    mode=()
fi
"$root/scripts/build.sh"
bin="$root/build/bin"
cd "$bin"

./lockserver --database sqlite:lock.db rooms add 101-110 >/dev/null
./lockserver --listen 127.0.0.1:2008 --database sqlite:lock.db &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
# Wait until the records store takes connections.
for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/2008) 2>/dev/null && break
    sleep 0.1
done
echo "Kandrilox: records store on 127.0.0.1:2008, front desk on port 7800. Ctrl-C stops." >&2
./kandrilox "${mode[@]}"
