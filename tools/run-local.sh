#!/usr/bin/env bash
# Runs Vellorin against a local question-bank server on this machine.
#
#   tools/run-local.sh    log in as demo / demo1234 (every category)
#
# Installs what is missing, builds, makes (once) a private certificate authority and a certificate for
# 127.0.0.1 in ~/.local/share/Vellorin/devserver/ with the server's database, starts vellorin-devserver there
# in the background on port 8443 (or VELLORIN_DEVSERVER_PORT), waits until it answers, runs the program
# against it and stops the server when the program ends. Certificate validation stays on: the program trusts
# the private authority through SSL_CERT_FILE.
set -euo pipefail
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"
    exit 0
fi
cd "$(dirname "$0")/.."
root=$PWD

tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target vellorin-devserver vellorin

data=${XDG_DATA_HOME:-$HOME/.local/share}/Vellorin/devserver
mkdir -p "$data"
chmod 700 "$data"
port=${VELLORIN_DEVSERVER_PORT:-8443}

if [ ! -f "$data/ca.crt" ] || [ ! -f "$data/server.crt" ]; then
    echo "Creating a private certificate authority and a certificate for 127.0.0.1 in $data"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 3650 \
        -subj "/CN=Vellorin local question bank CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$data/ca.key" -out "$data/ca.crt" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$data/server.key" -out "$data/server.csr" 2>/dev/null
    printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=serverAuth" "subjectAltName=IP:127.0.0.1" > "$data/server.ext"
    openssl x509 -req -in "$data/server.csr" -CA "$data/ca.crt" -CAkey "$data/ca.key" -CAcreateserial \
        -days 825 -extfile "$data/server.ext" -out "$data/server.crt" 2>/dev/null
    chmod 600 "$data"/*.key
fi

server=build/server/vellorin-devserver
"$server" --port "$port" --cert "$data/server.crt" --key "$data/server.key" --db "$data/questions.sqlite3" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT

url="https://127.0.0.1:$port/"
for _ in $(seq 1 100); do
    if curl --silent --fail --cacert "$data/ca.crt" "${url}qb/js_bank/tarvix_app_version" >/dev/null 2>&1; then
        break
    fi
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "The local server did not start." >&2
        exit 1
    fi
    sleep 0.1
done

export VELLORIN_SERVER_URL=$url
export SSL_CERT_FILE=$data/ca.crt
echo "Local question bank at $url"
echo "Demo account: demo / demo1234 (all categories). More accounts: $server --db $data/questions.sqlite3 --add-user NAME"

build/app/vellorin
