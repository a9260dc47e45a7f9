#!/usr/bin/env bash
# Sets up, builds every program and starts the window program.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh

build_dir=build/release
program=$build_dir/bin/tarvolin
# What `cmake --install` takes, and the stand-in download manager.
targets=(tarvolin tarvolin-cli quillnet tarvolin_theme marrowfetch-receiver)
# Capturing needs CAP_NET_RAW: the program gets the capability, so that the
# window itself does not have to run as root.
capability=cap_net_raw,cap_net_admin+eip

# Under sudo, only the packages and the capability need root; the build and the
# window belong to the user who asked, so that a later run without sudo works.
user=
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    user=$SUDO_USER
fi

as_user() {
    if [ -n "$user" ]; then
        sudo -u "$user" -- "$@"
    else
        "$@"
    fi
}

warn_if_window_runs_as_root() {
    [ "$(id -u)" -eq 0 ] && [ -z "$user" ] || return 0
    echo "Warning: run as root without SUDO_USER, so the window will run as root. Not advised:" >&2
    echo "every frame it captures is parsed with all privileges, and what it writes (setting.ini," >&2
    echo "saved lists, the build folder) will belong to root. From your own account, run ./run.sh," >&2
    echo "or sudo ./run.sh to install packages and set the capability." >&2
}

# Who else owns part of the build folder, if anyone: an earlier run as root
# leaves files the user cannot write to.
stray_owner() {
    local owner=$1
    local stray
    stray=$(find build -maxdepth 0 ! -user "$owner" -printf '%u' 2>/dev/null || true)
    [ -n "$stray" ] || stray=$(find "$build_dir" ! -user "$owner" -printf '%u' -quit 2>/dev/null || true)
    echo "$stray"
}

# Without root, such files stop the build with CMake's permission errors; say why first.
refuse_foreign_build_folder() {
    [ "$(id -u)" -ne 0 ] || return 0
    local stray
    stray=$(stray_owner "$(id -un)")
    [ -n "$stray" ] || return 0
    echo "Parts of the build folder belong to $stray (from an earlier run as root), so the build" >&2
    echo "cannot write there. Run sudo ./run.sh once, which gives them back, or:" >&2
    echo "  sudo chown -R $(id -un): $(pwd)/build" >&2
    exit 1
}

# Under sudo the build runs as the user, so the checkout must be theirs to write.
give_build_folder_to_user() {
    [ -n "$user" ] || return 0
    if ! as_user test -w .; then
        echo "$user cannot write to $(pwd), so the build cannot run as $user. Make it theirs:" >&2
        echo "  sudo chown -R $user: $(pwd)" >&2
        exit 1
    fi
    local stray
    stray=$(stray_owner "$user")
    [ -n "$stray" ] || return 0
    echo "Parts of the build folder belong to $stray (from an earlier run as root); giving them back to $user." >&2
    chown "$user:" build
    if [ -e "$build_dir" ]; then
        chown -R "$user:" "$build_dir"
    fi
}

ensure_packages "${TARVOLIN_PACKAGES[@]}" libcap2-bin
warn_if_window_runs_as_root
refuse_foreign_build_folder
give_build_folder_to_user

as_user cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
as_user cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"

if [ "$(id -u)" -eq 0 ]; then
    setcap "$capability" "$program"
    if [ -n "$user" ]; then
        exec sudo -u "$user" --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR "$program" "$@"
    fi
elif ! getcap "$program" 2>/dev/null | grep -q cap_net_raw; then
    echo "To capture, give the program the capability (again after each build):" >&2
    echo "  sudo setcap $capability $(pwd)/$program" >&2
fi
exec "$program" "$@"
