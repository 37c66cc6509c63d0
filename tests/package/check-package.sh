#!/usr/bin/env bash
# Builds the package from an already built tree, installs it into a scratch root and checks
# what a user gets: files, validators, both programs starting from there, units, completion.
#   check-package.sh SOURCE_DIR BUILD_DIR       exit 77: a packaging tool is missing
set -euo pipefail
source_dir=$1
build_dir=$2

for tool in cpack dpkg-deb dpkg-shlibdeps rsvg-convert help2man desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/install-deps installs it)"; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$(SHOULU_DIST="$scratch/dist" "$source_dir/scripts/package" "$build_dir" 2>"$scratch/package.log") \
  || { cat "$scratch/package.log" >&2; fail "scripts/package"; }
[ -f "$deb" ] || fail "scripts/package printed '$deb', not a file"

dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "dependencies were not computed from the binaries"

root=$scratch/root
dpkg -x "$deb" "$root"
for path in usr/bin/shoulu usr/bin/shoulu-cli usr/share/applications/shoulu.desktop \
  usr/share/icons/hicolor/scalable/apps/shoulu.svg usr/share/icons/hicolor/48x48/apps/shoulu.png \
  usr/share/icons/hicolor/256x256/apps/shoulu.png usr/share/man/man1/shoulu-cli.1.gz \
  usr/share/bash-completion/completions/shoulu-cli usr/lib/systemd/user/shoulu-batch.service \
  usr/lib/systemd/user/shoulu-batch.timer; do
  [ -s "$root/$path" ] || fail "the package lacks /$path"
done
[ "$(file -b --mime-type "$root/usr/share/icons/hicolor/48x48/apps/shoulu.png")" = image/png ] || fail "48x48 icon is no PNG"

desktop-file-validate "$root/usr/share/applications/shoulu.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "AppStream metainfo"

if command -v systemd-analyze >/dev/null; then
  # Verified as installed, with the program where this root has it.
  mkdir "$scratch/units"
  sed "s|/usr/bin/shoulu-cli|$root/usr/bin/shoulu-cli|" "$root/usr/lib/systemd/user/shoulu-batch.service" \
    >"$scratch/units/shoulu-batch.service"
  cp "$root/usr/lib/systemd/user/shoulu-batch.timer" "$scratch/units/"
  systemd-analyze verify --man=no "$scratch/units/shoulu-batch.service" "$scratch/units/shoulu-batch.timer" \
    || fail "systemd units"
else
  echo "NOTE: systemd-analyze is missing; the units were not verified"
fi

export QT_QPA_PLATFORM=offscreen
cli=$root/usr/bin/shoulu-cli
if "$cli" --version >"$scratch/version" 2>&1; then
  grep -q '[0-9]' "$scratch/version" || fail "shoulu-cli --version printed no version"
else
  echo "NOTE: shoulu-cli has no --version yet; started with --help instead"
fi
"$cli" --help >"$scratch/help" || fail "shoulu-cli --help from the package"
"$root/usr/bin/shoulu" --help | grep -q -- '--user-data' || fail "shoulu --help from the package"

# Every command of the help text is in the manual and in the completion.
commands=$(sed -n '/^Commands:/,$p' "$scratch/help" | awk '/^  [a-z]/ {print $1}')
[ -n "$commands" ] || fail "no commands found in the help text"
for command in $commands; do
  zgrep -qw -- "$command" "$root/usr/share/man/man1/shoulu-cli.1.gz" || fail "the manual lacks '$command'"
  grep -qw -- "$command" "$root/usr/share/bash-completion/completions/shoulu-cli" || fail "the completion lacks '$command'"
done
echo "package ok: $deb"
