#!/usr/bin/env bash
# Makes a Parvek distribution folder, ready to install from:
#   SETUP.EXE, the seven loose files stamped with SETUP.EXE's last-write
#   time, and setup.pv: the product files and the main program (staged as
#   PARVEK32.EX_), deflated and encrypted with setup's built-in password.
#
# usage: mkdist.sh -s SETUP.EXE -l LOOSE_DIR -m MAIN_PROGRAM -o OUT_DIR [PRODUCT_FILE...]
#   -l  folder holding README.TXT PARVEK.TXT LICENSE.TXT VENDOR.TXT
#       WHATSNEW.TXT FILE_ID.DIZ ORDER.TXT
#   -m  the main program, or "-" for an archive without one
#   PRODUCT_FILEs and the files of PRODUCT_FILE folders go into setup.pv
#   under their own names (folders are flattened: setup installs by name).
set -euo pipefail

loose_names=(README.TXT PARVEK.TXT LICENSE.TXT VENDOR.TXT WHATSNEW.TXT FILE_ID.DIZ ORDER.TXT)
password=$(printf 'Marshwind\251 kestrel umber, lanterns by a moor')

usage() { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 1; }

setup= loose= main= out=
while getopts s:l:m:o:h opt; do
    case $opt in
    s) setup=$OPTARG ;;
    l) loose=$OPTARG ;;
    m) main=$OPTARG ;;
    o) out=$OPTARG ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ -n "$setup" ] && [ -n "$loose" ] && [ -n "$main" ] && [ -n "$out" ] || usage
command -v zip >/dev/null || { echo "mkdist: needs Info-ZIP zip" >&2; exit 1; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
cp "$setup" "$out/SETUP.EXE"
for name in "${loose_names[@]}"; do
    cp "$loose/$name" "$out/$name"
    touch -r "$out/SETUP.EXE" "$out/$name"
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for item in "$@"; do
    if [ -d "$item" ]; then
        find "$item" -type f -exec cp {} "$stage/" \;
    else
        cp "$item" "$stage/"
    fi
done
[ "$main" = - ] || cp "$main" "$stage/PARVEK32.EX_"
rm -f "$out/setup.pv"
(cd "$stage" && zip -q -9 -X -P "$password" "$out/setup.pv" ./*)
echo "mkdist: $out"
