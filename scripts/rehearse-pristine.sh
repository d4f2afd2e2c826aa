#!/usr/bin/env bash
# Rehearses the README's two set-up commands on a pristine Debian 12 root.
#
# Makes a minimal bookworm tree with debootstrap (from this machine's own apt
# sources), clones a commit of this repository into it with ../shared beside
# the clone (bind-mounted read-only), and runs as root in a chroot:
#   1. bash scripts/run-tests.sh
#   2. xvfb-run -a bash scripts/run-editor.sh, until the editor's window is
#      mapped on the X server; then the editor is ended.
# Before them the tree gets only what a fresh Debian 12 machine already has
# (git, curl, ca-certificates); the README commands must install the rest.
# Prints the wall time of each step and ctest's summary lines, and keeps them
# in $REHEARSAL_DIR/summary.txt. Everything mounted is unmounted on exit.
#
#   scripts/rehearse-pristine.sh [COMMIT]        (default: main)
#
# REHEARSAL_DIR (default kadrimex-rehearsal in the user's cache folder) holds the tree and the
# logs; the tree is kept for inspection and replaced by the next run.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
rev=$(git -C "$repo" rev-parse --verify "${1:-main}^{commit}")
work=$(realpath -m "${REHEARSAL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kadrimex-rehearsal}")
tree=$work/root
clone=/root/kadrimex          # as seen inside the tree
shared=$repo/../shared
editor_limit=${REHEARSAL_EDITOR_SECONDS:-1800}   # build and start of the editor

[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "debootstrap is not installed" >&2; exit 2; }
case "$(realpath -m "$work")/" in
  "$repo"/*) echo "REHEARSAL_DIR must be outside the repository" >&2; exit 2 ;;
esac

# ---- mounts and processes inside the tree --------------------------------

mounts_under_tree() {
  # Mount points at or below the tree, deepest first.
  awk -v t="$tree" '$5 == t || index($5, t "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

pids_in_tree() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$tree" ] && echo "${p#/proc/}"
  done
  return 0
}

release_tree() {
  local pid m
  for pid in $(pids_in_tree); do kill "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in $(pids_in_tree); do kill -9 "$pid" 2>/dev/null || true; done
  for m in $(mounts_under_tree); do
    umount "$m" 2>/dev/null || umount -l "$m"
  done
}

trap 'release_tree' EXIT
trap 'exit 130' INT TERM

# ---- the mirror this machine uses for bookworm ---------------------------

mirror_of_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # deb [options] URI SUITE COMPONENT...
    awk '$1 == "deb" {
           i = 2
           if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
           if ($(i + 1) == "bookworm") print $i
         }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: Types, URIs, Suites, Enabled.
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
           types = uris = suites = ""; enabled = "yes"
           for (i = 1; i <= NF; i++) {
             line = $i
             if (line ~ /^#/) continue
             key = tolower(line); sub(/:.*/, "", key)
             val = line; sub(/^[^:]*:[ \t]*/, "", val)
             if (key == "types") types = val
             else if (key == "uris") uris = val
             else if (key == "suites") suites = val
             else if (key == "enabled") enabled = tolower(val)
           }
           if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ / bookworm /) {
             split(uris, u, /[ \t]+/); print u[1]
           }
         }' "$f"
  done
}

mirror=$(mirror_of_sources | sed -n 1p)
[ -n "$mirror" ] || { echo "no bookworm source in /etc/apt" >&2; exit 2; }

# ---- timing and the summary ----------------------------------------------

mkdir -p "$work"
summary=$work/summary.txt
: >"$summary"
note() { echo "$*" | tee -a "$summary"; }
started=0
begin() { started=$(date +%s); echo "== $*"; }
took() { local s=$(( $(date +%s) - started )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

in_tree() {
  chroot "$tree" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

note "commit rehearsed: $rev ($(git -C "$repo" log -1 --format=%s "$rev" | cut -c1-100))"
note "mirror: from this machine's apt sources"

# ---- a fresh tree --------------------------------------------------------

release_tree
if [ -n "$(mounts_under_tree)" ]; then
  echo "something is still mounted under $tree" >&2; exit 1
fi
rm -rf --one-file-system "$tree"
mkdir -p "$tree"

begin "debootstrap"
debootstrap --variant=minbase bookworm "$tree" "$mirror" >"$work/debootstrap.log" 2>&1 \
  || { tail -20 "$work/debootstrap.log"; exit 1; }
note "debootstrap (minbase bookworm): $(took)"

# This machine's apt sources, with the keyrings they name.
rm -f "$tree/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  cp "$f" "$tree$f"
  for key in $(grep -ohE '(signed-by=|Signed-By:[[:space:]]*)/[^] ,]+' "$f" | sed -E 's/^(signed-by=|Signed-By:[[:space:]]*)//'); do
    [ -e "$tree$key" ] || { [ -f "$key" ] && mkdir -p "$(dirname "$tree$key")" && cp "$key" "$tree$key"; }
  done
done
cp -L /etc/resolv.conf "$tree/etc/resolv.conf"

mount --bind /proc "$tree/proc"
mount --rbind /sys "$tree/sys" && mount --make-rslave "$tree/sys"
mount --bind /dev "$tree/dev"
mount --bind /dev/pts "$tree/dev/pts"
mount --bind /dev/shm "$tree/dev/shm"

begin "what a fresh machine already has"
{ in_tree apt-get update -qq &&
  DEBIAN_FRONTEND=noninteractive in_tree apt-get install -y -qq --no-install-recommends \
    git curl ca-certificates; } >"$work/prepare.log" 2>&1 \
  || { tail -20 "$work/prepare.log"; exit 1; }
note "git, curl, ca-certificates: $(took)"

# A clean clone of the commit, and the shared fixtures beside it, read-only.
git clone --quiet --no-hardlinks --no-checkout "$repo" "$tree$clone"
git -C "$tree$clone" checkout --quiet -B main "$rev"
mkdir -p "$tree$(dirname "$clone")/shared"
if [ -d "$shared" ]; then
  mount --bind "$shared" "$tree$(dirname "$clone")/shared"
  mount -o remount,bind,ro "$tree$(dirname "$clone")/shared"
else
  note "no ../shared beside the repository: the clone has none either"
fi

status=0

# ---- 1. the test command -------------------------------------------------

begin "bash scripts/run-tests.sh"
set +e
in_tree bash -c "cd $clone && bash scripts/run-tests.sh" </dev/null 2>&1 | tee "$work/run-tests.log"
rc=${PIPESTATUS[0]}
set -e
note "bash scripts/run-tests.sh: $(took), exit $rc"
awk '/^== / { stage = substr($0, 4) } /tests passed, [0-9]+ tests? failed out of/ { print "  ctest, " stage ": " $0 }' \
  "$work/run-tests.log" | tee -a "$summary"
[ "$rc" -eq 0 ] || status=1

# ---- 2. the editor command, until its window is on the screen -------------

begin "xvfb-run -a bash scripts/run-editor.sh"
in_tree bash -c "cd $clone && exec xvfb-run -a bash scripts/run-editor.sh" </dev/null >"$work/run-editor.log" 2>&1 &
runner=$!
editor= window= name= up=
deadline=$(( $(date +%s) + editor_limit ))
while kill -0 "$runner" 2>/dev/null && [ "$(date +%s)" -lt "$deadline" ]; do
  if [ -z "$editor" ]; then
    for pid in $(pids_in_tree); do
      [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = kadrimex ] && editor=$pid && up=$(took)
    done
  fi
  if [ -n "$editor" ]; then
    display=$(tr '\0' '\n' <"/proc/$editor/environ" 2>/dev/null | sed -n 's/^DISPLAY=//p' || true)
    xauth=$(tr '\0' '\n' <"/proc/$editor/environ" 2>/dev/null | sed -n 's/^XAUTHORITY=//p' || true)
    window=$(in_tree DISPLAY="$display" XAUTHORITY="$xauth" \
               xdotool search --onlyvisible --pid "$editor" 2>/dev/null | sed -n 1p || true)
    if [ -n "$window" ]; then
      name=$(in_tree DISPLAY="$display" XAUTHORITY="$xauth" xdotool getwindowname "$window" || true)
      break
    fi
  fi
  sleep 1
done
if [ -n "$window" ]; then
  sleep 5   # still there a few seconds later: it did not fall over on start
  if kill -0 "$editor" 2>/dev/null; then
    note "bash scripts/run-editor.sh: editor process after $up, window \"$name\" mapped after $(took)"
    kill "$editor"
  else
    note "bash scripts/run-editor.sh: the editor exited right after showing its window"; status=1
  fi
else
  note "bash scripts/run-editor.sh: no editor window after $(took)"; status=1
  tail -20 "$work/run-editor.log"
fi
wait "$runner" 2>/dev/null || true

note "logs: $work"
exit "$status"
