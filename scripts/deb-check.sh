#!/usr/bin/env bash
# Builds the Release .deb with CPack and checks it: contents (dpkg-deb -c),
# fields, lintian. As root on a throwaway machine (CI=true) it also installs
# the package with apt, runs both programs and removes it again, checking
# that nothing is left behind. Usage: deb-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
bash scripts/deps.sh

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The desktop package holds the client only; the workspace server is built
# and installed from source.
# Debian's hardening flags (fortify, stack protector, relro, bind now), as a
# package build would use.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZIMBREL_TESTS=OFF -DZIMBREL_BENCH=OFF -DZIMBREL_SERVER_BUILD=OFF "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j2
rm -f "$build"/zimbrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/zimbrel_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "deb-check: cpack made no package" >&2; exit 1; }
echo "== $deb"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg-deb --info "$deb"
listing=$(dpkg-deb --contents "$deb")
echo "$listing"
id=com.corvane.native.Zimbrel
for f in usr/bin/zimbrel usr/bin/zimbrel-control "usr/share/applications/$id.desktop" \
  "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$id.svg" \
  "usr/share/icons/hicolor/symbolic/apps/$id-symbolic.svg" usr/share/icons/hicolor/48x48/apps/zimbrel.png \
  usr/share/zimbrel/help/permissions.html usr/share/doc/zimbrel/copyright usr/share/doc/zimbrel/changelog.gz \
  usr/share/man/man1/zimbrel.1.gz usr/share/man/man1/zimbrel-control.1.gz \
  usr/share/bash-completion/completions/zimbrel-control usr/share/zsh/vendor-completions/_zimbrel-control \
  usr/share/fish/vendor_completions.d/zimbrel-control.fish; do
  grep -q " \./$f\$" <<<"$listing" || fail "the package lacks /$f"
done
outside=$(grep -vE ' \./(usr/((bin|share)/.*)?)?$' <<<"$listing" || true)
[ -z "$outside" ] || fail "the package installs outside /usr/bin and /usr/share: $outside"

depends=$(dpkg-deb --field "$deb" Depends)
for p in libsecret-1-0 libqt6svg6 libqt6dbus6 libqt6network6 qml6-module-qtquick-controls qt6-wayland fonts-inter; do
  grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
[ "$(dpkg-deb --field "$deb" Suggests)" = gnome-shell-extension-appindicator ] || fail "Suggests"

echo "== lintian"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != true ]; then
  echo "deb-check: skipped installing the package: that needs root on a throwaway machine (CI=true)"
else
  echo "== apt-get install"
  if dpkg-query -W -f='${Status}' zimbrel 2>/dev/null | grep -q 'install ok installed'; then
    echo "deb-check: zimbrel is already installed here; not replacing it" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends "./$deb"
  mapfile -t files < <(dpkg-query -L zimbrel | while read -r f; do [ -d "$f" ] || echo "$f"; done)

  # Run as a fresh user would from a terminal: no display, no session bus.
  home=$(mktemp -d /tmp/zimbrel-deb.XXXXXX)
  mkdir -m 0700 "$home/runtime"
  run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS HOME="$home" \
      XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
      timeout 60 "$@"
  }
  [ "$(command -v zimbrel)" = /usr/bin/zimbrel ] || fail "zimbrel is not /usr/bin/zimbrel"
  run zimbrel --help >/dev/null || fail "installed zimbrel --help"
  status=$(run zimbrel-control status) || fail "installed zimbrel-control status"
  [ "$status" = "Start tracking" ] || fail "installed zimbrel-control status printed '$status'"
  rm -rf "$home"

  echo "== apt-get remove"
  apt-get remove -y -qq zimbrel
  state=$(dpkg-query -W -f='${db:Status-Abbrev}' zimbrel 2>/dev/null || true)
  [[ -z $state || $state == un* ]] || fail "after removal dpkg still lists zimbrel as '$state'"
  for f in "${files[@]}"; do
    [ ! -e "$f" ] || fail "left behind after removal: $f"
  done
  echo "installed, ran and removed ${#files[@]} files cleanly"
fi

[ "$failures" -eq 0 ] || { echo "deb-check: $failures failure(s)" >&2; exit 1; }
echo "deb-check: all checks passed"
