#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit and end-to-end tests, the same
# library tests under AddressSanitizer and UBSan, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
ensure_packages "${TARVOLIN_PACKAGES[@]}"

jobs=$(nproc)
fuzz_seconds=${TARVOLIN_FUZZ_SECONDS:-60}
tls_fuzz_seconds=${TARVOLIN_TLS_FUZZ_SECONDS:-30}
quic_fuzz_seconds=${TARVOLIN_QUIC_FUZZ_SECONDS:-30}

echo "== Sanitizer build (clang, ASan + UBSan)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTARVOLIN_SANITIZE=ON -DTARVOLIN_FUZZ=ON -DTARVOLIN_BENCH=OFF -DTARVOLIN_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/sanitize -j"$jobs" --target quillnet_tests quic_tests quillnet_live_tests fuzz_handle_frame fuzz_tls \
    fuzz_quic
echo "== Library tests under the sanitizers"
ctest --test-dir build/sanitize -R '^quillnet' --output-on-failure -j"$jobs"

echo "== Fuzzing HandleFrame for ${fuzz_seconds}s"
corpus=build/sanitize/fuzz-corpus
fuzz_log=build/sanitize/fuzz.log
mkdir -p "$corpus"
if ! build/sanitize/bin/fuzz_handle_frame -max_total_time="$fuzz_seconds" -print_final_stats=1 -max_len=65600 \
    "$corpus" fuzz/seeds >"$fuzz_log" 2>&1; then
    cat "$fuzz_log"
    echo "The fuzzer found a fault; the input that shows it is named above." >&2
    exit 1
fi
grep -E '^(Done|stat::new_units_added)' "$fuzz_log"

echo "== Fuzzing TLS records and HTTP/2 frames for ${tls_fuzz_seconds}s"
tls_corpus=build/sanitize/fuzz-tls-corpus
tls_fuzz_log=build/sanitize/fuzz_tls.log
mkdir -p "$tls_corpus"
if ! build/sanitize/bin/fuzz_tls -max_total_time="$tls_fuzz_seconds" -print_final_stats=1 \
    "$tls_corpus" fuzz/seeds_tls >"$tls_fuzz_log" 2>&1; then
    cat "$tls_fuzz_log"
    echo "The TLS fuzzer found a fault; the input that shows it is named above." >&2
    exit 1
fi
grep -E '^(Done|stat::new_units_added)' "$tls_fuzz_log"

echo "== Fuzzing QUIC packets, HTTP/3 frames and QPACK for ${quic_fuzz_seconds}s"
quic_corpus=build/sanitize/fuzz-quic-corpus
quic_fuzz_log=build/sanitize/fuzz_quic.log
mkdir -p "$quic_corpus"
if ! build/sanitize/bin/fuzz_quic -max_total_time="$quic_fuzz_seconds" -print_final_stats=1 \
    "$quic_corpus" fuzz/seeds_quic >"$quic_fuzz_log" 2>&1; then
    cat "$quic_fuzz_log"
    echo "The QUIC fuzzer found a fault; the input that shows it is named above." >&2
    exit 1
fi
grep -E '^(Done|stat::new_units_added)' "$quic_fuzz_log"

echo "== Build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOLIN_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"
