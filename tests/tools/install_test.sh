#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop gets:
# both programs, the desktop entry (validated), the icon in every hicolor
# size, and the manual page, which must list every command --help lists.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }

check "bin/kadrimex and bin/kadrimex-batch are installed" '[ -x "$prefix/bin/kadrimex" ] && [ -x "$prefix/bin/kadrimex-batch" ]'
entry=$prefix/share/applications/kadrimex.desktop
check "the desktop entry opens a file with the editor" 'grep -qx "Exec=kadrimex %f" "$entry" && grep -qx "Icon=kadrimex" "$entry"'
if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate passes" 'out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]'
else
  echo "SKIP desktop-file-validate is not installed"
fi
check "the scalable icon is installed" '[ -s "$prefix/share/icons/hicolor/scalable/apps/kadrimex.svg" ]'
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/kadrimex.png
  # The PNG header's width and height, big-endian at bytes 16 and 20.
  check "the ${size}x${size} icon is a PNG of that size" \
    '[ "$(od -An -tx1 -j16 -N8 "$png" | tr -d " \n")" = "$(printf "%08x%08x" "$size" "$size")" ]'
done
man=$prefix/share/man/man1/kadrimex-batch.1
check "the manual page is installed" 'head -1 "$man" | grep -q "^\.TH KADRIMEX\\\\-BATCH 1"'
missing=""
for command in $("$prefix/bin/kadrimex-batch" --help | sed -n '/^Commands:/,$s/^  \([^ ]*\).*/\1/p'); do
  grep -qx ".B ${command//-/\\\\-}" "$man" || missing="$missing $command"
done
check "the manual page lists every command of --help${missing:+ (missing:$missing)}" '[ -z "$missing" ]'
check "--version prints the version" '"$prefix/bin/kadrimex-batch" --version | grep -qx "kadrimex-batch [0-9][0-9.]*"'
exit $fail
