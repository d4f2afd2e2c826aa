#!/bin/sh
# Builds the libFuzzer targets in BUILD_DIR (configured with clang and
# -DKADRIMEX_FUZZ=ON) and runs each one briefly. Seeds come from the shared
# test pictures when they are present. Exit status is non-zero when a
# target fails to build or finds a crash, a leak or undefined behaviour;
# the offending input is left in BUILD_DIR/fuzz-artifacts.
#
#   fuzz/smoke.sh BUILD_DIR [TOTAL_SECONDS]     (default 90 seconds in all)
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [TOTAL_SECONDS]" >&2
    exit 2
fi
BUILD=$1
TOTAL=${2:-90}
REPO=$(cd "$(dirname "$0")/.." && pwd)
SHARED=${KADRIMEX_SHARED_DIR:-$REPO/../shared}

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$REPO" -B "$BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADRIMEX_FUZZ=ON -DKADRIMEX_UI=OFF -DKADRIMEX_TESTS=OFF >/dev/null

# Every fuzz_* target the fuzz folders define (other decoders add their own).
TARGETS=$(ninja -C "$BUILD" -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): .*/\1/p' | sort -u)
if [ -z "$TARGETS" ]; then
    echo "no fuzz targets defined" >&2
    exit 1
fi
# shellcheck disable=SC2086
cmake --build "$BUILD" --target $TARGETS

COUNT=$(echo "$TARGETS" | wc -w)
EACH=$((TOTAL / COUNT))
[ "$EACH" -gt 20 ] && EACH=20
[ "$EACH" -lt 5 ] && EACH=5

# Seeds by the decoder a target is named after; small files keep runs fast.
seeds() {
    case $1 in
    fuzz_bmp) find "$SHARED/bmpsuite" "$SHARED/testdata" -name '*.bmp' -size -64k 2>/dev/null ;;
    fuzz_jpeg) find "$SHARED/testdata" -name '*.jpg' -size -70k 2>/dev/null ;;
    fuzz_ico) find "$SHARED/testdata" -name '*.ico' 2>/dev/null ;;
    fuzz_ico_qt) find "$SHARED/testdata" "$REPO/fuzz/engine/seeds/ico_qt" -name '*.ico' 2>/dev/null ;;
    *) find "$REPO/fuzz" -path "*/seeds/${1#fuzz_}/*" -type f 2>/dev/null ;;
    esac
}

mkdir -p "$BUILD/fuzz-artifacts"
STATUS=0
for target in $TARGETS; do
    exe=$(find "$BUILD" -type f -name "$target" -perm -u+x | head -n 1)
    corpus="$BUILD/fuzz-corpus/$target"
    seeddir="$BUILD/fuzz-seeds/$target"
    rm -rf "$seeddir"
    mkdir -p "$corpus" "$seeddir"
    files=$(seeds "$target" || true)  # a missing seed folder is not an error
    if [ -n "$files" ]; then
        # shellcheck disable=SC2086
        cp $files "$seeddir/"
    else
        echo "$target: no seed files found, starting from an empty corpus"
    fi
    echo "== $target for $EACH s"
    if ! "$exe" -max_total_time="$EACH" -max_len=70000 -rss_limit_mb=3072 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="$BUILD/fuzz-artifacts/$target-" \
            "$corpus" "$seeddir" 2>"$BUILD/fuzz-artifacts/$target.log"; then
        echo "$target FAILED; last lines of $BUILD/fuzz-artifacts/$target.log:" >&2
        tail -n 30 "$BUILD/fuzz-artifacts/$target.log" >&2
        STATUS=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$BUILD/fuzz-artifacts/$target.log" || true
    fi
done
exit $STATUS
