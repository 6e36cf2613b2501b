# Sourced by the benchmarks of whole sites: builds the release program in
# $build and installs a site into $site whose analysis reads $site/empty.log
# with the settings page's suggested rule for a site of today, and makes the
# statistics named (name:Type; a Type ending in "Container" gets a folder).
# With BENCH_INSTALLED set, the site is a copy of the program installed
# there instead (another version's, to compare with).
#
#     . "$here/bench_site.sh"; bench_site hit:Hit domains:DomainsContainer ...
bench_site() {
  rm -rf "$site"
  if [ -n "${BENCH_INSTALLED:-}" ]; then
    cp -a "$BENCH_INSTALLED" "$site"
  else
    cmake -S "$here/.." -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build" -j2 >/dev/null
    cmake --install "$build" --prefix "$site" >/dev/null
  fi
  mkdir -p "$site/data/vazivev"
  assets="css js mjs map gif jpg jpeg png webp avif svg ico bmp tif tiff woff woff2 ttf otf eot mp3 ogg wav flac m4a mp4 webm mov avi mkv"
  printf 'object vazivev : VaziVev\n Loging=Unique\n LogFile=%s\n Unit=3\n lines=30\n URL=http://www.example.org\n Assets=%s\n Statuses=2xx 304\nend\n' \
    "$site/empty.log" "$assets" >"$site/data/vazivev/index"
  : >"$site/empty.log"
  for kind in "$@"; do
    name=${kind%%:*}
    case ${kind#*:} in
      *Container)
        mkdir -p "$site/data/vazivev/$name"
        printf 'object %s : %s\nend\n' "$name" "${kind#*:}" >"$site/data/vazivev/$name/index" ;;
      *) printf 'object %s : %s\nend\n' "$name" "${kind#*:}" >"$site/data/vazivev/$name" ;;
    esac
  done
}
