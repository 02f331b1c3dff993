#!/usr/bin/env bash
# Koldane and quorvel under Wine's own service control manager: install, install again,
# the quoted image path, the event-log source, start, a label over TCP to the printer,
# query, stop, remove (the source with it), remove again, and the console texts when
# started without a service manager.
#
# Usage: wine_services_test.sh KOLDANE_EXE QUORVEL_EXE PREFIX_DIR
# (TERVANE_VERSION in the environment: the version --version prints; ctest sets it)
#
# The test has a Wine prefix of its own (PREFIX_DIR, made on the first run) and stops
# every Wine process of it at the end, services included. The programs are copied to
# C:\Program Files\Tervane Labels, a path with a blank. The services' listening port is
# a free port given to them as a system environment variable (HKLM\...\Session
# Manager\Environment): Wine's service manager gives each service a fresh environment
# block, not the caller's. Each service prints to a plain file (a port name that does
# not begin with "COM" opens as a file). Event-log entries are only visible as Wine's
# +eventlog trace on the standard error the services inherit from the first Wine
# process of the server; the test reads them there.
set -u

koldane_exe=$1
quorvel_exe=$2
prefix=$3
wine=${WINE64:-/usr/lib/wine/wine64}
server=${WINESERVER64:-/usr/lib/wine/wineserver64}
[ -x "$wine" ] || wine=$(command -v wine64)
[ -x "$server" ] || server=$(command -v wineserver64 || command -v wineserver)

export WINEPREFIX=$prefix
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
unset DISPLAY

failures=0
work=$(mktemp -d)
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# Compares a program's output (carriage returns of the console's text mode removed)
# with the expected text, given with printf escapes; with a fourth and fifth argument
# also the exit code the program ended with and the one expected.
expect_output() {
  local what=$1 expected actual
  expected=$(printf "$2"; echo x)
  actual=$(tr -d '\r' <"$3"; echo x)
  if [ "$actual" == "$expected" ]; then
    pass "$what"
  else
    fail "$what: expected $(printf %q "${expected%x}") got $(printf %q "${actual%x}")"
  fi
  if [ $# -ge 5 ] && [ "$4" != "$5" ]; then
    fail "$what: exit code $4, expected $5"
  fi
}

run() { "$wine" "$@" 2>>"$work/wine.err"; }

# The event-log source an install command registers: the program as the message file
# that holds the texts of its entries, and the error, warning and information types.
event_sources='HKLM\System\CurrentControlSet\Services\EventLog\Application'
expect_event_source() {  # NAME PROGRAM
  run reg query "$event_sources\\$1" | tr -d '\r' >"$work/source"
  if grep -qxF "    EventMessageFile    REG_EXPAND_SZ    $2" "$work/source" &&
    grep -qxF "    TypesSupported    REG_DWORD    0x7" "$work/source"; then
    pass "$1 event-log source: EventMessageFile $2, TypesSupported 7"
  else
    fail "$1 event-log source: $(cat "$work/source")"
  fi
}
expect_no_event_source() {  # NAME
  if run reg query "$event_sources\\$1" >"$work/source" 2>&1; then
    fail "$1 event-log source left: $(tr -d '\r' <"$work/source")"
  else
    pass "$1 event-log source removed"
  fi
}

service_state() {  # the STATE number sc query shows, or nothing
  run sc query "$1" | tr -d '\r' | sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p'
}

wait_state() {  # NAME STATE SECONDS: true once sc query shows the state
  local end=$((SECONDS + $3))
  while [ $SECONDS -lt $end ]; do
    [ "$(service_state "$1")" == "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

wait_file_contains() {  # FILE TEXT SECONDS
  local end=$((SECONDS + $3))
  while [ $SECONDS -lt $end ]; do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# One wire frame over a real TCP connection: 4 little-endian length bytes, the job.
send_label() {  # PORT TEXT
  python3 - "$1" "$2" <<'EOF'
import socket, struct, sys, time
port, job = int(sys.argv[1]), sys.argv[2].encode()
for attempt in range(100):
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit(1)
s.sendall(struct.pack("<I", len(job)) + job)
s.close()
EOF
}

cleanup() {
  run sc stop Koldane >/dev/null
  run sc stop quorvel >/dev/null
  run sc delete Koldane >/dev/null
  run sc delete quorvel >/dev/null
  "$server" -k 2>/dev/null
  "$server" -w 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A fresh server. Its first Wine process starts the service manager, which the services
# inherit standard output, standard error and the debug channels from: that first
# process writes nothing to a pipe of ours (the pipe would stay open as long as the
# server runs) and its standard error goes to the file $1 with the debug channels $2.
restart_server() {
  "$server" -k 2>/dev/null
  "$server" -w 2>/dev/null
  "$server" -p 60
  WINEDEBUG=$2 "$wine" cmd /c exit </dev/null >/dev/null 2>"$1"
}

# A prefix of the test's own; leftovers of an interrupted run (services and their
# event-log sources) are removed first (an automatically started Koldane would
# otherwise start with the server).
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1
fi
restart_server "$work/wine.err" -all
for name in Koldane quorvel; do
  run reg delete "$event_sources\\$name" /f >/dev/null 2>&1
  [ -n "$(service_state $name)" ] || continue
  run sc stop $name >/dev/null
  wait_state $name 1 10
  run sc delete $name >/dev/null
done

# The port goes into the system environment. Wine's service manager builds the
# services' environment from the one it started with, so it is restarted after.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
run reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
  /v TERVANE_SERVICE_PORT /d "$port" /f >/dev/null
# Event-log entries show as the +eventlog trace on the services' standard error.
restart_server "$work/services.err" -all,+eventlog

dir="$prefix/drive_c/Program Files/Tervane Labels"
mkdir -p "$dir"
cp "$koldane_exe" "$dir/Koldane.exe"
cp "$quorvel_exe" "$dir/quorvel.exe"
# Koldane's data folder is made by the service itself when missing.
data="$prefix/drive_c/ProgramData/Tervane"
rm -rf "$dir"/*.LOG "$data" "$prefix/drive_c/windows/_barcodeOUT.log" "$prefix/drive_c/windows/system32/_barcodeOUT.log"
printf 'port=C:\\k.prn\r\n' >"$dir/KOLDANE.INI"
printf 'port=C:\\q.prn\r\n' >"$dir/QUORVEL.INI"
: >"$prefix/drive_c/k.prn"
: >"$prefix/drive_c/q.prn"
koldane='C:\Program Files\Tervane Labels\Koldane.exe'
quorvel='C:\Program Files\Tervane Labels\quorvel.exe'
label1=$'N\nA50,20,0,3,1,1,N,"KOLDANE UNDER WINE"\nP1\n'
label2=$'N\nA50,20,0,3,1,1,N,"QUORVEL UNDER WINE"\nP1\n'

echo "== Koldane"
run "$koldane" -i >"$work/out"
expect_output "Koldane -i" '\n\nService Installed Sucessfully\n' "$work/out" $? 0
run "$koldane" -i >"$work/out"
# The system's text for 1073 as the message table holds it, with its own line end.
expect_output "Koldane -i again" 'Error 1073 : Service exists.\n\n\nError Installing Service\n' "$work/out" $? 1
run reg query 'HKLM\System\CurrentControlSet\Services\Koldane' >"$work/reg"
if tr -d '\r' <"$work/reg" | grep -qF 'ImagePath    REG_SZ    "C:\Program Files\Tervane Labels\Koldane.exe"' &&
  tr -d '\r' <"$work/reg" | grep -qE 'Start +REG_DWORD +0x2$' &&
  tr -d '\r' <"$work/reg" | grep -qE 'ObjectName +REG_SZ +LocalSystem$'; then
  pass "Koldane registered with its path in quotes, automatic start, LocalSystem"
else
  fail "Koldane registration: $(cat "$work/reg")"
fi
expect_event_source Koldane "$koldane"
run "$koldane" /i >"$work/out"
expect_output "Koldane /i" '\n\nUnknown Switch Usage\n\nFor Install use Koldane -i\n\nFor UnInstall use Koldane -d\n' "$work/out" $? 2
run "$koldane" --version >"$work/out"
expect_output "Koldane --version" "Koldane ${TERVANE_VERSION:-?}\\n" "$work/out" $? 0

run sc start Koldane >/dev/null
if wait_state Koldane 4 30; then pass "Koldane RUNNING"; else fail "Koldane not running: $(service_state Koldane)"; fi
if send_label "$port" "$label1" && wait_file_contains "$prefix/drive_c/k.prn" "KOLDANE UNDER WINE" 20; then
  pass "Koldane label at the printer"
else
  fail "Koldane label not printed"
fi
# The job copy goes to %ProgramData%\Tervane, not to the folder the service manager
# starts it in (C:\windows under Wine, System32 on Windows).
if grep -qF "KOLDANE UNDER WINE" "$data/_barcodeOUT.log" 2>/dev/null &&
  [ ! -e "$prefix/drive_c/windows/_barcodeOUT.log" ] && [ ! -e "$prefix/drive_c/windows/system32/_barcodeOUT.log" ]; then
  pass "Koldane job copy in C:\ProgramData\Tervane"
else
  fail "Koldane job copy not in C:\ProgramData\Tervane: $(ls "$data" "$prefix"/drive_c/windows/_barcode* "$prefix"/drive_c/windows/system32/_barcode* 2>&1 | tr '\n' ' ')"
fi
run sc stop Koldane >/dev/null
if wait_state Koldane 1 10; then pass "Koldane STOPPED"; else fail "Koldane did not stop"; fi
# A data folder that cannot be made (a file has its name): the service says so in its
# log and runs on in the folder it was started in.
rm -rf "$data"
: >"$data"
run sc start Koldane >/dev/null
if wait_state Koldane 4 30 &&
  wait_file_contains "$dir/KOLDANE.LOG" 'Data folder C:\ProgramData\Tervane cannot be made' 10; then
  pass "Koldane without its data folder: $(grep -aF 'Data folder' "$dir/KOLDANE.LOG" | tr -d '\r')"
else
  fail "Koldane without its data folder: state $(service_state Koldane), log $(tr -d '\r' <"$dir/KOLDANE.LOG")"
fi
run sc stop Koldane >/dev/null
wait_state Koldane 1 10 || fail "Koldane did not stop"
rm -f "$data"
run "$koldane" -d >"$work/out"
expect_output "Koldane -d" '\n\nService UnInstalled Sucessfully\n' "$work/out" $? 0
expect_no_event_source Koldane
run "$koldane" -d >"$work/out"
expect_output "Koldane -d again" '\n\nError UnInstalling Service\n' "$work/out" $? 1
run "$koldane" >"$work/out"
code=$?
expect_output "Koldane from a console" '' "$work/out"
[ $code -eq 0 ] && pass "Koldane from a console ends with 0" || fail "Koldane exit code $code"

echo "== quorvel"
run "$quorvel" -install >"$work/out"
expect_output "quorvel -install" 'quorvel is installed.\n' "$work/out" $? 0
run "$quorvel" /INSTALL >"$work/out"
expect_output "quorvel /INSTALL again" 'CreateService failed w/err 0x00000431\n' "$work/out" $? 1
run reg query 'HKLM\System\CurrentControlSet\Services\quorvel' >"$work/reg"
if tr -d '\r' <"$work/reg" | grep -qF 'ImagePath    REG_SZ    "C:\Program Files\Tervane Labels\quorvel.exe"' &&
  tr -d '\r' <"$work/reg" | grep -qE 'Start +REG_DWORD +0x3$' &&
  tr -d '\r' <"$work/reg" | grep -qF 'ObjectName    REG_SZ    NT AUTHORITY\LocalService' &&
  tr -d '\r' <"$work/reg" | grep -qF 'DisplayName    REG_SZ    quorvel Sample Service'; then
  pass "quorvel registered with its path in quotes, demand start, LocalService"
else
  fail "quorvel registration: $(cat "$work/reg")"
fi
expect_event_source quorvel "$quorvel"
run "$quorvel" -unknown >"$work/out"
expect_output "quorvel -unknown" 'Parameters:\n -install  to install the service.\n -remove   to remove the service.\n' "$work/out" $? 2
run "$quorvel" --version >"$work/out"
expect_output "quorvel --version" "quorvel ${TERVANE_VERSION:-?}\\n" "$work/out" $? 0

# The start control answers with the latest report: the first pending one carries
# check point 1 (when Wine answers before the service runs, it shows RUNNING, 0).
run sc start quorvel | tr -d '\r' >"$work/start"
if grep -qE 'STATE +: 2 +START_PENDING' "$work/start"; then
  if grep -qE 'CHECKPOINT +: 0x1$' "$work/start"; then
    pass "quorvel START_PENDING with check point 1"
  else
    fail "quorvel start answer: $(cat "$work/start")"
  fi
elif grep -qE 'STATE +: 4 +RUNNING' "$work/start" && grep -qE 'CHECKPOINT +: 0x0$' "$work/start"; then
  pass "quorvel answered RUNNING with check point 0"
else
  fail "quorvel start answer: $(cat "$work/start")"
fi
if wait_state quorvel 4 30; then pass "quorvel RUNNING"; else fail "quorvel not running: $(service_state quorvel)"; fi
if send_label "$port" "$label2" && wait_file_contains "$prefix/drive_c/q.prn" "QUORVEL UNDER WINE" 20; then
  pass "quorvel label at the printer"
else
  fail "quorvel label not printed"
fi
if wait_file_contains "$dir/QUORVEL.LOG" "OUT THREAD" 10 && grep -qF "QUORVEL UNDER WINE" "$dir/QUORVEL.LOG"; then
  pass "quorvel job copy in its service log"
else
  fail "quorvel service log: $(cat "$dir/QUORVEL.LOG")"
fi
# The stop control returns when the handler has answered: STOPPED, once the keep-alive
# worker (which looks every 2 s) has ended.
start=$(date +%s%N)
run sc stop quorvel | tr -d '\r' >"$work/stop"
elapsed=$((($(date +%s%N) - start) / 1000000))
if grep -qE 'STATE +: 1 +STOPPED' "$work/stop" || wait_state quorvel 1 10; then
  pass "quorvel STOPPED, sc stop took $elapsed ms"
else
  fail "quorvel did not stop: $(cat "$work/stop")"
fi

# Removal of a running service stops it first.
run sc start quorvel >/dev/null
wait_state quorvel 4 30 || fail "quorvel did not start again"
run "$quorvel" -remove >"$work/out"
[ $? -eq 0 ] || fail "quorvel -remove while running: exit code not 0"
if tr -d '\r' <"$work/out" | tr '\n' '|' | grep -qE '^Stopping quorvel\.\.*\|quorvel is stopped\.\|quorvel is removed\.\|$'; then
  pass "quorvel -remove while running: $(tr -d '\r' <"$work/out" | tr '\n' '|')"
else
  fail "quorvel -remove while running: $(cat -A "$work/out")"
fi
expect_no_event_source quorvel
run "$quorvel" -remove >"$work/out"
expect_output "quorvel -remove again" 'OpenService failed w/err 0x00000424\n' "$work/out" $? 1

run "$quorvel" >"$work/out"
code=$?
expect_output "quorvel from a console" 'Parameters:\n -install  to install the service.\n -remove   to remove the service.\nService failed to run w/err 0x00000427\n' "$work/out"
[ $code -eq 0 ] && pass "quorvel from a console ends with 0" || fail "quorvel exit code $code"

# The event-log entries, as far as Wine shows them (a trace of ReportEventW's strings).
for entry in '"quorvel in OnStart"' '"quorvel in OnStop"'; do
  if grep -qF "ReportEventW L$entry" "$work/services.err"; then
    pass "event-log entry $entry"
  else
    fail "event-log entry $entry not seen"
  fi
done

echo "failures: $failures"
[ $failures -eq 0 ]
