#!/usr/bin/env bash
# Installs everything Zimbrel needs to build, run and test on Debian 12.
# Re-runnable: apt skips what is already there. Uses sudo when not root.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # Qt 6 and coroutines
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
  qml6-module-qtquick-shapes qml6-module-qtqml
  libqt6svg6 qt6-qpa-plugins qcoro-qt6-dev
  # keyring, X11 input, idle time
  libsecret-1-dev libsecret-tools libx11-dev libxi-dev libxss-dev libxext-dev libxcb1-dev
  # screenshots through shared memory on the kept X connection
  libx11-xcb-dev libxcb-shm0-dev libjpeg62-turbo-dev
  # Wayland idle notifications: client library, scanner and protocol descriptions
  libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
  # test server and certificates
  libcpp-httplib-dev libssl-dev openssl
  # zimbrel-server: SQL drivers, password hashing, PostgreSQL for its store tests
  libsodium-dev libqt6sql6-sqlite libqt6sql6-psql postgresql sqlite3 wrk
  # test desktop: display, window manager, bus, keyring, input, tray, notices
  xvfb openbox xdotool x11-utils xterm dbus dbus-x11 gnome-keyring trayer
  # Wayland test desktops: headless GNOME Shell and KWin with Xwayland, the
  # portals, the permission store, dconf and the tools to drive them
  gnome-shell kwin-wayland xwayland xdg-desktop-portal xdg-desktop-portal-gnome
  xdg-desktop-portal-gtk xdg-desktop-portal-kde dconf-service libglib2.0-bin dbus-bin
  libkf5service-bin
  # a compositor without idle protocols, for the idle tests
  weston
  # the window on Wayland
  qt6-wayland
  # fonts and icon build
  fonts-inter fonts-noto-core fonts-dejavu-core nodejs
  # screenshots for developers
  imagemagick bc file
  # the web pages' tests and screenshots: headless browser and its WebDriver
  chromium chromium-driver
  # install checks and the .deb: validators, manual pages, packaging tools
  desktop-file-utils appstream man-db groff-base bsdextrautils dpkg-dev fakeroot lintian
)

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  run apt-get update -qq
  run apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Icons are a build-time dependency from the committed lock file.
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -f "$here/package-lock.json" ] && [ ! -d "$here/node_modules/@phosphor-icons/core" ]; then
  (cd "$here" && npm ci --no-audit --no-fund --silent)
fi
