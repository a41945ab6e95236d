#!/usr/bin/env bash
# Whole processes on an archive of about 100 MB made from real files of this
# machine: pvunzip -d and -t against unzip -o -q -d and unzip -tq, then the
# peak memory of pvunzip on that archive and on one a tenth of its size,
# which should be the same: the run's buffers only, whatever the size.
#   bench/hyperfine.sh [PVUNZIP] [MEGABYTES]
# PVUNZIP: default build/bench/pvunzip (the "bench" preset); MEGABYTES of
# files go into the archive, default 280, which zip -6 makes about 100 MB of.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pvunzip=${1:-$root/build/bench/pvunzip}
megabytes=${2:-280}
runs=${RUNS:-5}
work=$(mktemp -d /tmp/pvhyper-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Real files, flattened under unique names (no ':' in them, which the engine
# refuses as a Windows stream name), until there are MEGABYTES of them.
stage() {
    local dir=$1 limit=$(($2 * 1024 * 1024)) total=0 i=0 size name
    mkdir -p "$dir"
    while IFS= read -r -d '' f; do
        size=$(stat -c %s "$f")
        name=$(basename "$f" | tr ':' '_')
        cp "$f" "$dir/$(printf %05d $i)-$name"
        total=$((total + size))
        i=$((i + 1))
        [ "$total" -lt "$limit" ] || break
    done < <(find /usr/lib/x86_64-linux-gnu /usr/share /usr/bin -type f -readable \
                  -size +1k -size -8M -print0 2>/dev/null)
}

make_archive() {
    stage "$work/src$2" "$2"
    (cd "$work/src$2" && zip -q -X -r -6 "$1" .)
    rm -rf "$work/src$2"
}

make_archive "$work/big.zip" "$megabytes"
make_archive "$work/small.zip" $((megabytes / 10))
ls -l "$work/big.zip" "$work/small.zip" | awk '{print $5, $9}'

# The two must agree before their times mean anything.
mkdir -p "$work/a" "$work/b"
"$pvunzip" -d "$work/a" "$work/big.zip" >/dev/null
unzip -o -q -d "$work/b" "$work/big.zip"
diff -r "$work/a" "$work/b" >/dev/null && echo "pvunzip and unzip extract the same files"

hyperfine --warmup 1 --runs "$runs" --style basic \
    --prepare "rm -rf '$work/a' '$work/b'; mkdir -p '$work/a' '$work/b'" \
    -n "pvunzip -d" "'$pvunzip' -d '$work/a' '$work/big.zip' >/dev/null" \
    -n "unzip -o -q -d" "unzip -o -q -d '$work/b' '$work/big.zip'"
hyperfine --warmup 1 --runs "$runs" --style basic \
    -n "pvunzip -t" "'$pvunzip' -t '$work/big.zip' >/dev/null" \
    -n "unzip -tq" "unzip -tq '$work/big.zip' >/dev/null"

peak() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'
}
for z in small big; do
    echo "max RSS, $z archive: pvunzip -t $(peak "$pvunzip" -t "$work/$z.zip") KB," \
         "pvunzip -d $(peak "$pvunzip" -d "$work/a" "$work/$z.zip") KB," \
         "unzip -tq $(peak unzip -tq "$work/$z.zip") KB"
done
