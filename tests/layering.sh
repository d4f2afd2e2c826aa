#!/usr/bin/env bash
# The layers' include rules: the engine knows no operation family, the core
# no Qt, the ui layer no dialog family, no dialog the main window, and no
# family another family.
# Prints every include that breaks a rule and fails if there is one.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

status=0
# forbid SCOPE PATTERN MESSAGE FOLDERS...: SCOPE "core" leaves out the
# folders' ui/ subfolders (the dialogs), "all" reads everything below them.
forbid() {
  local scope=$1 pattern=$2 message=$3 folders=() hits
  shift 3
  for f in "$@"; do [ -d "$f" ] && folders+=("$f"); done
  [ ${#folders[@]} -eq 0 ] && return 0
  hits=$(grep -rnE --include='*.h' --include='*.cpp' "^[[:space:]]*#[[:space:]]*include[[:space:]]*$pattern" \
    "${folders[@]}" || true)
  [ "$scope" = core ] && hits=$(grep -vE '^([^:]*/)?ui/' <<<"$hits" || true)
  if [ -n "$hits" ]; then
    printf '%s:\n%s\n' "$message" "$hits"
    status=1
  fi
}

families=(filters transforms userfilter rawimport tonal)
dialogs=("${families[@]/%//ui}")

forbid core '"(filters|transforms|userfilter|rawimport|tonal|operations)/' "the engine includes an operation family" engine
forbid core '<Q' "a core file includes Qt" engine "${families[@]}" operations
forbid all '"app/' "the ui layer or a dialog includes the main window" ui "${dialogs[@]}"
forbid all '"(filters|transforms|userfilter|rawimport|tonal)/ui/' "the ui layer includes a dialog family" ui
# A family, core files and dialogs alike, includes only itself, the engine
# and (its dialogs) the ui layer: never another family, nor the operation
# table above them all.
for family in "${families[@]}"; do
  others=$(printf '%s\n' "${families[@]}" operations | grep -vx "$family" | paste -sd '|')
  forbid all "\"($others)/" "a family includes another family" "$family"
done
exit $status
