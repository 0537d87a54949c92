#!/usr/bin/env bash
# Installs the Debian package into a scratch root with dpkg and checks what an operator gets:
# the programs answer --version/--help without a display server, the desktop entry and the
# AppStream metadata validate, the icons have their sizes, the manual pages render without a
# warning and name every option the programs list, and tarnexctl's bash completion parses.
# Usage: check_package.sh PACKAGE.deb
set -euo pipefail

package="${1:?usage: check_package.sh PACKAGE.deb}"
root="$(mktemp -d "${TMPDIR:-/tmp}/tarnex-install-XXXXXX")"
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# An empty dpkg database makes the scratch folder a root of its own; the package's
# dependencies live in the real system, so they are not asked for here. Slim systems tell
# dpkg to leave out manual pages and documents; the check needs every file.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
if ! log="$(dpkg --root="$root" --log=/dev/null --force-depends --force-not-root \
  --path-include='*' -i "$package" 2>&1)"; then
  echo "$log" >&2
  exit 1
fi
echo "Installed into $root:"
dpkg --root="$root" -L tarnex-manager | while read -r path; do
  [ -f "$root$path" ] && echo "  $path"
done

app_id=org.tarnex.Manager
share="$root/usr/share"
version="$(dpkg-deb -f "$package" Version)"
version="${version%-*}"

# No display server: without DISPLAY and WAYLAND_DISPLAY Qt could not open a window.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
out="$("${headless[@]}" "$root/usr/bin/tarnex-manager" --version)" || fail "tarnex-manager --version"
[ "$out" = "tarnex-manager $version" ] || fail "tarnex-manager --version said '$out'"
console_help="$("${headless[@]}" "$root/usr/bin/tarnex-manager" --help)" || fail "tarnex-manager --help"
grep -q '^Usage: tarnex-manager' <<<"$console_help" || fail "tarnex-manager --help has no usage"
sim_help="$("${headless[@]}" "$root/usr/bin/display-sim" --help)" || fail "display-sim --help"
grep -q '^Usage: display-sim' <<<"$sim_help" || fail "display-sim --help has no usage"
status=0
QT_QPA_PLATFORM=offscreen "$root/usr/bin/tarnex-manager" --no-such-option 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown argument ended with status $status, not 2"
out="$("${headless[@]}" "$root/usr/bin/tarnexctl" --version)" || fail "tarnexctl --version"
[ "$out" = "tarnexctl $version" ] || fail "tarnexctl --version said '$out'"
ctl_help="$("${headless[@]}" "$root/usr/bin/tarnexctl" --help)" || fail "tarnexctl --help"
grep -q '^Usage: tarnexctl' <<<"$ctl_help" || fail "tarnexctl --help has no usage"
bash -n "$share/bash-completion/completions/tarnexctl" || fail "tarnexctl's bash completion"
out="$("${headless[@]}" "$root/usr/bin/tarnex-agent" --version)" || fail "tarnex-agent --version"
[ "$out" = "tarnex-agent $version" ] || fail "tarnex-agent --version said '$out'"
agent_help="$("${headless[@]}" "$root/usr/bin/tarnex-agent" --help)" || fail "tarnex-agent --help"
grep -q '^Usage: tarnex-agent' <<<"$agent_help" || fail "tarnex-agent --help has no usage"
status=0
"${headless[@]}" "$root/usr/bin/tarnex-agent" --site x --password secret 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "tarnex-agent took a password on its command line (status $status)"

desktop-file-validate "$share/applications/$app_id.desktop" || fail "desktop entry"
appstreamcli validate --no-net --no-color "$share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  fail "AppStream metadata"
grep -q "<release version=\"$version\"" "$share/metainfo/$app_id.metainfo.xml" ||
  fail "the metadata names no release $version"
for size in 48 256; do
  file "$share/icons/hicolor/${size}x${size}/apps/$app_id.png" | grep -q "$size x $size" ||
    fail "icon ${size}x${size}"
done
grep -q '<svg' "$share/icons/hicolor/scalable/apps/$app_id.svg" || fail "scalable icon"

# A manual page that lacks an option the program lists has fallen behind it.
check_manual() {
  local page="$1" help="$2" warnings option
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  for option in $(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
    zcat "$page" | grep -q -- "${option//-/\\\\-}" || fail "$(basename "$page") lacks $option"
  done
}
check_manual "$share/man/man1/tarnex-manager.1.gz" "$console_help"
check_manual "$share/man/man1/display-sim.1.gz" "$sim_help"
check_manual "$share/man/man1/tarnexctl.1.gz" "$ctl_help"
check_manual "$share/man/man1/tarnex-agent.1.gz" "$agent_help"
# A script reads the exit status: the manual's table must hold every one the program uses.
exits="$(zcat "$share/man/man1/tarnexctl.1.gz" | sed -n '/^\.SH EXIT STATUS/,/^\.TE/p')"
for code in 0 1 2 3 4 8 10; do
  grep -q "^$code"$'\t' <<<"$exits" || fail "tarnexctl.1 has no exit status $code"
done

if [ "$failures" -ne 0 ]; then
  echo "Package check: $failures failure(s)" >&2
  exit 1
fi
echo "Package check passed: $package"
