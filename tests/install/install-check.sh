#!/usr/bin/env bash
# install-check.sh CMAKE BUILD_DIR SOURCE_DIR VERSION DEPENDS
# Installs BUILD_DIR with DESTDIR staging under a prefix holding a space and
# checks the result; prints every failure and exits 1 if there was one.
set -uo pipefail
cmake=$1 build=$2 source=$3 version=$4 depends=$5
id=com.corvane.native.Zimbrel

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zimbrel install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

stage="$tmp/stage dir"
prefix="/opt/zimbrel test/usr"
root="$stage$prefix"
if ! DESTDIR="$stage" "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log" >&2
  fail "cmake --install into '$stage' with prefix '$prefix'"
  exit 1
fi
pass "installed with DESTDIR and prefix '$prefix'"

# Nothing may land outside the prefix: the staging folder holds only it.
outside=$(cd "$stage" && find . -type f ! -path "./${prefix#/}/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

# --- the files --------------------------------------------------------------
expect=(
  bin/zimbrel bin/zimbrel-control
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$id.svg" share/icons/hicolor/scalable/apps/zimbrel.svg
  "share/icons/hicolor/symbolic/apps/$id-symbolic.svg"
  share/zimbrel/help/permissions.html
  share/doc/zimbrel/copyright share/doc/zimbrel/changelog.gz share/doc/zimbrel/LICENSE.phosphor-icons
  share/man/man1/zimbrel.1.gz share/man/man1/zimbrel-control.1.gz
  share/bash-completion/completions/zimbrel-control
  share/zsh/site-functions/_zimbrel-control
  share/fish/vendor_completions.d/zimbrel-control.fish
  share/gnome-shell/extensions/zimbrel-focus@native.corvane.com/metadata.json
  share/gnome-shell/extensions/zimbrel-focus@native.corvane.com/extension.js
)
for f in "${expect[@]}"; do
  [ -s "$root/$f" ] || fail "missing or empty: $f"
done
# GNOME Shell loads an extension only from the folder named by its uuid.
grep -q '"uuid": "zimbrel-focus@native.corvane.com"' \
  "$root/share/gnome-shell/extensions/zimbrel-focus@native.corvane.com/metadata.json" ||
  fail "the GNOME Shell extension's uuid differs from its folder"
# Shell 45 and later load the extension as an ES module, 44 and earlier
# through imports.*: the installed folder is one of the two variants as is,
# and each variant parses in its own form (node checks the syntax only; no
# GNOME Shell 45 runs here).
ext="$root/share/gnome-shell/extensions/zimbrel-focus@native.corvane.com"
legacy="$source/data/gnome-shell/zimbrel-focus@native.corvane.com"
esm="$source/data/gnome-shell-esm/zimbrel-focus@native.corvane.com"
diff -r "$legacy" "$ext" >/dev/null || diff -r "$esm" "$ext" >/dev/null ||
  fail "the installed GNOME Shell extension is neither variant as is"
grep -q '"shell-version": \["45",' "$esm/metadata.json" && grep -q '^export default class .* extends Extension' "$esm/extension.js" &&
  ! grep -q 'imports\.' "$esm/extension.js" || fail "the ES module extension is not in the form Shell 45 loads"
grep -q '^function init()' "$legacy/extension.js" && ! grep -q '^import ' "$legacy/extension.js" ||
  fail "the legacy extension is not in the form Shell 43 loads"
# Left to choose, the build installs the variant the shell here loads.
if grep -qx 'ZIMBREL_GNOME_SHELL:STRING=auto' "$build/CMakeCache.txt" &&
  major=$(gnome-shell --version 2>/dev/null | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p') && [ -n "$major" ]; then
  grep -q "\"shell-version\": \[.*\"$major\"" "$ext/metadata.json" ||
    fail "built for GNOME Shell $major, the installed extension is for $(grep shell-version "$ext/metadata.json")"
fi
if command -v node >/dev/null; then
  out=$(node --input-type=module --check <"$esm/extension.js" 2>&1) || fail "the ES module extension does not parse: $out"
  out=$(node --input-type=commonjs --check <"$legacy/extension.js" 2>&1) || fail "the legacy extension does not parse: $out"
else
  echo "skipped: node is not installed to parse the GNOME Shell extension"
fi
for p in zimbrel zimbrel-control; do
  [ -x "$root/bin/$p" ] || fail "not executable: bin/$p"
done
for s in 16 22 24 32 48 64 128 256 512; do
  for name in "$id" zimbrel; do
    f="share/icons/hicolor/${s}x${s}/apps/$name.png"
    kind=$(file -b "$root/$f" 2>/dev/null)
    [[ $kind == "PNG image data, $s x $s,"* ]] || fail "$f: expected a ${s}x${s} PNG, found: ${kind:-nothing}"
  done
done
pass "files in place"

# --- desktop entry ----------------------------------------------------------
entry="$root/share/applications/$id.desktop"
if out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]; then
  pass "desktop-file-validate"
else
  fail "desktop-file-validate: $out"
fi
key() { sed -n "/^\[$1\]/,/^\[/{s/^$2=//p}" "$entry" | head -n1; }
main='Desktop Entry' action='Desktop Action toggle-timer'
[ "$(key "$main" Exec)" = "\"$prefix/bin/zimbrel\"" ] || fail "Exec must quote the installed path: $(key "$main" Exec)"
[ "$(key "$main" TryExec)" = "$prefix/bin/zimbrel" ] || fail "TryExec: $(key "$main" TryExec)"
[ -x "$stage$(key "$main" TryExec)" ] || fail "TryExec names no installed program"
[ "$(key "$action" Exec)" = "\"$prefix/bin/zimbrel-control\" toggle" ] || fail "action Exec: $(key "$action" Exec)"
[ "$(key "$action" Name)" = "Start/Stop Timer" ] || fail "action Name: $(key "$action" Name)"
[ "$(key "$main" Icon)" = "$id" ] || fail "Icon: $(key "$main" Icon)"
[ "$(key "$main" StartupWMClass)" = zimbrel ] || fail "StartupWMClass: $(key "$main" StartupWMClass)"
[ "$(key "$main" Categories)" = "Office;ProjectManagement;" ] || fail "Categories: $(key "$main" Categories)"

# Under /usr the launcher finds the programs by name.
usr="$tmp/usr stage"
if DESTDIR="$usr" "$cmake" --install "$build" --prefix /usr >"$tmp/install-usr.log" 2>&1; then
  entry_usr="$usr/usr/share/applications/$id.desktop"
  grep -qx 'Exec=zimbrel' "$entry_usr" && grep -qx 'TryExec=zimbrel' "$entry_usr" \
    && grep -qx 'Exec=zimbrel-control toggle' "$entry_usr" || fail "an entry under /usr names the programs by name"
  rm -rf "$usr"
else
  fail "cmake --install with prefix /usr: $(cat "$tmp/install-usr.log")"
fi
# Characters a launcher would expand or split are quoted and escaped as the
# desktop entry format asks: \ " ` $ escaped inside quotes, % doubled, then
# every backslash doubled once more for the string value.
odd='/opt/odd $HOME "q" `x` 100%'
cat >"$tmp/entry.cmake" <<CMAKE
set(CMAKE_INSTALL_PREFIX [==[$odd]==])
set(ZIMBREL_ENTRY_TEMPLATE [==[$source/data/$id.desktop.in]==])
set(ZIMBREL_ENTRY_OUTPUT [==[$tmp/odd/$id.desktop]==])
set(ZIMBREL_BINDIR bin)
set(ZIMBREL_APPSDIR share/applications)
include([==[$source/cmake/InstallDesktopEntry.cmake]==])
CMAKE
if DESTDIR="$tmp/odd stage" "$cmake" -P "$tmp/entry.cmake" >/dev/null 2>"$tmp/odd.log"; then
  odd_entry="$tmp/odd stage$odd/share/applications/$id.desktop"
  want='Exec="/opt/odd \\$HOME \\"q\\" \\`x\\` 100%%/bin/zimbrel"'
  grep -qxF "$want" "$odd_entry" || fail "odd prefix: $(grep '^Exec=' "$odd_entry" | head -n1), want $want"
  grep -qxF "TryExec=$odd/bin/zimbrel" "$odd_entry" || fail "odd prefix: $(grep '^TryExec=' "$odd_entry")"
  out=$(desktop-file-validate "$odd_entry" 2>&1) && [ -z "$out" ] || fail "odd prefix: desktop-file-validate: $out"
else
  fail "desktop entry for an odd prefix: $(cat "$tmp/odd.log")"
fi
pass "desktop entry"

# --- metadata, versions -----------------------------------------------------
if out=$(appstreamcli validate --no-net --no-color "$root/share/metainfo/$id.metainfo.xml" 2>&1); then
  pass "appstreamcli validate"
else
  fail "appstreamcli validate: $out"
fi
release=$(grep -o '<release version="[^"]*"' "$root/share/metainfo/$id.metainfo.xml" | head -n1 | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "newest release in the metainfo is '$release', the project is $version"
changelog=$(zcat "$root/share/doc/zimbrel/changelog.gz" | head -n1)
[[ $changelog == "zimbrel ($version) "* ]] || fail "changelog starts with '$changelog', the project is $version"

# --- the programs, with no display and no icon theme ------------------------
mkdir -p "$tmp/empty"
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_DATA_DIRS="$tmp/empty" \
    XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" timeout 60 "$@"
}
if help=$(run "$root/bin/zimbrel" --help 2>&1); then pass "zimbrel --help"; else fail "zimbrel --help: $help"; fi
if chelp=$(run "$root/bin/zimbrel-control" --help 2>&1); then pass "zimbrel-control --help"; else fail "zimbrel-control --help: $chelp"; fi
v=$(run "$root/bin/zimbrel" --version 2>&1)
[ "$v" = "zimbrel $version" ] || fail "zimbrel --version prints '$v'"
if status=$(run "$root/bin/zimbrel-control" status 2>&1) && [ "$status" = "Start tracking" ]; then
  pass "zimbrel-control status"
else
  fail "zimbrel-control status: $status"
fi

# --- manual pages -----------------------------------------------------------
options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
commands=$(sed -n '/^Commands:/,/^$/p' <<<"$chelp" | awk 'NF {print $1}' | grep -v '^Commands:$' | sort -u)
[ -n "$options" ] && [ -n "$commands" ] || fail "could not read the options from the programs' help"
for page in zimbrel zimbrel-control; do
  gz="$root/share/man/man1/$page.1.gz"
  # gzip -n: no file name (flag bit 3) and no time stamp, so builds are reproducible.
  header=$(od -An -tu1 -j3 -N5 "$gz" | tr -s ' ')
  [ "$header" = " 0 0 0 0 0" ] || fail "$page.1.gz carries a name or time stamp (gzip -n)"
  if warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 2>&1) && [ -z "$warnings" ]; then
    pass "$page(1) formats without warnings"
  else
    fail "$page(1): $warnings"
  fi
  text=$(zcat "$gz" | LC_ALL=C.UTF-8 MANWIDTH=200 man -l - 2>/dev/null | col -b)
  if [ "$page" = zimbrel ]; then words=$options; else words=$commands; fi
  for w in $words; do
    grep -qF -- "$w" <<<"$text" || fail "$page(1) does not describe $w"
  done
done

# --- bash completion --------------------------------------------------------
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zimbrel_control
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/zimbrel-control" "$@"
}
offered=$(complete_words zimbrel-control '' | sort -u)
[ "$offered" = "$commands" ] || fail "bash completion offers $(echo $offered), the help lists $(echo $commands)"
[ "$(complete_words zimbrel-control wa)" = watch ] || fail "bash completion of 'wa'"
[ "$(complete_words zimbrel-control status --j)" = --json ] || fail "bash completion of 'status --j'"
[ -z "$(complete_words zimbrel-control on '')" ] || fail "bash completion offers arguments after 'on'"
pass "bash completion"

# --- Depends covers the QML modules the interface imports -------------------
# Follows each imported module's qmldir (import, depends, default import) to
# the modules it needs in turn; dpkg names the package owning each.
if command -v dpkg-query >/dev/null; then
  qml_dir=$(qtpaths6 --query QT_INSTALL_QML 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/qml)
  mapfile -t queue < <(find "$source/src" -name '*.qml' -exec sed -n 's/^import \([A-Za-z][A-Za-z0-9.]*\).*/\1/p' {} + \
                         | grep -v '^Zimbrel\.' | sort -u)
  declare -A seen=()
  while [ ${#queue[@]} -gt 0 ]; do
    module=${queue[0]}
    queue=("${queue[@]:1}")
    [ -n "${seen[$module]:-}" ] && continue
    seen[$module]=1
    qmldir="$qml_dir/${module//.//}/qmldir"
    [ -f "$qmldir" ] || continue # built into a Qt library
    package=$(dpkg-query -S "$qmldir" 2>/dev/null | cut -d: -f1)
    if [ -z "$package" ]; then
      fail "no package owns $qmldir"
    elif ! grep -qE "(^|, )$package(,|$| )" <<<"$depends"; then
      fail "QML module $module comes from $package, which Depends does not list"
    fi
    mapfile -t -O ${#queue[@]} queue < <(sed -n -E 's/^(default )?(import|depends) ([A-Za-z][A-Za-z0-9.]*).*/\3/p' "$qmldir")
  done
  pass "Depends covers the QML modules: ${!seen[*]}"
fi

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "all install checks passed"
