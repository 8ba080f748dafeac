#!/usr/bin/env bash
# A private MariaDB server for the MySQL client tests.  Usage: mariadb-server.sh start|stop DIR
#
# start: a fresh data directory DIR/data (root without a password), mariadbd listening only on
# the socket DIR/mysqld.sock (no network), and a wait until it answers; fails when it does not.
# stop: shuts the server down (SIGTERM, then SIGKILL after 30 s) and removes DIR.  A watchdog
# started beside the server stops it when the test run that started it (this script's parent)
# ends without calling stop; a start also stops a server that an interrupted run left in DIR.
set -u
command=${1:-} dir=$(realpath -m "${2:-}")
socket=$dir/mysqld.sock
mariadbd=$(command -v mariadbd || echo /usr/sbin/mariadbd)

fail() {
  echo "mariadb-server: $*" >&2
  for log in "$dir/install.log" "$dir/error.log"; do [ -f "$log" ] && tail -20 "$log" >&2; done
  exit 1
}

# end PIDFILE: ends the process recorded there, if it still runs.
end() {
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1")
  if kill -TERM "$pid" 2>/dev/null; then
    for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$1"
}

stop() {
  end "$dir/watchdog.pid"
  end "$dir/server.pid"
}

start() {
  stop
  rm -rf "$dir" && mkdir -p "$dir" || fail "cannot create $dir"
  [ ${#socket} -lt 100 ] || fail "the socket path $socket is too long"
  local as=()
  [ "$(id -u)" -eq 0 ] && as=(--user=root)
  mariadb-install-db --no-defaults --datadir="$dir/data" "${as[@]}" --skip-test-db \
    --auth-root-authentication-method=normal >"$dir/install.log" 2>&1 ||
    fail "mariadb-install-db failed"
  setsid "$mariadbd" --no-defaults --datadir="$dir/data" --socket="$socket" --skip-networking \
    --pid-file="$dir/mariadbd.pid" --log-error="$dir/error.log" "${as[@]}" \
    --innodb-buffer-pool-size=16M --innodb-log-file-size=8M </dev/null >/dev/null 2>&1 &
  local server=$!
  echo "$server" >"$dir/server.pid"
  local run=$PPID
  setsid bash -c 'while kill -0 '"$run"' && kill -0 '"$server"'; do sleep 1; done
    kill -TERM '"$server" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/watchdog.pid"
  for _ in $(seq 600); do
    mariadb-admin --no-defaults --socket="$socket" --user=root ping >/dev/null 2>&1 && return 0
    kill -0 "$server" 2>/dev/null || fail "mariadbd ended at start"
    sleep 0.1
  done
  stop
  fail "mariadbd did not answer within 60 s"
}

case $command in
  start) start ;;
  stop) stop && rm -rf "$dir" ;;
  *) echo "usage: mariadb-server.sh start|stop DIR" >&2 && exit 2 ;;
esac
