#!/usr/bin/env bash
# Start-up time and memory of velmora's window beside a bare WebKit window on the same page.
#
#   bench/window_bench.sh [path/to/velmora]        (default: build/velmora)
#
# Both run on a virtual display of their own (Xvfb) with a fresh HOME and XDG folders per
# run, on a copy of the built interface whose <head> first asks a small marker server for
# a style sheet: that request is "the page's first request". The floor is
# bench/window_floor.c, which only opens one WebKit window on the page, served for it by a
# headless velmora from the same copy. VLM_API_BASE points at a closed port, so that the
# interface's calls to the service fail at once for both.
#
# Per run: milliseconds from exec to a visible window of the process (xdotool), to the
# marker request, and the summed PSS (MiB) of the process and all its descendants (the
# WebKit helpers) VLM_BENCH_SETTLE seconds after that request. Rounds alternate the two;
# the script prints every run, the medians, and velmora's distance from the floor.
#
# VLM_BENCH_ROUNDS (5) and VLM_BENCH_SETTLE (3) change the shape.
set -euo pipefail

Velmora=$(realpath "${1:-build/velmora}")
Rounds=${VLM_BENCH_ROUNDS:-5}
Settle=${VLM_BENCH_SETTLE:-3}
Here=$(cd "$(dirname "$0")" && pwd)
Python=/usr/bin/python3

for Tool in Xvfb xdotool cc "$Python"; do
  command -v "$Tool" >/dev/null || { echo "window_bench: $Tool is missing (scripts/setup-deps.sh)" >&2; exit 1; }
done
[ -x "$Velmora" ] || { echo "window_bench: no program at $Velmora" >&2; exit 1; }
[ -d "$(dirname "$Velmora")/ui" ] || { echo "window_bench: no ui/ beside $Velmora" >&2; exit 1; }

Work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-window-bench-XXXXXX")
Pids=()
Cleanup() {
  for Pid in "${Pids[@]}"; do kill "$Pid" 2>/dev/null || true; done
  for Pid in "${Pids[@]}"; do wait "$Pid" 2>/dev/null || true; done
  rm -rf "$Work"
}
trap Cleanup EXIT

cc -O2 -Wall -o "$Work/window_floor" "$Here/window_floor.c" -ldl

# A display of its own: Xvfb picks a free number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset 3>"$Work/display" >"$Work/xvfb.log" 2>&1 &
Pids+=($!)
for _ in $(seq 200); do grep -q . "$Work/display" 2>/dev/null && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$Work/display")"
[ "$DISPLAY" != ":" ] || { echo "window_bench: Xvfb did not start" >&2; cat "$Work/xvfb.log" >&2; exit 1; }

# The marker server notes the wall-clock time of every request, in nanoseconds.
"$Python" - "$Work/marker.port" "$Work/marker.log" <<'PY' &
import http.server, sys, time
port_file, log_file = sys.argv[1], sys.argv[2]
class Marker(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log_file, "a") as log:
            log.write(f"{time.time_ns()} {self.path}\n")
        self.send_response(200)
        self.send_header("Content-Type", "text/css")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", "0")
        self.end_headers()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Marker)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os; os.rename(port_file + ".tmp", port_file)
server.serve_forever()
PY
Pids+=($!)
for _ in $(seq 200); do [ -s "$Work/marker.port" ] && break; sleep 0.05; done
MarkerPort=$(cat "$Work/marker.port")

mkdir -p "$Work/app"
cp -r "$(dirname "$Velmora")/ui" "$Work/app/ui"
cp "$Velmora" "$Work/app/velmora"
sed -i "0,/<head>/s||<head><link rel=\"stylesheet\" href=\"http://127.0.0.1:$MarkerPort/first.css\">|" "$Work/app/ui/index.html"
grep -q "$MarkerPort/first.css" "$Work/app/ui/index.html" || { echo "window_bench: no <head> in index.html" >&2; exit 1; }
export VLM_API_BASE=http://127.0.0.1:9
# velmora sets this for itself before it loads WebKit; the floor gets the same renderer.
export WEBKIT_DISABLE_DMABUF_RENDERER=1
unset WAYLAND_DISPLAY VLM_HEADLESS

# The floor's page comes from a headless velmora serving the same copy.
mkdir -p "$Work/server"
cp -r "$Work/app/ui" "$Work/server/ui"
cp "$Velmora" "$Work/server/velmora"
"$Work/server/velmora" --headless >"$Work/server.out" 2>&1 &
Pids+=($!)
for _ in $(seq 200); do grep -q 'listening at' "$Work/server.out" && break; sleep 0.05; done
FloorUrl=$(sed -n 's/.*listening at //p' "$Work/server.out")
[ -n "$FloorUrl" ] || { echo "window_bench: the page server did not start" >&2; exit 1; }

Descendants() {  # the process and everything below it
  local Pid=$1 Child
  echo "$Pid"
  for Child in $(ps -o pid= --ppid "$Pid" 2>/dev/null); do Descendants "$Child"; done
}

PssMiB() {
  local Sum=0 Pid Kb
  for Pid in $(Descendants "$1"); do
    Kb=$(awk '/^Pss:/ {print $2}' "/proc/$Pid/smaps_rollup" 2>/dev/null || echo 0)
    Sum=$((Sum + ${Kb:-0}))
  done
  echo "scale=1; $Sum / 1024" | bc
}

NowNs() { date +%s%N; }

# One run: prints "window_ms page_ms pss_mib".
Measure() {
  local Kind=$1 Run=$2 Home="$Work/home-$1-$2" Pid Start Window="" Page="" Deadline Pss Tree
  mkdir -p "$Home/runtime" && chmod 700 "$Home/runtime"
  : >"$Work/marker.log"
  Start=$(NowNs)
  if [ "$Kind" = velmora ]; then
    HOME=$Home XDG_CACHE_HOME=$Home/.cache XDG_CONFIG_HOME=$Home/.config XDG_DATA_HOME=$Home/.local/share \
      XDG_RUNTIME_DIR=$Home/runtime "$Work/app/velmora" >"$Work/$Kind.out" 2>&1 &
  else
    HOME=$Home XDG_CACHE_HOME=$Home/.cache XDG_CONFIG_HOME=$Home/.config XDG_DATA_HOME=$Home/.local/share \
      XDG_RUNTIME_DIR=$Home/runtime "$Work/window_floor" "$FloorUrl" >"$Work/$Kind.out" 2>&1 &
  fi
  Pid=$!
  Deadline=$(( $(NowNs) + 30000000000 ))
  while [ -z "$Window" ] && [ "$(NowNs)" -lt "$Deadline" ]; do
    if xdotool search --onlyvisible --pid "$Pid" >/dev/null 2>&1; then Window=$(NowNs); else sleep 0.005; fi
  done
  while [ -z "$Page" ] && [ "$(NowNs)" -lt "$Deadline" ]; do
    Page=$(awk '/first.css/ {print $1; exit}' "$Work/marker.log")
    [ -n "$Page" ] || sleep 0.02
  done
  if [ -z "$Window" ] || [ -z "$Page" ]; then
    echo "window_bench: $Kind run $Run showed no window or page within 30 s" >&2
    cat "$Work/$Kind.out" >&2
    kill "$Pid"; exit 1
  fi
  sleep "$Settle"
  Pss=$(PssMiB "$Pid")
  Tree=$(Descendants "$Pid")
  kill $Tree 2>/dev/null || true
  wait "$Pid" 2>/dev/null || true
  for _ in $(seq 200); do
    local Alive=0 P
    for P in $Tree; do kill -0 "$P" 2>/dev/null && Alive=1; done
    [ $Alive = 0 ] && break
    sleep 0.05
  done
  echo "$(( (Window - Start) / 1000000 )) $(( (Page - Start) / 1000000 )) $Pss"
}

Median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

printf '%-8s %5s %10s %9s %9s\n' program run window_ms page_ms pss_mib
for Run in $(seq "$Rounds"); do
  if [ $((Run % 2)) = 1 ]; then Order="floor velmora"; else Order="velmora floor"; fi
  for Kind in $Order; do
    read -r W P M < <(Measure "$Kind" "$Run")
    printf '%-8s %5s %10s %9s %9s\n' "$Kind" "$Run" "$W" "$P" "$M"
    echo "$W $P $M" >>"$Work/$Kind.results"
  done
done

echo
printf '%-8s %10s %9s %9s   (medians of %s runs)\n' program window_ms page_ms pss_mib "$Rounds"
for Kind in floor velmora; do
  printf '%-8s %10s %9s %9s\n' "$Kind" "$(cut -d' ' -f1 "$Work/$Kind.results" | Median)" \
    "$(cut -d' ' -f2 "$Work/$Kind.results" | Median)" "$(cut -d' ' -f3 "$Work/$Kind.results" | Median)"
done
read -r FW FP FM < <(for C in 1 2 3; do cut -d' ' -f$C "$Work/floor.results" | Median; done | xargs)
read -r VW VP VM < <(for C in 1 2 3; do cut -d' ' -f$C "$Work/velmora.results" | Median; done | xargs)
echo
echo "velmora - floor: window $(echo "$VW - $FW" | bc) ms, page $(echo "$VP - $FP" | bc) ms (budget 150 ms);" \
  "memory $(echo "scale=1; 100 * $VM / $FM - 100" | bc) % (budget 10 %)"
