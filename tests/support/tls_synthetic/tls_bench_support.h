// Throughput of HTTPS decryption, for quillnet_bench: TLS 1.3 connections of
// the three AEAD suites whose segments each carry one 1400-byte record,
// through TlsTracker to an HTTP/1.1 sink that only counts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillnet::tls {

struct DecryptionBenchResult {
    uint64_t frames = 0;
    uint64_t bytes = 0;     // TCP payload bytes handled
    uint64_t plaintext = 0; // bytes that reached the sink
    double seconds = 0;

    double megabytesPerSecond() const { return seconds > 0 ? bytes / seconds / 1e6 : 0; }
    double framesPerSecond() const { return seconds > 0 ? frames / seconds : 0; }
};

// Handles at least `frames` frames; false-free: an empty result when the
// temporary key log cannot be written.
DecryptionBenchResult RunDecryptionBench(size_t frames);

}
