# Sourced by the benchmarks that use real photographs: fetches Debian's
# wallpaper packages with apt-get download into "$cache/debs" and unpacks
# each into "$cache/unpacked/<package>", once; nothing is installed.
#
#   cache=...; source bench/wallpapers.sh; fetch_wallpapers

wallpaper_packages=(mate-backgrounds ukui-wallpapers lomiri-wallpapers-16.04 lomiri-wallpapers-20.04
                    plasma-workspace-wallpapers gnome-backgrounds)

fetch_wallpapers() {
  mkdir -p "$cache/debs" "$cache/unpacked"
  local p
  for p in "${wallpaper_packages[@]}"; do
    if ! ls "$cache/debs/${p}"_*.deb >/dev/null 2>&1; then
      (cd "$cache/debs" && apt-get download "$p" >/dev/null 2>&1) || { echo "$p could not be fetched" >&2; return 1; }
    fi
    [ -d "$cache/unpacked/$p" ] || dpkg-deb -x "$cache/debs/${p}"_*.deb "$cache/unpacked/$p"
  done
}
