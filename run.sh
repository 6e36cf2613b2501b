#!/bin/sh
# Sets everything up on a fresh Debian 12 machine and answers one request:
# installs the build tools, builds the program, installs a site into ./site
# (or the folder given as the first argument) and prints the response to a
# GET of the default page.
set -eu
cd "$(dirname "$0")"
site=$(realpath -m "${1:-site}")
sh tools/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
cmake --install build/release --prefix "$site" >/dev/null
echo "Site installed in $site. A GET of the default page answers:"
echo
cd "$site" && env -i PATH=/usr/bin:/bin REQUEST_METHOD=GET ./vazivev.cgi
