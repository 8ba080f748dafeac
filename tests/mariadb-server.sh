#!/usr/bin/env bash
# A private MariaDB server for the MySQL tests.  Usage: mariadb-server.sh start|stop DIR
# start: a fresh data directory in DIR (root without a password), mariadbd on the socket
# DIR/mysqld.sock only (no network), and a wait until it answers; fails when it does not.  A
# watchdog stops the server if the test run (this script's parent) ends without "stop".
# stop: SIGTERM, SIGKILL after 30 s, and DIR removed.
set -u
dir=$(realpath -m "${2:?usage: mariadb-server.sh start|stop DIR}")
socket=$dir/mysqld.sock

fail() {
  echo "mariadb-server: $*" >&2
  tail -20 "$dir"/*.log >&2 2>/dev/null
  exit 1
}

end() {  # end PIDFILE: ends the process recorded there
  local pid
  pid=$(cat "$1" 2>/dev/null) && kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$pid"
}

stop() { end "$dir/watchdog.pid"; end "$dir/server.pid"; }

start() {
  stop  # a server that an interrupted run left behind
  rm -rf "$dir" && mkdir -p "$dir" && [ ${#socket} -lt 100 ] || fail "cannot use $dir"
  local as=() run=$PPID
  [ "$(id -u)" -eq 0 ] && as=(--user=root)
  mariadb-install-db --no-defaults --datadir="$dir/data" "${as[@]}" --skip-test-db \
    --auth-root-authentication-method=normal >"$dir/install.log" 2>&1 || fail "install failed"
  setsid "$(command -v mariadbd || echo /usr/sbin/mariadbd)" --no-defaults --datadir="$dir/data" \
    --socket="$socket" --skip-networking --log-error="$dir/error.log" "${as[@]}" \
    --innodb-buffer-pool-size=16M --innodb-log-file-size=8M </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/server.pid"
  setsid bash -c "while kill -0 $run && kill -0 $!; do sleep 1; done; kill $!" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/watchdog.pid"
  for _ in $(seq 600); do
    mariadb-admin --no-defaults --socket="$socket" --user=root ping >/dev/null 2>&1 && return 0
    kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || fail "mariadbd ended"
    sleep 0.1
  done
  stop
  fail "mariadbd did not answer within 60 s"
}

case $1 in
  start) start ;;
  stop) stop && rm -rf "$dir" ;;
  *) fail "usage: mariadb-server.sh start|stop DIR" ;;
esac
