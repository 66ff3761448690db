# A private PostgreSQL cluster for the tests: a temporary folder, the postgres user, the C locale,
# loopback on a free port and a socket in a folder of its own. Sets ZELKOR_PG_SOCKET,
# ZELKOR_PG_PORT and ZELKOR_PG_USER for the tests.

pg_bin() {
  local d
  for d in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin; do
    [ -x "$d/pg_ctl" ] && { echo "$d"; return; }
  done
  echo "PostgreSQL server binaries not found" >&2
  return 1
}

pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pg_start() {
  local bin; bin=$(pg_bin) || return 1
  # Known to pg_stop from here on, so that a failure below leaves no folder and no server behind.
  ZELKOR_PG_DIR=$(mktemp -d /tmp/zelkor-pg.XXXXXX) || return 1
  mkdir -p "$ZELKOR_PG_DIR/sock"
  if [ "$(id -u)" -eq 0 ]; then chown -R postgres:postgres "$ZELKOR_PG_DIR"; fi
  chmod 755 "$ZELKOR_PG_DIR"
  if ! pg_as_owner "$bin/initdb" -D "$ZELKOR_PG_DIR/data" -A trust -U postgres --locale=C -E UTF8 >/dev/null; then
    echo "initdb failed" >&2
    pg_stop
    return 1
  fi
  local port tries=0
  while :; do
    port=$(( 20000 + RANDOM % 20000 ))
    if port_free "$port" && pg_as_owner "$bin/pg_ctl" -D "$ZELKOR_PG_DIR/data" -l "$ZELKOR_PG_DIR/server.log" -w \
         -o "-p $port -c listen_addresses=127.0.0.1 -c unix_socket_directories=$ZELKOR_PG_DIR/sock -c fsync=off -c max_connections=300" \
         start >/dev/null; then
      break
    fi
    # A start that timed out may still come up later: make sure it does not outlive this attempt.
    pg_as_owner "$bin/pg_ctl" -D "$ZELKOR_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
    tries=$((tries + 1))
    if [ $tries -ge 5 ]; then
      cat "$ZELKOR_PG_DIR/server.log" >&2 2>/dev/null
      pg_stop
      return 1
    fi
  done
  export ZELKOR_PG_SOCKET="$ZELKOR_PG_DIR/sock" ZELKOR_PG_PORT="$port" ZELKOR_PG_USER=postgres
  echo "PostgreSQL test server on port $port, socket $ZELKOR_PG_SOCKET"
}

pg_stop() {
  [ -n "${ZELKOR_PG_DIR:-}" ] || return 0
  pg_as_owner "$(pg_bin)/pg_ctl" -D "$ZELKOR_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$ZELKOR_PG_DIR"
  ZELKOR_PG_DIR=
}
