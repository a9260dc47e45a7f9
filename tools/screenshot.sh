#!/usr/bin/env bash
# Screenshots of the window program under Xvfb, used as a person would use it:
#   tools/screenshot.sh [FOLDER]      (default build/screenshots)
# A copy of the program reads a sample capture file named in its setting.ini;
# Start is pressed with xdotool, then each tab and dialog is photographed.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
ensure_packages "${TARVOLIN_PACKAGES[@]}" xvfb xdotool imagemagick

out=$(realpath -m "${1:-build/screenshots}")
mkdir -p "$out"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target tarvolin tarvolin_sample_capture tarvolin_dialog_gallery >/dev/null

work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
cleanup() {
    kill "${program:-}" "${server:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp build/release/bin/tarvolin build/release/bin/libquillnet.so build/release/bin/libtarvolin_theme.so "$work/"
build/release/bin/tarvolin_sample_capture "$work/sample.pcap"
printf '[Normal]\r\nAdapter=file://%s\r\nAdapterDescription=sample capture\r\n' "$work/sample.pcap" >"$work/setting.ini"
mkdir -m 700 "$work/runtime"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
export DISPLAY=$display XDG_RUNTIME_DIR=$work/runtime
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$work/tarvolin" >"$work/program.log" 2>&1 &
program=$!
window=$(xdotool search --sync --name '^Tarvolin 3\.44$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"

# Positions inside the window: the Start button under the menu bar, the "All" tab
# on the strip 45 pixels above the bottom.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "${3:-0.5}"; }

shoot() { import -window "$2" "$out/$1.png"; echo "wrote $out/$1.png"; }
dialog() { xdotool search --sync --name "^$1\$" | head -1; }

shoot main-idle "$window"
click 40 36 1.5
shoot main-media-files "$window"
click 130 $((HEIGHT - 35))
shoot main-all "$window"

# Options, and from it the adapter dialog listing this machine's devices.
click 128 36
options=$(dialog Options)
shoot options "$options"
xdotool mousemove --window "$options" 390 27 click 1
sleep 0.5
adapters=$(dialog 'Adapter Information')
shoot adapter "$adapters"
xdotool key Escape
sleep 0.3
xdotool key Escape
sleep 0.3

# Help, About from the menu bar.
click 46 9 0.3
xdotool key Down Down Return
about=$(dialog 'About Tarvolin')
shoot about "$about"
xdotool key Escape

# The dialogs the program opens only in situations a script cannot bring about
# (a newer version on the vendor's server, no adapter at all, limited-buffer rows).
build/release/bin/tarvolin_dialog_gallery "$out" 2>/dev/null
