#!/usr/bin/env bash
# Throughput and latency of the engine's HTTP server beside nginx, in one run.
#
#   bench/http_bench.sh [path/to/velmora]        (default: build/velmora)
#
# A headless velmora runs from a temporary application folder whose ui/app-icon.png is a
# 200 KB file; nginx serves the same health body and the same file on another loopback
# port with the same listen queue (backlog=5). Every request carries "Connection: close",
# as the engine serves one request per connection. Rounds are interleaved (the order of
# the two servers alternates), and the script prints requests per second at 32
# connections, the mean time of one client's sequential requests, the ratios, and the
# engine's resident memory while idle.
#
# VLM_BENCH_ROUNDS (3), VLM_BENCH_SECONDS (5) and VLM_BENCH_CONNECTIONS (32) change the shape.
set -euo pipefail

Velmora=$(realpath "${1:-build/velmora}")
Rounds=${VLM_BENCH_ROUNDS:-3}
Seconds=${VLM_BENCH_SECONDS:-5}
Connections=${VLM_BENCH_CONNECTIONS:-32}
Threads=$(( $(nproc) < Connections ? $(nproc) : Connections ))

for Tool in wrk nginx; do
  command -v "$Tool" >/dev/null || [ -x "/usr/sbin/$Tool" ] || { echo "http_bench: $Tool is missing" >&2; exit 1; }
done
Nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$Velmora" ] || { echo "http_bench: no program at $Velmora" >&2; exit 1; }

Work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench-XXXXXX")
VelmoraPid=""
Cleanup() {
  if [ -n "$VelmoraPid" ]; then kill "$VelmoraPid" 2>/dev/null || true; wait "$VelmoraPid" 2>/dev/null || true; fi
  if [ -s "$Work/nginx.pid" ]; then kill "$(cat "$Work/nginx.pid")" 2>/dev/null || true; fi
  for _ in $(seq 50); do [ -e "$Work/nginx.pid" ] || break; sleep 0.1; done
  rm -rf "$Work"
}
trap Cleanup EXIT

mkdir -p "$Work/app/ui" "$Work/nginx"
cp "$Velmora" "$Work/app/velmora"
head -c 204800 /dev/urandom > "$Work/app/ui/app-icon.png"
Health='{"ok":true,"app":"Velmora","version":"1.0.0"}'

# The engine, headless; its port comes from the banner.
"$Work/app/velmora" --headless > "$Work/velmora.out" 2> "$Work/velmora.err" &
VelmoraPid=$!
for _ in $(seq 100); do grep -q 'listening at' "$Work/velmora.out" 2>/dev/null && break; sleep 0.1; done
VelmoraPort=$(sed -n 's|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$Work/velmora.out")
[ -n "$VelmoraPort" ] || { echo "http_bench: velmora printed no banner" >&2; cat "$Work/velmora.err" >&2; exit 1; }
sleep 1
IdleRssKb=$(awk '/^VmRSS:/ {print $2}' "/proc/$VelmoraPid/status")

# nginx on the first free loopback port from 28080, as the current user, everything in $Work.
NginxPort=28080
while (exec 3<>"/dev/tcp/127.0.0.1/$NginxPort") 2>/dev/null; do NginxPort=$((NginxPort + 1)); done
cat > "$Work/nginx.conf" <<EOF
user $(id -un);
worker_processes auto;
pid $Work/nginx.pid;
error_log $Work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $Work/nginx/body;
  proxy_temp_path $Work/nginx/proxy;
  fastcgi_temp_path $Work/nginx/fastcgi;
  uwsgi_temp_path $Work/nginx/uwsgi;
  scgi_temp_path $Work/nginx/scgi;
  server {
    listen 127.0.0.1:$NginxPort backlog=5;
    location = /api/health {
      default_type "application/json; charset=utf-8";
      add_header Cache-Control no-cache;
      return 200 '$Health';
    }
    location = /app-icon.png {
      root $Work/app/ui;
      types { }
      default_type image/png;
      add_header Cache-Control no-cache;
    }
  }
}
EOF
"$Nginx" -p "$Work/nginx" -c "$Work/nginx.conf" -e "$Work/nginx/error.log"
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$NginxPort") 2>/dev/null && break; sleep 0.1; done

Check() {  # server port: both answers must be right before anything is measured
  local Body
  Body=$(curl -sf -H 'Connection: close' "http://127.0.0.1:$1/api/health")
  [ "$Body" = "$Health" ] || { echo "http_bench: wrong health answer on port $1: $Body" >&2; exit 1; }
  curl -sf -H 'Connection: close' "http://127.0.0.1:$1/app-icon.png" | cmp -s - "$Work/app/ui/app-icon.png" ||
    { echo "http_bench: wrong file on port $1" >&2; exit 1; }
}
Check "$VelmoraPort"
Check "$NginxPort"

# Runs wrk once and appends "requests-per-second errors" to the results file of its kind.
Measure() {  # name port path connections
  local Out Rps Errors
  Out=$(wrk -t "$([ "$4" = 1 ] && echo 1 || echo "$Threads")" -c "$4" -d "${Seconds}s" \
          -H 'Connection: close' "http://127.0.0.1:$2$3")
  Rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$Out")
  Errors=$(awk '/Socket errors:/ {gsub(/[a-z ,:]+/, " "); s = 0; for (i = 1; i <= NF; i++) s += $i; print s}
                /Non-2xx/ {print $NF}' <<<"$Out" | awk '{s += $1} END {print s + 0}')
  echo "$Rps $Errors" >> "$Work/$1.results"
  printf '  %-20s %10.0f req/s  errors %s\n' "$1" "$Rps" "$Errors"
}

for Round in $(seq "$Rounds"); do
  echo "round $Round of $Rounds (${Seconds} s each)"
  if [ $((Round % 2)) = 1 ]; then Order="velmora nginx"; else Order="nginx velmora"; fi
  for Kind in health file one; do
    case $Kind in
      health) Path=/api/health;   Conns=$Connections ;;
      file)   Path=/app-icon.png; Conns=$Connections ;;
      one)    Path=/api/health;   Conns=1 ;;
    esac
    for Server in $Order; do
      if [ "$Server" = velmora ]; then Port=$VelmoraPort; else Port=$NginxPort; fi
      Measure "$Server-$Kind" "$Port" "$Path" "$Conns"
    done
  done
done

Mean() { awk '{s += $1; e += $2} END {printf "%.0f %d", s / NR, e}' "$Work/$1.results"; }
echo
echo "summary: mean of $Rounds rounds, ${Seconds} s each, $Connections connections ($Threads wrk threads), Connection: close"
for Kind in health file one; do
  read -r V VErrors <<<"$(Mean "velmora-$Kind")"
  read -r N NErrors <<<"$(Mean "nginx-$Kind")"
  if [ "$Kind" = one ]; then
    awk -v v="$V" -v n="$N" 'BEGIN {printf "  %-8s velmora %7.1f us   nginx %7.1f us   velmora/nginx time %.2fx\n",
                                     "1 client", 1e6 / v, 1e6 / n, n / v}'
  else
    awk -v k="$Kind" -v v="$V" -v n="$N" 'BEGIN {printf "  %-8s velmora %7.0f req/s   nginx %7.0f req/s   ratio %.2fx\n", k, v, n, v / n}'
  fi
  [ "$VErrors$NErrors" = 00 ] || echo "           errors: velmora $VErrors, nginx $NErrors"
done
echo "  idle RSS of headless velmora: $IdleRssKb kB (after the run: $(awk '/^VmRSS:/ {print $2}' "/proc/$VelmoraPid/status") kB)"
