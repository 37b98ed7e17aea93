#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests: a cluster in a folder of its own, on a free
# port of 127.0.0.1, reachable without a password by the user "velmora".
#   bash scripts/pg-server.sh start FOLDER   starts it and writes FOLDER/url
#                                            (postgresql://velmora@127.0.0.1:PORT/velmora)
#   bash scripts/pg-server.sh stop FOLDER    stops it and removes FOLDER
# PostgreSQL refuses to run as root: as root the cluster belongs to the system user
# "postgres" (made by Debian's postgresql package).
set -euo pipefail

action=${1:?start o stop}
folder=${2:?cartella del server}

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "PostgreSQL non è installato (pacchetto postgresql): bash scripts/setup.sh lo installa" >&2
    exit 1
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    as_owner=(runuser -u postgres --)
fi

case "$action" in
start)
    rm -rf "$folder"
    mkdir -p "$folder"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$folder"
    "${as_owner[@]}" "$bin/initdb" -D "$folder/data" -U velmora -A trust -E UTF8 --locale=C.UTF-8 \
        >"$folder/initdb.log" 2>&1 || { cat "$folder/initdb.log" >&2; exit 1; }
    # A free port: ask the kernel for one, then try the next ones if another server took it.
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' 2>/dev/null ||
        echo $((20000 + RANDOM % 20000)))
    for attempt in 1 2 3 4 5; do
        if "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
            -o "-p $port -k $folder -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off -c max_connections=60" \
            start >/dev/null; then
            "${as_owner[@]}" "$bin/createdb" -h 127.0.0.1 -p "$port" -U velmora velmora
            echo "postgresql://velmora@127.0.0.1:$port/velmora" >"$folder/url"
            echo "$folder/url"
            exit 0
        fi
        port=$((port + 1))
    done
    cat "$folder/server.log" >&2
    exit 1
    ;;
stop)
    if [ -d "$folder/data" ]; then
        "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$folder"
    ;;
*)
    echo "uso: pg-server.sh start|stop CARTELLA" >&2
    exit 2
    ;;
esac
