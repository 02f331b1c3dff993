#!/bin/sh
# A private CUPS scheduler with a network label printer, for the print service tests.
# Started as a CTest fixture, before the test binaries: a binary under Wine sees only
# the queues that exist when it starts.
#
#   cups_fixture.sh start DIR
#   cups_fixture.sh stop DIR
#
# start brings up, in the folder DIR (emptied first):
#   - a network label printer: socat listening on a free loopback port, appending the
#     bytes of each connection to DIR/printed;
#   - cupsd with its own ServerRoot, spool, state and temporary folders, listening only
#     on the socket DIR/cups.sock (point CUPS_SERVER at it);
#   - the raw queue TervaneLabel printing to that printer, and the raw queue
#     TervaneRejecting, which refuses jobs.
# When everything runs, DIR/ready holds NAME=value lines (PRINTER_PORT, QUEUE,
# REJECTING_QUEUE); otherwise DIR/failed says what did not start.
set -u
cmd=$1
dir=$2

stop_all() {
  for f in "$dir"/*.pid; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    kill "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -9 "$pid" 2>/dev/null
    rm -f "$f"
  done
}

fail() {
  echo "$1" > "$dir/failed"
  echo "cups_fixture: $1" >&2
  stop_all
  exit 1
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$cmd" in
start)
  stop_all 2>/dev/null
  rm -rf "$dir"
  mkdir -p "$dir" || exit 1
  : > "$dir/ready.tmp"
  {
    command -v cupsd >/dev/null || fail "cupsd is not installed"
    mkdir -p "$dir/cups/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state/certs" "$dir/log" || exit 1
    chmod 0777 "$dir/spool/tmp"
    chmod 0755 "$dir" "$dir/spool" "$dir/cups" "$dir/state" "$dir/cache"

    # The network label printer: one connection per job, bytes appended in order.
    printer_port=$(free_port) || fail "no free port for the network printer"
    : > "$dir/printed"
    setsid socat -u "TCP-LISTEN:$printer_port,bind=127.0.0.1,reuseaddr,fork" \
      "OPEN:$dir/printed,append" </dev/null >/dev/null 2>"$dir/log/printer.log" &
    echo $! > "$dir/printer.pid"

    cat > "$dir/cups/cups-files.conf" <<EOF
ServerRoot $dir/cups
RequestRoot $dir/spool
TempDir $dir/spool/tmp
StateDir $dir/state
CacheDir $dir/cache
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
EOF
    cat > "$dir/cups/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel warn
Browsing No
DefaultAuthType None
DefaultEncryption Never
MaxJobs 0
MaxJobsPerPrinter 0
PreserveJobHistory No
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    setsid cupsd -f -c "$dir/cups/cupsd.conf" -s "$dir/cups/cups-files.conf" \
      </dev/null >"$dir/log/cupsd.out" 2>&1 &
    echo $! > "$dir/cupsd.pid"

    export CUPS_SERVER="$dir/cups.sock"
    i=0
    until lpstat -r 2>/dev/null | grep -q "is running"; do
      i=$((i + 1))
      [ $i -gt 100 ] && fail "cupsd did not answer: $(tail -n 5 "$dir/log/error_log" 2>/dev/null)"
      sleep 0.1
    done
    # Raw queues ("-m raw" prints a deprecation warning; raw-default=true makes jobs
    # from Wine's spooler, which names no format, raw as well).
    lpadmin -p TervaneLabel -E -v "socket://127.0.0.1:$printer_port" -m raw \
      -o raw-default=true >"$dir/log/lpadmin.out" 2>&1 || fail "lpadmin TervaneLabel: $(cat "$dir/log/lpadmin.out")"
    lpadmin -p TervaneRejecting -E -v "socket://127.0.0.1:$printer_port" -m raw \
      -o raw-default=true >>"$dir/log/lpadmin.out" 2>&1 || fail "lpadmin TervaneRejecting"
    cupsreject TervaneRejecting >>"$dir/log/lpadmin.out" 2>&1 || fail "cupsreject"
    {
      echo "PRINTER_PORT=$printer_port"
      echo "QUEUE=TervaneLabel"
      echo "REJECTING_QUEUE=TervaneRejecting"
    } >> "$dir/ready.tmp"
  }
  mv "$dir/ready.tmp" "$dir/ready"
  ;;
stop)
  stop_all
  rm -rf "$dir"
  ;;
*)
  echo "usage: cups_fixture.sh start DIR | stop DIR" >&2
  exit 2
  ;;
esac
