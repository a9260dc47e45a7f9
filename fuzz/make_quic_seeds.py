#!/usr/bin/env python3
"""Writes fuzz_quic's starting inputs: a choice byte (version and suite),
then steps, each an operation byte, a 16-bit little-endian length and the
bytes. The target seals what the steps give, so the seeds hold plaintext:
QUIC frames, and HTTP/3 stream data with its stream number first."""
import pathlib
import struct

SEEDS = pathlib.Path(__file__).parent / "seeds_quic"

CLIENT, SERVER = 0x01, 0x00
RAW, ONE_RTT, HANDSHAKE, STREAM = 0 << 1, 1 << 1, 2 << 1, 3 << 1
FIN, KEY_UPDATE, IDLE = 0x08, 0x10, 0x20


def varint(value):
    if value < 0x40:
        return bytes([value])
    if value < 0x4000:
        return struct.pack("!H", value | 0x4000)
    return struct.pack("!I", value | 0x80000000)


def prefixed(first, bits, value):
    """An integer with a `bits`-bit prefix (RFC 7541 section 5.1)."""
    limit = (1 << bits) - 1
    if value < limit:
        return bytes([first | value])
    out, value = bytearray([first | limit]), value - limit
    while value >= 0x80:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out + bytes([value]))


def h3_frame(kind, payload):
    return varint(kind) + varint(len(payload)) + payload


def control(capacity=0):
    return b"\x00" + h3_frame(0x04, varint(0x01) + varint(capacity) + varint(0x07) + varint(16))


def literal_block(fields):
    block = b"\x00\x00"
    for name, value in fields:
        block += prefixed(0x20, 3, len(name)) + name + prefixed(0, 7, len(value)) + value
    return h3_frame(0x01, block)


def step(operation, data):
    return bytes([operation]) + struct.pack("<H", len(data)) + data


def stream(sender, number, data, fin=False):
    return step(sender | STREAM | (FIN if fin else 0), bytes([number]) + data)


def seed(choice, *steps):
    return bytes([choice]) + b"".join(steps)


request = literal_block([(b":method", b"GET"), (b":scheme", b"https"), (b":authority", b"media.example"),
                         (b":path", b"/v/clip.mp4"), (b"user-agent", b"Quillfox/1.0"), (b"cookie", b"a=1")])
response = literal_block([(b":status", b"200"), (b"content-type", b"video/mp4")])
body = varint(0x00) + varint(8) + b"mediamed"

# The client's encoder fills the server's table, and its request refers to it.
encoder = (b"\x02" + prefixed(0x20, 5, 4096) + prefixed(0x40, 5, 10) + b":authority" + prefixed(0, 7, 13) +
           b"media.example" + prefixed(0x40, 5, 5) + b":path" + prefixed(0, 7, 6) + b"/a.mp4")
dynamic_request = h3_frame(0x01, bytes([0x03, 0x00, 0xD1, 0xD7, 0x81, 0x80]))

stream_frame = b"\x0f" + varint(0) + varint(0) + varint(len(request)) + request
reset = b"\x04" + varint(4) + varint(0x10C) + varint(3)
new_id = b"\x18" + varint(1) + varint(0) + bytes([8]) + bytes(range(0xA1, 0xA9)) + b"\xab" * 16
close = b"\x1d" + varint(0x100) + varint(4) + b"done"

exchange = (stream(SERVER, 3, control()), stream(CLIENT, 2, control()), stream(CLIENT, 0, request, True),
            stream(SERVER, 0, response), stream(SERVER, 0, body, True))

seeds = {
    "get_v1_aes128": seed(0, *exchange),
    "get_v1_aes256": seed(1, *exchange),
    "get_v1_chacha": seed(2, *exchange),
    "get_v2": seed(3, *exchange),
    "qpack_dynamic": seed(0, stream(SERVER, 3, control(4096)), stream(CLIENT, 2, control(4096)),
                          stream(CLIENT, 6, encoder), stream(CLIENT, 0, dynamic_request, True),
                          stream(SERVER, 0, response + body, True)),
    "frames": seed(0, step(SERVER | HANDSHAKE, b"\x06" + varint(0) + varint(6) + bytes([8, 0, 0, 2, 0, 0])),
                   step(CLIENT | ONE_RTT, stream_frame), step(SERVER | ONE_RTT, b"\x1e" + new_id),
                   step(SERVER | ONE_RTT | KEY_UPDATE, reset), step(SERVER | ONE_RTT, close)),
    "raw_and_idle": seed(0, stream(CLIENT, 0, request), step(SERVER | RAW, b"\x40" + bytes(40)),
                         step(CLIENT | STREAM | IDLE, bytes([4]) + request)),
}
SEEDS.mkdir(exist_ok=True)
for name, data in seeds.items():
    (SEEDS / name).write_bytes(data)
