#!/bin/sh
# A virtual serial printer for the tests: a socat pseudo-terminal whose received bytes
# are appended to a file, and a link that gives it a port name.
#
#   virtual_printer.sh start DIR LINKDIR [N]
#                                          start socat, link LINKDIR/comN to the pty (N
#                                          given: that name, once no other printer holds it)
#   virtual_printer.sh settings DIR        stty -a of the pty into DIR/settings
#   virtual_printer.sh stop DIR            stop socat, remove the link and DIR
#
# DIR is the printer's own folder (created here). LINKDIR is the device folder that
# resolves port names: TERVANE_DEVICE_DIR natively, WINEPREFIX/dosdevices under Wine.
# Results appear as files in DIR (written last, each one complete when it appears),
# because under Wine the caller cannot wait for this script:
#   DIR/ready: the port name (COMn), DIR/device: the pty path, DIR/failed: why not.
set -u
# Under Wine this script may inherit a Windows-style PATH.
PATH=/usr/local/bin:/usr/bin:/bin:${PATH:-}
export PATH
cmd=$1
dir=$2

take_port() {
  echo "$linkdir/com$1" > "$dir/link"
  echo "COM$1" > "$dir/ready.tmp" && mv "$dir/ready.tmp" "$dir/ready"
}

case "$cmd" in
start)
  linkdir=$3
  mkdir -p "$dir" "$linkdir" || exit 1
  : > "$dir/received"
  # timeout bounds the printer's life if the test dies before it stops it.
  timeout 1800 socat -u "pty,link=$dir/tty,raw,echo=0" "OPEN:$dir/received,append" \
    </dev/null >/dev/null 2>"$dir/socat.log" &
  echo $! > "$dir/pid"
  i=0
  while [ ! -e "$dir/tty" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
  device=$(readlink "$dir/tty")
  if [ -z "$device" ]; then
    echo "socat made no pseudo-terminal" > "$dir/failed"
    exit 1
  fi
  echo "$device" > "$dir/device"
  # Links left by printers whose socat is gone point nowhere: clear them.
  for link in "$linkdir"/com*; do
    if [ -L "$link" ] && [ ! -e "$link" ]; then rm -f "$link"; fi
  done
  # A port name asked for: taken once no other printer holds it (tests that ask for the
  # same name run one after the other), replacing whatever else the name links to.
  if [ -n "${4:-}" ]; then
    i=0
    while ! ln -s "$device" "$linkdir/com$4" 2>/dev/null; do
      link=$linkdir/com$4
      if [ -L "$link" ] && [ ! -e "$link" ]; then
        rm -f "$link"  # its printer is gone
        continue
      fi
      case "$(readlink "$link")" in
      /dev/pts/*) ;;
      *) ln -sfn "$device" "$link" && break ;;
      esac
      i=$((i + 1))
      if [ $i -ge 600 ]; then
        echo "COM$4 stayed taken by another printer" > "$dir/failed"
        exit 1
      fi
      sleep 0.05
    done
    take_port "$4"
    exit 0
  fi
  # Otherwise the first free port name of COM2 to COM9, the bare device names Windows
  # knows; ln -s without -f fails when another printer took the name.
  for n in 2 3 4 5 6 7 8 9; do
    if ln -s "$device" "$linkdir/com$n" 2>/dev/null; then
      take_port $n
      exit 0
    fi
  done
  # All taken: replace a link that is not another printer's (Wine links com1 to comN to
  # the machine's /dev/ttyS devices when it makes a prefix).
  for n in 2 3 4 5 6 7 8 9; do
    case "$(readlink "$linkdir/com$n")" in
    /dev/pts/*) ;;
    *)
      ln -sfn "$device" "$linkdir/com$n" && take_port $n && exit 0
      ;;
    esac
  done
  echo "no free port name in $linkdir" > "$dir/failed"
  exit 1
  ;;
settings)
  stty -F "$(cat "$dir/device")" -a > "$dir/settings.tmp" 2>&1
  mv "$dir/settings.tmp" "$dir/settings"
  ;;
stop)
  [ -f "$dir/link" ] && rm -f "$(cat "$dir/link")"
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null
  rm -rf "$dir"
  ;;
esac
