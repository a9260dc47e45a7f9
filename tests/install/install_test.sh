#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that the installed programs
# find what they load by name: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/tarvolin bin/tarvolin-cli lib/tarvolin/libquillnet.so lib/tarvolin/libtarvolin_theme.so \
    share/applications/tarvolin.desktop share/icons/hicolor/scalable/apps/tarvolin.svg; do
    [ -e "$prefix/$file" ] || { echo "missing: $file" >&2; exit 1; }
done
# Run through the link in bin, the tool loads the capture library from beside its real file.
"$prefix/bin/tarvolin-cli" --list-interfaces | grep -q '^lo	' || { echo "installed tarvolin-cli cannot list devices" >&2; exit 1; }
# The window program starts from there too, and a second copy ends at once.
runtime=$prefix/runtime
mkdir -m 700 "$runtime"
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen "$prefix/bin/tarvolin" &
first=$!
for _ in $(seq 50); do [ -e "$runtime/Tarvolin_com.lock" ] && break; sleep 0.1; done
kill -0 "$first" || { echo "the installed program did not keep running" >&2; exit 1; }
kill "$first"
wait "$first" 2>/dev/null || true
echo "installed into $prefix: every file in place, the programs run"
