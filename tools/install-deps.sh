#!/bin/sh
# Installs the Debian packages that building and testing need, when any is
# missing, Node.js with npm among them unless a node is already there (the
# build fetches the robot list with npm); with --browser also those of the
# browser tests (Chromium, CJK fonts). Needs root (or sudo) only when
# something must be installed.
set -eu
# clang (clang-14) and libclang-rt-14-dev (its libFuzzer and sanitizer
# runtimes) build the fuzz targets. nlohmann-json3-dev (header only) reads
# the JSON access log lines. goaccess is the independent count the tests
# compare the day figures with. uap-core (its regexes.yaml), libyaml-dev and
# libpcre2-dev read the browsers and systems of user agents; libpcre2-dev
# also matches the robot patterns. libpsl-dev and publicsuffix group
# referrers by the Public Suffix List (libpsl is linked in with the
# libidn2-dev and libunistring-dev libraries it calls; publicsuffix's file
# is read at run time). libmaxminddb-dev reads the countries of addresses
# from a database the administrator names.
packages="cmake g++ make libgtest-dev libmd-dev openssl libsodium-dev zlib1g-dev libbz2-dev liblzma-dev libzstd-dev nlohmann-json3-dev faketime libbenchmark-dev lighttpd nginx-light logrotate curl wrk python3 clang libclang-rt-14-dev goaccess uap-core libyaml-dev libpcre2-dev libmaxminddb-dev libpsl-dev libidn2-dev libunistring-dev publicsuffix"
missing=""
command -v node >/dev/null && command -v npm >/dev/null || missing="nodejs npm"
if [ "${1:-}" = --browser ]; then
  packages="$packages chromium fonts-noto-cjk"
fi
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
