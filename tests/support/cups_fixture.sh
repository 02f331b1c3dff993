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
# cupsd runs its backends as the unprivileged user lp, which must reach the spooled
# documents whatever the path of DIR (a checkout under a private home folder, say).
# So cupsd's own folders lie in a fresh folder under /tmp that everyone may enter,
# reached from DIR through the links DIR/cupsd, DIR/cups.sock and DIR/log; stop
# removes it.
# When everything runs, DIR/ready holds NAME=value lines (PRINTER_PORT, QUEUE,
# REJECTING_QUEUE, CUPS_SERVER, the short path of the socket, REQUEST_LIMIT, the
# largest request cupsd takes); otherwise DIR/failed says what did not start.
# DIR/log/page_log has a line "QUEUE JOB-NUMBER DOCUMENT-FORMAT JOB-NAME" per job.
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
  # cupsd's folder under /tmp, made by an earlier start.
  if [ -L "$dir/cupsd" ]; then
    private=$(readlink "$dir/cupsd")
    case "$private" in
      /tmp/tervane-cups.*) rm -rf "$private" ;;
    esac
    rm -f "$dir/cupsd"
  fi
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
    c=$(mktemp -d /tmp/tervane-cups.XXXXXX) || fail "no folder for cupsd under /tmp"
    ln -s "$c" "$dir/cupsd"
    ln -s cupsd/cups.sock "$dir/cups.sock"
    ln -s cupsd/log "$dir/log"
    mkdir -p "$c/cups/ppd" "$c/spool/tmp" "$c/cache" "$c/state/certs" "$c/log" || fail "mkdir $c"
    chmod 0777 "$c/spool/tmp"
    chmod 0755 "$c" "$c/spool" "$c/cups" "$c/state" "$c/cache"

    # The network label printer: one connection per job, bytes appended in order.
    printer_port=$(free_port) || fail "no free port for the network printer"
    : > "$dir/printed"
    setsid socat -u "TCP-LISTEN:$printer_port,bind=127.0.0.1,reuseaddr,fork" \
      "OPEN:$dir/printed,append" </dev/null >/dev/null 2>"$dir/log/printer.log" &
    echo $! > "$dir/printer.pid"

    cat > "$c/cups/cups-files.conf" <<EOF
ServerRoot $c/cups
RequestRoot $c/spool
TempDir $c/spool/tmp
StateDir $c/state
CacheDir $c/cache
AccessLog $c/log/access_log
ErrorLog $c/log/error_log
PageLog $c/log/page_log
EOF
    # Requests (a document with its job's bytes, say) of more than request_limit bytes
    # are refused while they are being sent. The page log gets one line per job:
    # queue, job number, document format, job name.
    request_limit=262144
    cat > "$c/cups/cupsd.conf" <<EOF
Listen $c/cups.sock
LogLevel warn
Browsing No
DefaultAuthType None
DefaultEncryption Never
MaxJobs 0
MaxJobsPerPrinter 0
MaxRequestSize $request_limit
PreserveJobHistory No
PreserveJobFiles No
PageLogFormat %p %j %{document-format} %{job-name}
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
    setsid cupsd -f -c "$c/cups/cupsd.conf" -s "$c/cups/cups-files.conf" \
      </dev/null >"$c/log/cupsd.out" 2>&1 &
    echo $! > "$dir/cupsd.pid"

    export CUPS_SERVER="$c/cups.sock"
    i=0
    until lpstat -r 2>/dev/null | grep -q "is running"; do
      i=$((i + 1))
      [ $i -gt 100 ] && fail "cupsd did not answer: $(tail -n 5 "$c/log/error_log" 2>/dev/null)"
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
      echo "CUPS_SERVER=$c/cups.sock"
      echo "REQUEST_LIMIT=$request_limit"
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
