# Sourced by the shell tests that serve an installed site through lighttpd
# on a loopback port (tests/cgi/webserver_test.sh, tests/cgi/load_test.sh,
# tests/e2e/e2e_test.sh).
#
#     lighttpd_start WORK CONFIG [ARG...]
#
# picks a free port, writes WORK/lighttpd.conf from what the function
# CONFIG prints when called with the port and the ARGs, starts lighttpd in
# the foreground in the background and waits until it answers. Sets
# lighttpd_port and lighttpd_pid; returns 1 when it never stays up
# (its messages are in WORK/lighttpd.out). lighttpd_stop ends it.
#
#     lighttpd_cgi_config PORT SITE DOCROOT ERRORLOG
#
# is the configuration of the tests that need nothing of the deployment's:
# the site's folder as /cgi-bin/, its .cgi files run as CGI programs.

#     install_served_site CMAKE BUILD SITE
#
# installs the build's site into SITE with the program a site installs by
# default: linked statically (BUILD/static/vazivev.cgi), where the tests'
# build installs the dynamic one for libfaketime.

lighttpd_pid=""
lighttpd_port=""

install_served_site() {
  "$1" --install "$2" --prefix "$3" >/dev/null || return 1
  if [ -x "$2/static/vazivev.cgi" ]; then
    cp "$2/static/vazivev.cgi" "$3/vazivev.cgi"
  fi
}

lighttpd_start() {
  lighttpd_work=$1
  lighttpd_config=$2
  shift 2
  command -v lighttpd >/dev/null || { echo "lighttpd is not installed" >>"$lighttpd_work/lighttpd.out"; return 1; }
  for _ in 1 2 3 4 5 6 7 8; do
    lighttpd_port=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 20000))
    "$lighttpd_config" "$lighttpd_port" "$@" >"$lighttpd_work/lighttpd.conf" || return 1
    lighttpd -D -f "$lighttpd_work/lighttpd.conf" 2>>"$lighttpd_work/lighttpd.out" &
    lighttpd_pid=$!
    for _ in $(seq 25); do
      curl -s -o /dev/null "http://127.0.0.1:$lighttpd_port/" && break
      kill -0 "$lighttpd_pid" 2>/dev/null || break  # the port was taken
      sleep 0.2
    done
    # Still running: the answer was its own, not another server's.
    kill -0 "$lighttpd_pid" 2>/dev/null && return 0
    wait "$lighttpd_pid" 2>/dev/null || true
    lighttpd_pid=""
  done
  return 1
}

lighttpd_stop() {
  if [ -n "$lighttpd_pid" ]; then
    kill "$lighttpd_pid" 2>/dev/null || true
    wait "$lighttpd_pid" 2>/dev/null || true
  fi
  lighttpd_pid=""
}

lighttpd_cgi_config() {
  cat <<CONF
server.document-root = "$3"
server.bind = "127.0.0.1"
server.port = $1
server.errorlog = "$4"
server.max-connections = 1024
server.modules = ("mod_alias", "mod_cgi")
alias.url = ("/cgi-bin/" => "$2/")
cgi.assign = (".cgi" => "")
CONF
}

# Makes $work, a scratch folder named after $1 that goes, with the server,
# when the script exits, and fail(), which says why, shows lighttpd's own
# output and the end of its error log ($work/error.log or
# $work/log/error.log), and exits 1.
lighttpd_scratch() {
  work=$(mktemp -d "/tmp/vazivev-$1-XXXXXX")
  trap 'lighttpd_stop; rm -rf "$work"' EXIT
}
fail() {
  echo "FAIL: $*"
  cat "$work/lighttpd.out" 2>/dev/null
  for log in "$work/error.log" "$work/log/error.log"; do
    [ -f "$log" ] && tail -20 "$log"
  done
  exit 1
}
