#!/usr/bin/env bash
# with-web.sh COMMAND...
# Runs COMMAND with two web servers on 127.0.0.1, both on free ports and both
# stopped when COMMAND ends (also when it fails or is interrupted):
#   - nginx (Debian's package) with a generated configuration and a temporary
#     document root, plain HTTP and HTTPS; the HTTPS certificate is for the
#     name "localhost" only and comes from a test certificate authority made
#     here with openssl;
#   - the scripted fault server of the downloader's tests (tests/net/fault_server.py).
# COMMAND sees (wine passes them on to Windows programs):
#   VARNEL_WEB_ROOT        nginx's document root (Unix path; tests write files there)
#   VARNEL_HTTP_URL        http://127.0.0.1:<port>
#   VARNEL_HTTPS_URL       https://localhost:<tlsport>
#   VARNEL_HTTPS_IP_URL    https://127.0.0.1:<tlsport> (fails the name check)
#   VARNEL_FAULT_URL       http://127.0.0.1:<faultport>
#   VARNEL_TEST_CA         the test CA's certificate (DER)
#   VARNEL_WEB_ACCESS_LOG  nginx's access log
# The exit status is COMMAND's, or 2 when the servers do not start.
set -u
here=$(cd "$(dirname "$0")" && pwd)
fault_script="$here/../tests/net/fault_server.py"

fail() {
  echo "with-web: $*" >&2
  exit 2
}

for tool in nginx openssl python3; do
  command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || fail "$tool is missing (run scripts/setup.sh)"
done
nginx_bin=$(command -v nginx 2>/dev/null || echo /usr/sbin/nginx)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/varnel-web.XXXXXX") || fail "no temporary folder"
nginx_pid=""
fault_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null
    wait "$nginx_pid" 2>/dev/null
  fi
  if [ -n "$fault_pid" ]; then
    kill "$fault_pid" 2>/dev/null
    wait "$fault_pid" 2>/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- Certificates: a test CA and a server certificate for "localhost" only --
make_certificates() {
  local dir=$tmp/tls
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" -subj "/CN=Varnel Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" >/dev/null 2>&1 || return 1
  openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$dir/server.key" \
    -out "$dir/server.csr" -subj "/CN=localhost" >/dev/null 2>&1 || return 1
  printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
    "extendedKeyUsage=serverAuth" "subjectAltName=DNS:localhost" \
    "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid,issuer" >"$dir/server.ext"
  openssl x509 -req -sha256 -days 30 -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
    -set_serial "0x$(openssl rand -hex 8)" -extfile "$dir/server.ext" -out "$dir/server.pem" >/dev/null 2>&1 || return 1
  openssl x509 -in "$dir/ca.pem" -outform DER -out "$dir/ca.der" >/dev/null 2>&1
}
make_certificates || fail "openssl could not make the test certificates"

# --- Free ports: the system picks them (nginx is retried if one is taken) ---
free_ports() {
  python3 - "$1" <<'EOF'
import socket, sys
sockets = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    sockets.append(s)
print(" ".join(str(s.getsockname()[1]) for s in sockets))
EOF
}

# Polls until a TCP port on 127.0.0.1 accepts a connection (at most ~20 s).
wait_port() {
  python3 - "$1" <<'EOF'
import socket, sys, time
deadline = time.monotonic() + 20
while time.monotonic() < deadline:
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=1).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.05)
sys.exit(1)
EOF
}

# --- nginx ----------------------------------------------------------------
root=$tmp/root
mkdir -p "$root" "$tmp/nginx"
# A root master hands its workers to "nobody", who could not read the
# private temporary folder: the workers keep the caller's user instead.
user_line=""
if [ "$(id -u)" = 0 ]; then user_line="user $(id -un) $(id -gn);"; fi

write_nginx_conf() {
  cat >"$tmp/nginx/nginx.conf" <<EOF
$user_line
worker_processes 1;
daemon off;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/error.log;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  access_log $tmp/nginx/access.log;
  client_body_temp_path $tmp/nginx/client_body;
  proxy_temp_path $tmp/nginx/proxy;
  fastcgi_temp_path $tmp/nginx/fastcgi;
  uwsgi_temp_path $tmp/nginx/uwsgi;
  scgi_temp_path $tmp/nginx/scgi;
  sendfile on;
  server {
    listen 127.0.0.1:$1;
    server_name localhost;
    root $root;
  }
  server {
    listen 127.0.0.1:$2 ssl;
    server_name localhost;
    ssl_certificate $tmp/tls/server.pem;
    ssl_certificate_key $tmp/tls/server.key;
    root $root;
  }
}
EOF
}

start_nginx() {
  local attempt ports
  for attempt in 1 2 3 4 5; do
    ports=$(free_ports 2) || return 1
    http_port=${ports% *}
    tls_port=${ports#* }
    write_nginx_conf "$http_port" "$tls_port"
    : >"$tmp/nginx/error.log"
    "$nginx_bin" -p "$tmp/nginx" -e "$tmp/nginx/error.log" -c "$tmp/nginx/nginx.conf" &
    nginx_pid=$!
    if wait_port "$http_port" && wait_port "$tls_port" && kill -0 "$nginx_pid" 2>/dev/null; then
      return 0
    fi
    kill "$nginx_pid" 2>/dev/null
    wait "$nginx_pid" 2>/dev/null
    nginx_pid=""
    # Only a port taken in the meantime is worth another try.
    grep -q "Address already in use" "$tmp/nginx/error.log" || break
  done
  cat "$tmp/nginx/error.log" >&2
  return 1
}
start_nginx || fail "nginx did not start"

# --- The fault server --------------------------------------------------------
python3 "$fault_script" "$tmp/fault.port" &
fault_pid=$!
for _ in $(seq 1 200); do
  [ -s "$tmp/fault.port" ] && break
  kill -0 "$fault_pid" 2>/dev/null || break
  sleep 0.05
done
fault_port=$(cat "$tmp/fault.port" 2>/dev/null)
[ -n "$fault_port" ] && wait_port "$fault_port" || fail "the fault server did not start"

export VARNEL_WEB_ROOT=$root
export VARNEL_HTTP_URL="http://127.0.0.1:$http_port"
export VARNEL_HTTPS_URL="https://localhost:$tls_port"
export VARNEL_HTTPS_IP_URL="https://127.0.0.1:$tls_port"
export VARNEL_FAULT_URL="http://127.0.0.1:$fault_port"
export VARNEL_TEST_CA=$tmp/tls/ca.der
export VARNEL_WEB_ACCESS_LOG=$tmp/nginx/access.log

"$@"
exit $?
