#!/bin/sh
# A private PostgreSQL server for the database tests, on 127.0.0.1 and a free port.
#
#   private_postgres.sh start INFO_FILE   create a cluster in a fresh temporary folder,
#                                         start it, create the role "labuser" (password
#                                         login over TCP) and its database "labdb", and
#                                         write key=value lines to INFO_FILE
#   private_postgres.sh stop INFO_FILE    stop that server and remove its folder
#
# PostgreSQL refuses to run as root; when started by root the server runs as the
# "postgres" user (created by the postgresql package).
set -eu
action=${1:?usage: private_postgres.sh start|stop INFO_FILE}
info=${2:?usage: private_postgres.sh start|stop INFO_FILE}
password=lab-pass-5172

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bindir" ]; then
  bindir=$(dirname "$(command -v initdb 2>/dev/null || echo /nonexistent/initdb)")
fi
[ -x "$bindir/initdb" ] || { echo "PostgreSQL server programs not found" >&2; exit 1; }

as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop_server() {
  [ -f "$info" ] || return 0
  dir=$(sed -n 's/^dir=//p' "$info")
  if [ -n "$dir" ] && [ -d "$dir/data" ]; then
    (cd / && as_server "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1) || true
  fi
  case $dir in /tmp/tervane-pg.*) rm -rf "$dir" ;; esac
  rm -f "$info"
}

case $action in
  stop)
    stop_server
    ;;
  start)
    stop_server  # a server left behind by an interrupted run
    cd /
    dir=$(mktemp -d /tmp/tervane-pg.XXXXXX)
    if [ "$(id -u)" -eq 0 ]; then
      getent passwd postgres >/dev/null || { echo "no postgres user to run the server as" >&2; exit 1; }
      chown postgres "$dir"
    fi
    if ! as_server "$bindir/initdb" -D "$dir/data" -A trust -U tervane -E UTF8 --no-locale --no-sync \
        >"$dir/initdb.log" 2>&1; then
      cat "$dir/initdb.log" >&2
      rm -rf "$dir"
      exit 1
    fi
    # labuser logs in over TCP with its password; everything else is trusted.
    hba="$dir/data/pg_hba.conf"
    as_server sh -c "{ echo 'host all labuser 127.0.0.1/32 scram-sha-256'; cat '$hba'; } > '$hba.new' && mv '$hba.new' '$hba'"
    started=
    for attempt in 1 2 3 4 5 6 7 8; do
      port=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 40000))
      if as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
          -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null 2>&1; then
        started=1
        break
      fi
    done
    if [ -z "$started" ]; then
      cat "$dir/server.log" >&2 || true
      rm -rf "$dir"
      exit 1
    fi
    psql=$bindir/psql
    [ -x "$psql" ] || psql=psql
    as_server "$psql" -h "$dir" -p "$port" -U tervane -d postgres -q -v ON_ERROR_STOP=1 \
      -c "CREATE ROLE labuser LOGIN PASSWORD '$password'" -c "CREATE DATABASE labdb OWNER labuser" >/dev/null
    printf 'host=127.0.0.1\nport=%s\nuser=labuser\npassword=%s\ndatabase=labdb\ndir=%s\n' \
      "$port" "$password" "$dir" >"$info"
    echo "PostgreSQL on 127.0.0.1:$port ($dir)"
    ;;
  *)
    echo "usage: private_postgres.sh start|stop INFO_FILE" >&2
    exit 2
    ;;
esac
