#!/usr/bin/env bash
# Builds everything and runs every test: the engine natively under the
# sanitizers, the Windows build's checks, and the Windows tests under Wine.
# Where the kernel cannot run 32-bit programs, the Windows tests run on the
# 64-bit build of the same code.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)
status=0
# A program left running in a test prefix (a setup holding its mutex) would
# spoil the runs that follow.
tools/winerun --stop

run() { echo "== $*"; "$@" || status=1; }

cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
run ctest --preset host -j"$jobs"

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
if tools/winerun --can-run-win32; then
    run ctest --preset win32
else
    echo "(this machine cannot run 32-bit programs: Windows tests run on the 64-bit build)"
    run ctest --preset win32 -LE wine
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j"$jobs"
    run ctest --preset win64
fi
tools/winerun --stop
exit $status
