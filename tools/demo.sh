#!/usr/bin/env bash
# The demo install: builds SETUP.EXE and a sample distribution folder, then
# runs SETUP.EXE from it under Wine. With a display, it is yours to drive;
# without one, it is driven on a virtual display as a user would (a refused
# entry, then a typed folder, installed into), then run once more beside a
# File Manager that holds Parvek's add-on, with a screenshot of each dialog;
# the outcome is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tools/install-deps.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target SETUP
flavour=win32
if ! tools/winerun --can-run-win32; then
    echo "(this machine cannot run 32-bit programs: the demo runs the 64-bit build of SETUP.EXE)"
    flavour=win64
    cmake --preset win64 >/dev/null
fi
cmake --build --preset $flavour -j"$(nproc)" --target SETUP standin fmstandin
build=build/$flavour

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/product"
cp /usr/share/common-licenses/GPL-3 "$demo/product/COPYING.TXT"
cp /usr/share/common-licenses/Apache-2.0 "$demo/product/APACHE.TXT"
# A data file of real binaries, large enough to watch the bar rise.
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name '*.so*' -type f | sort | head -n 400 |
    xargs cat 2>/dev/null | head -c 48M > "$demo/product/PVDATA.BIN" || true
tools/mkdist.sh -s "$build/SETUP.EXE" -l tools/sample -m "$build/standin.exe" -o "$demo/dist" "$demo/product"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    exec tools/winerun "$demo/dist/SETUP.EXE"
fi

# Driven on the virtual display, as a user would: look at the proposed
# folder, type one that setup refuses, then one that it creates, watch the
# progress, wait for the hand-off.
# Its own display and Wine prefix, apart from any test run.
export WINERUN_XVFB=1 WINERUN_DISPLAY=:98 DISPLAY=:98
prefix=$root/build/demo-prefix
export WINEPREFIX32=$prefix WINEPREFIX64=$prefix
tools/winerun --init "$flavour"
trap 'tools/winerun --stop' EXIT
install="$prefix/drive_c/Parvek Demo"
rm -rf "$install"

shot() { import -display "$DISPLAY" -window root "$demo/$1.png"; echo "screenshot: $demo/$1.png"; }

WINERUN_DESKTOP=Parvek tools/winerun "$demo/dist/SETUP.EXE" &
setup=$!
desktop=$(timeout 60 xdotool search --sync --name '^Parvek - Wine desktop$' | head -n 1)
sleep 3
shot 1-install-folder
keys() { xdotool windowfocus --sync "$desktop"; xdotool key --window "$desktop" "$@"; }
# The proposal is selected: typing replaces it. A folder needs a drive or a
# network path, so this one is refused; Enter closes the message.
xdotool windowfocus --sync "$desktop"
xdotool type --window "$desktop" --delay 50 'Parvek'
keys Return
sleep 3
shot 2-refused-folder
keys Return
sleep 1
# A folder typed over the whole entry; its trailing backslash is dropped.
keys End shift+Home
xdotool type --window "$desktop" --delay 50 'C:\Parvek Demo\'
sleep 1
shot 3-typed-folder
# Enter takes the default button, OK; the folder appears once OK has run.
for _ in 1 2 3 4 5; do
    keys Return
    for _ in $(seq 20); do [ -d "$install" ] && break; sleep 0.1; done
    [ -d "$install" ] && break
done
shots=0
for _ in $(seq 600); do
    [ -f "$install/handoff.txt" ] && break
    import -display "$DISPLAY" -window root "$demo/progress-$shots.png" && shots=$((shots + 1))
done
# The middle of the run.
if [ $shots -gt 0 ]; then
    mv "$demo/progress-$((shots / 2)).png" "$demo/4-progress.png"
    rm -f "$demo"/progress-*.png
    echo "screenshot: $demo/4-progress.png"
fi
kill $setup 2>/dev/null || true
wait $setup 2>/dev/null || true

echo
for _ in $(seq 50); do [ -f "$install/handoff.txt" ] && break; sleep 0.2; done
if [ -f "$install/handoff.txt" ]; then
    echo "Installed into C:\\Parvek Demo:"
    ls -l "$install"
    echo "The main program was started as:"
    sed -n 1p "$install/handoff.txt"
    echo "in the folder: $(sed -n 2p "$install/handoff.txt")"
else
    echo "The demo install did not complete."
    exit 1
fi

# Once more, beside a File Manager that lists Parvek's add-on and keeps it
# loaded: setup asks it to reload its extensions, waits two seconds for the
# add-on to be let go, then offers the log-off in dialog 200. Escape means
# Exit Setup, which ends setup; Restart Windows is not pressed here.
echo
ini="$prefix/drive_c/windows/winfile.ini"
WINERUN_DESKTOP=Parvek tools/winerun "$build/fmstandin.exe" 'C:\pvfmext.dll' &
desktop=$(timeout 60 xdotool search --sync --name '^Parvek - Wine desktop$' | head -n 1)
for _ in $(seq 100); do grep -qs '^Parvek=' "$ini" && break; sleep 0.1; done
WINERUN_DESKTOP=Parvek tools/winerun "$demo/dist/SETUP.EXE" &
sleep 6
shot 5-add-on-still-loaded
keys Escape
sleep 3
shot 6-after-exit-setup
if grep -qs '^Parvek=' "$ini"; then
    echo "File Manager's entry for the add-on is still listed in winfile.ini."
    exit 1
fi
echo "Beside a File Manager holding the add-on, setup removed the add-on's entry from"
echo "winfile.ini and offered the log-off; Exit Setup was pressed (screenshots 5 and 6)."
