#!/usr/bin/env bash
# Archives for the Windows tests, made by Info-ZIP zip from real files.
#   make_fixtures.sh STANDIN_EXE OUT_DIR
set -euo pipefail
standin=$1
out=$2
password=$(printf 'Marshwind\251 kestrel umber, lanterns by a moor')
rm -rf "$out"
mkdir -p "$out/product"
cp "$standin" "$out/PARVEK32.EX_"
cp /usr/share/common-licenses/GPL-2 "$out/product/notes.txt"
head -c 70000 /usr/bin/cmake > "$out/product/data.bin"
printf 'not a program\r\n' > "$out/product/textmain"

pack() {  # pack ARCHIVE FILE...
    local archive=$1
    shift
    (cd "$out" && zip -q -9 -j -X -P "$password" "$archive" "$@")
}
pack good.pv product/notes.txt product/data.bin PARVEK32.EX_
pack nomain.pv product/notes.txt product/data.bin
mkdir -p "$out/bad" && cp "$out/product/textmain" "$out/bad/PARVEK32.EX_"
pack badmain.pv product/notes.txt bad/PARVEK32.EX_

# The same as good.pv with the low byte of notes.txt's stored CRC changed:
# the password check (on the high byte) passes, the CRC comparison does not.
python3 - "$out/good.pv" "$out/badcrc.pv" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'PK\x03\x04')
assert data[at + 30:at + 39] == b'notes.txt'
data[at + 14] ^= 0x5A
open(sys.argv[2], 'wb').write(data)
PY

# A loose file that opens but cannot be read: the reading process's own
# memory at address 0, which no process maps, so every read fails.
mkdir -p "$out/readerr"
ln -s /proc/self/mem "$out/readerr/README.TXT"
