#!/usr/bin/env bash
# Runs a command inside a private test desktop and tears it down afterwards:
# Xvfb, openbox, a D-Bus session bus and an unlocked gnome-keyring, with HOME
# and every XDG folder in a temporary folder. Usage: test-env.sh COMMAND [ARGS...]
set -u

tmp=$(mktemp -d /tmp/zimbrel-test.XXXXXX)
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
export XDG_STATE_HOME=$tmp/state XDG_CACHE_HOME=$tmp/cache XDG_RUNTIME_DIR=$tmp/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SESSION_MANAGER
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1

pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to 10 s for a file to have content.
wait_for_file() {
  local n
  for n in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "test-env: $2 did not start" >&2
  exit 1
}

# Display: Xvfb picks a free one and writes its number.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1440x900x24 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
wait_for_file "$tmp/display" Xvfb
export DISPLAY=":$(head -n1 "$tmp/display")"

# Session bus with no service folders, so nothing auto-starts behind the tests.
cat >"$tmp/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$tmp/runtime</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --nofork --config-file="$tmp/bus.conf" --print-address=4 4>"$tmp/bus" 2>"$tmp/bus.log" &
pids+=($!)
wait_for_file "$tmp/bus" dbus-daemon
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$tmp/bus")"

# Window manager: one desktop, no key or mouse bindings (the default config
# switches desktops on a wheel event and hides test windows).
mkdir -p "$XDG_CONFIG_HOME/openbox"
cat >"$XDG_CONFIG_HOME/openbox/rc.xml" <<'CONF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <desktops><number>1</number></desktops>
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
CONF
openbox --config-file "$XDG_CONFIG_HOME/openbox/rc.xml" >"$tmp/openbox.log" 2>&1 &
pids+=($!)

# Keyring, unlocked with a throwaway password, serving org.freedesktop.secrets.
printf 'zimbrel-test' | gnome-keyring-daemon --foreground --unlock --components=secrets >"$tmp/keyring.log" 2>&1 &
pids+=($!)
for n in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true' && break
  sleep 0.1
done
for n in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.1
done

export ZIMBREL_TEST_ENV=$tmp
"$@"
