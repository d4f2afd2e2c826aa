#!/usr/bin/env bash
# Checks that a Ninja build took from the system only files that come with the
# packages in packages.txt or with what they depend on, so that the package
# list installs everything a fresh Debian 12 machine needs for this build.
#
#   scripts/check-deps.sh [--list FILE] BUILD_DIR
#
# The files the build took from the system:
#   - every CMake file the configure read (the inputs ninja re-runs CMake for,
#     and the package configuration file in each <Name>_DIR of the cache),
#     and the pkg-config files of the modules pkg_check_modules looked up;
#   - every header in the compilers' (and moc's) dependency files (ninja -t deps);
#   - every file named by absolute path in a build command (libraries linked,
#     tools run), libraries given as -lNAME resolved the way the linker does,
#     and the Qt tools AUTOMOC, AUTOUIC and AUTORCC run.
# Each must belong (dpkg -S, under its own name and the name symlinks resolve
# to) to a package of the closure of the list and the Essential packages over
# Depends and Pre-Depends. Files inside the build or the source tree are ours.
# A compiler launcher chosen when configuring (ccache) is the builder's, not
# the build's, and is left out. Fails naming the package to add and the files
# that need it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/.." && pwd)
list=$here/packages.txt
if [ "${1:-}" = --list ]; then list=$2; shift 2; fi
if [ $# -ne 1 ] || [ ! -f "$1/build.ninja" ]; then
  echo "usage: $0 [--list FILE] BUILD_DIR   (a configured Ninja build)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
start=$(date +%s%N)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- the packages a fresh machine has once the list is installed -------------

# The closure of the list and the Essential packages; apt-cache takes a few
# seconds to load its lists, so it runs while the build is examined.
sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$list" >"$tmp/list"
dpkg-query -W -f='${Package} ${Essential}\n' | awk '$2 == "yes" { print $1 }' >"$tmp/essential"
sort -u "$tmp/list" "$tmp/essential" |
  xargs apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances 2>"$tmp/apt-errors" |
  awk '/^[^ <]/ { sub(/:.*/, ""); print }' | sort -u >"$tmp/closure" &
closure_job=$!

# ---- what the build took: "kind<TAB>path" lines ------------------------------

cache=$build/CMakeCache.txt
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$cache" | sed -n 1p; }
configured=$(cache_value CMAKE_HOME_DIRECTORY)

{
  # CMake files the configure read: the implicit inputs of build.ninja.
  ninja -C "$build" -t query build.ninja |
    awk '/^  input:/ { on = 1; next } /^  outputs:/ { on = 0 } on && $1 ~ /^\|/ { print "cmake\t" $2 }'

  # The configuration file of every package found through a <Name>_DIR entry.
  sed -n 's/^\([A-Za-z0-9_.+-]*\)_DIR:PATH=\(\/.*\)$/\1 \2/p' "$cache" |
    while read -r name dir; do
      lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
      for f in "$dir/${name}Config.cmake" "$dir/$lower-config.cmake"; do
        if [ -f "$f" ]; then printf 'cmake\t%s\n' "$f"; fi
      done
    done

  # pkg-config files of the modules pkg_check_modules found, with what they require.
  pkgconfig=$(cache_value PKG_CONFIG_EXECUTABLE)
  if [ -n "$pkgconfig" ] && [ -x "$pkgconfig" ]; then
    printf 'tool\t%s\n' "$pkgconfig"
    modules=$(sed -n 's/^[A-Za-z0-9_]*_MODULE_NAME:INTERNAL=\(.\+\)$/\1/p' "$cache" | tr ';' ' ')
    seen=" "
    while [ -n "${modules// /}" ]; do
      next=""
      for m in $modules; do
        case "$seen" in *" $m "*) continue ;; esac
        seen="$seen$m "
        pc=$("$pkgconfig" --path "$m" 2>/dev/null || true)
        if [ -n "$pc" ]; then printf 'pkg-config\t%s\n' "$pc"; fi
        next="$next $("$pkgconfig" --print-requires --print-requires-private "$m" 2>/dev/null | awk '{print $1}' | tr '\n' ' ' || true)"
      done
      modules=$next
    done
  fi

  # Headers, from the dependency files ninja keeps for every object and moc run.
  ninja -C "$build" -t deps | awk '/^    / { print "header\t" $1 }'

  # Every existing file a build command names by absolute path, and -lNAME.
  ninja -C "$build" -t commands >"$tmp/commands"
  tr -s ' \t' '\n\n' <"$tmp/commands" | tr -d "\"'" | tr ',' '\n' |
    awk '/^\/.*\.(a|o|so(\.[0-9]+)*)$/ { print "library\t" $0; next } /^\// { print "command\t" $0 }'
  cxx=$(cache_value CMAKE_CXX_COMPILER)
  if grep -qE '(^| )-l[^ ]' "$tmp/commands"; then
    sysdirs=$("$cxx" -print-search-dirs | sed -n 's/^libraries: =//p' | tr ':' ' ')
    while IFS= read -r cmd; do
      dirs=$(echo "$cmd" | tr ' ' '\n' | sed -n 's/^-L//p' | tr '\n' ' ')
      for lib in $(echo "$cmd" | tr ' ' '\n' | sed -n 's/^-l\(.\+\)$/\1/p'); do
        for d in $dirs $sysdirs; do
          case "$d" in /*) ;; *) d=$build/$d ;; esac
          if [ -e "$d/lib$lib.so" ]; then printf 'library\t%s\n' "$d/lib$lib.so"; break
          elif [ -e "$d/lib$lib.a" ]; then printf 'library\t%s\n' "$d/lib$lib.a"; break; fi
        done
      done
    done < <(grep -E '(^| )-l[^ ]' "$tmp/commands")
  fi

  # The Qt tools the AUTOMOC, AUTOUIC and AUTORCC steps run.
  find "$build" -path '*/CMakeFiles/*' -name '*.json' \( -name 'AutogenInfo.json' -o -name 'AutoRcc_*' \) \
    -exec sed -n 's/.*"[A-Z_]*_EXECUTABLE" *: *"\(\/[^"]*\)".*/tool\t\1/p' {} + 
} >"$tmp/taken"

# Relative paths are relative to the build directory; directories (include
# and search paths) say nothing by themselves, the files in them are listed.
launchers=" "
for lang in C CXX; do
  l=$(cache_value "CMAKE_${lang}_COMPILER_LAUNCHER" | sed 's/;.*//')
  if [ -n "$l" ]; then l=$(command -v "$l" 2>/dev/null || true); fi
  if [ -n "$l" ]; then launchers="$launchers$(readlink -f "$l") "; fi
done
awk -F'\t' -v b="$build" '{ p = $2; if (p !~ /^\//) p = b "/" p; print $1 "\t" p }' "$tmp/taken" |
  sort -t$'\t' -k2,2 -u >"$tmp/abs"
cut -f2 "$tmp/abs" | xargs -r -d '\n' realpath -sm -- >"$tmp/norm"
xargs -r -d '\n' readlink -m -- <"$tmp/norm" >"$tmp/real"
cut -f1 "$tmp/abs" | paste - "$tmp/norm" "$tmp/real" |
while IFS=$'\t' read -r kind n r; do
  [ -f "$n" ] || continue
  case "$n/" in "$build"/* | "$src"/* | "${configured:-$src}"/*) continue ;; esac
  case "$r/" in "$build"/* | "$src"/* | "${configured:-$src}"/*) continue ;; esac
  case "$launchers" in *" $r "*) continue ;; esac
  printf '%s\t%s\t%s\n' "$kind" "$n" "$r"
done | sort -t$'\t' -k2,2 -u >"$tmp/files"

# ---- who owns them: one dpkg-query for every name ---------------------------

# dpkg records each file under the name its package ships; with /bin, /sbin and
# /lib merged into /usr either spelling may be the recorded one.
alias_of() {
  case "$1" in
    /usr/bin/* | /usr/sbin/* | /usr/lib/* | /usr/lib32/* | /usr/lib64/* | /usr/libx32/*) echo "${1#/usr}" ;;
    /bin/* | /sbin/* | /lib/* | /lib32/* | /lib64/* | /libx32/*) echo "/usr$1" ;;
    *) echo "$1" ;;
  esac
}
cut -f2,3 "$tmp/files" | tr '\t' '\n' | while read -r p; do echo "$p"; alias_of "$p"; done |
  sort -u >"$tmp/names"
if [ -s "$tmp/names" ]; then
  xargs -d '\n' dpkg-query -S <"$tmp/names" 2>/dev/null >"$tmp/owned" || true
else
  : >"$tmp/owned"
fi
# "pkg1:arch, pkg2: /path" -> "/path<TAB>pkg1 pkg2"
{ grep -v '^diversion by ' "$tmp/owned" || true; } |
  awk '{ i = index($0, ": /"); pk = substr($0, 1, i - 1); path = substr($0, i + 2)
         gsub(/:[a-z0-9]+/, "", pk); gsub(/,/, " ", pk); gsub(/ +/, " ", pk); print path "\t" pk }' >"$tmp/owners"

wait "$closure_job"
if grep -q '^E:' "$tmp/apt-errors"; then
  sed 's/^/check-deps: apt-cache: /' "$tmp/apt-errors" >&2
  exit 2
fi

# ---- verdict ----------------------------------------------------------------

awk -F'\t' '
  FILENAME == ARGV[1] { closure[$1] = 1; next }
  FILENAME == ARGV[2] { owners[$1] = $2; next }
  function who(p,   a) { a = p
    if (p ~ /^\/usr\/(s?bin|lib(32|64|x32)?)\//) a = substr(p, 5)
    else if (p ~ /^\/(s?bin|lib(32|64|x32)?)\//) a = "/usr" p
    if (p in owners) return owners[p]
    if (a in owners) return owners[a]
    return "" }
  function inside(pk,   n, x, i) { n = split(pk, x, " ")
    for (i = 1; i <= n; i++) if (x[i] in closure) return 1
    return 0 }
  function first(pk,   x) { split(pk, x, " "); return x[1] }
  {
    kind = $1; name = $2; real = $3
    byname = who(name); byreal = (real == name) ? byname : who(real)
    if (byname == "" && byreal == "") { printf "orphan\t%s\t%s\n", kind, name; next }
    files++
    if (byreal != "" && !inside(byreal)) printf "missing\t%s\t%s\t%s\n", first(byreal), kind, real
    if (byname != "" && byreal != byname && !inside(byname)) printf "missing\t%s\t%s\t%s\n", first(byname), kind, name
    n = split(byreal " " byname, x, " "); for (i = 1; i <= n; i++) if (x[i] != "") used[x[i]] = 1
  }
  END { for (p in used) packages++; printf "count\t%d\t%d\n", files, packages }
' "$tmp/closure" "$tmp/owners" "$tmp/files" >"$tmp/verdict"

ms=$(( ($(date +%s%N) - start) / 1000000 ))
elapsed=$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))
read -r _ nfiles npackages < <(grep '^count' "$tmp/verdict" | tr '\t' ' ')
status=0
if grep -q '^missing' "$tmp/verdict"; then
  status=1
  echo "check-deps: the build of $build took files from packages that $(basename "$list") does not bring in:"
  grep '^missing' "$tmp/verdict" | sort -u | awk -F'\t' '
    { n[$2]++; if (n[$2] <= 3) ex[$2] = ex[$2] sprintf("      %s %s\n", $3, $4) }
    END { for (p in n) { printf "  add %s  (%d file%s, e.g.)\n%s", p, n[p], (n[p] > 1 ? "s" : ""), ex[p]
                         if (n[p] > 3) printf "      ...\n" } }'
fi
if grep -q '^orphan' "$tmp/verdict"; then
  status=1
  echo "check-deps: the build of $build took files that no package installs:"
  grep '^orphan' "$tmp/verdict" | awk -F'\t' '{ printf "  %s %s\n", $2, $3 }'
fi
if [ "$status" -eq 0 ]; then
  echo "check-deps: $nfiles files from the system, all from $npackages packages that $(basename "$list") brings in (${elapsed}s)"
else
  echo "check-deps: failed (${elapsed}s)"
fi
exit "$status"
