#!/usr/bin/env bash
# A minute of "tolvanectl monitor" (Interval 1, a port that answers) for each build: peak
# resident memory (the working set, for the Windows program under Wine) and CPU time scaled
# to an hour, wineserver's share given apart. Run by hand: bench/monitor_under_wine.sh
# [LINUX_BUILD] [WINDOWS_BUILD] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build}
windows=${2:-build-win}
seconds=${3:-60}
work=$(mktemp -d /tmp/tolvane-wine-bench-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# A listener that takes every connection and closes it.
/usr/bin/python3 -c '
import socket, sys
s = socket.socket(); s.bind(("0.0.0.0", 0)); s.listen(64)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
while True: s.accept()[0].close()' "$work/port" &
while [[ ! -s "$work/port" ]]; do sleep 0.1; done
port=$(cat "$work/port")

cpu_seconds() {  # utime + stime of a process, in seconds
    awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"
}
peak_mb() {
    awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"
}

export TOLVANE_REGISTRY="$work/store.reg"
"$linux/bin/tolvanectl" set "Port=$port" Interval=1
"$linux/bin/tolvanectl" monitor >/dev/null &
pid=$!
sleep "$seconds"
echo "linux:   peak ${seconds}s $(peak_mb $pid) MB, CPU $(echo "$(cpu_seconds $pid) * 3600 / $seconds" | bc -l | cut -c1-6) s/h"
kill -TERM $pid
wait $pid || true

wine_run=(scripts/wine-run "$PWD/$windows/wineprefix")
"${wine_run[@]}" --up
"${wine_run[@]}" "$windows/bin/tolvanectl.exe" set "Port=$port" Interval=1 >"$work/set.out" 2>&1
server=$(pgrep -n -f "wineserver64 -p" || pgrep -n wineserver)
server_before=$(cpu_seconds "$server")
"${wine_run[@]}" "$windows/bin/tolvanectl.exe" monitor >"$work/monitor.out" 2>&1 &
pid=$!
sleep "$seconds"
server_after=$(cpu_seconds "$server")
echo "windows: peak ${seconds}s $(peak_mb $pid) MB, CPU $(echo "$(cpu_seconds $pid) * 3600 / $seconds" | bc -l | cut -c1-6) s/h, wineserver $(echo "($server_after - $server_before) * 3600 / $seconds" | bc -l | cut -c1-6) s/h"
echo "windows: $(grep -c OK "$work/monitor.out") successful ticks shown"
"${wine_run[@]}" --down
