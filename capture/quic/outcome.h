// QUIC connections by what became of them. Seen is every connection whose
// first Initial packet opened; each one seen is in at most one of decrypted,
// without keys and undecryptable while it is followed, and in exactly one
// once it ended. Decrypted: 1-RTT packets were opened and nothing was lost.
// Without keys: its secrets never appeared in the key log (or there is
// none), or it carried no 1-RTT packets. Undecryptable: its suite cannot be
// opened, its packets failed authentication under the key log's keys, its
// hello or the HTTP/3 above it broke the protocol, or stream bytes were lost
// for good, even after some were opened. Evicted counts those of them given
// up early, the oldest first, to bound memory or the connections followed.
#pragma once

#include "connection_outcome.h"

namespace quillnet::quic {

using Counts = tls::Counts;
using Outcome = tls::Outcome;
using tls::Classify;

}
