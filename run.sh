#!/usr/bin/env bash
# Sets up, builds and starts the window program.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
ensure_packages "${TARVOLIN_PACKAGES[@]}" libcap2-bin

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target tarvolin
program=build/release/bin/tarvolin

# Capturing needs CAP_NET_RAW: the program gets the capability, so that the
# window itself does not have to run as root.
capability=cap_net_raw,cap_net_admin+eip
if [ "$(id -u)" -eq 0 ]; then
    setcap "$capability" "$program"
    if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR "$program" "$@"
    fi
elif ! getcap "$program" 2>/dev/null | grep -q cap_net_raw; then
    echo "To capture, give the program the capability (again after each build):" >&2
    echo "  sudo setcap $capability $(pwd)/$program" >&2
fi
exec "$program" "$@"
