#!/usr/bin/env python3
"""Writes the fuzzer's starting inputs: one file per kind of traffic the
frame handler recognises, each a sequence of length-prefixed frames."""
import pathlib
import struct

SEEDS = pathlib.Path(__file__).parent / "seeds"


def frame(src, dst, sport, dport, payload, timestamps=True):
    options = bytes([1, 1, 8, 10, 0, 0, 0x10, 0, 0, 0, 0x20, 0]) if timestamps else b""
    tcp_len = 20 + len(options)
    tcp = struct.pack("!HHIIBBHHH", sport, dport, 1, 1, (tcp_len // 4) << 4, 0x18, 65535, 0, 0) + options
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + tcp_len + len(payload), 1, 0x4000, 64, 6, 0,
                     bytes(src), bytes(dst))
    return b"\0" * 12 + b"\x08\x00" + ip + tcp + payload


def sequence(*frames):
    return b"".join(struct.pack("<H", len(f)) + f for f in frames)


def amf_string(text):
    return b"\x02" + struct.pack("!H", len(text)) + text


def chunked(stream, body):
    header = bytes([stream, 0, 0, 0]) + struct.pack("!I", len(body))[1:] + bytes([20, 0, 0, 0, 0])
    chunks = [body[i:i + 128] for i in range(0, len(body), 128)]
    return header + bytes([0xC0 | stream]).join(chunks)


client, server = (192, 168, 1, 20), (10, 0, 0, 5)
number = b"\x00\x3f\xf0" + b"\0" * 6
connect = amf_string(b"connect") + number + b"\x03"
for name, value in [(b"app", b"vod"), (b"swfUrl", b"http://e/p.swf"), (b"tcUrl", b"rtmp://e/vod"),
                    (b"pageUrl", b"http://e/" + b"p" * 120)]:
    connect += struct.pack("!H", len(name)) + name + amf_string(value)
connect += b"\x00\x00\x09"
play = amf_string(b"play") + number + b"\x05" + amf_string(b"mp4:" + b"s" * 150)
mms = bytearray(b"\x01" * 56)
mms[12:16] = b"MMS "
mms[36:40] = b"\x05\x00\x03\x00"
mms += "clip.wmv".encode("utf-16-le") + b"\0\0"

seeds = {
    "http": sequence(frame(client, server, 51000, 80, b"GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n"),
                     frame(server, client, 80, 51000, b"HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n")),
    "icy": sequence(frame(client, server, 51000, 8000, b"GET /radio HTTP/1.0\r\n\r\n", False),
                    frame(server, client, 8000, 51000, b"ICY 200 OK\r\n\r\n", False)),
    "rtmp": sequence(frame(client, server, 51000, 1935, chunked(3, connect)),
                     frame(client, server, 51000, 1935, chunked(8, play))),
    "rtsp": sequence(frame(client, server, 51000, 554, b"DESCRIBE rtsp://cam/a RTSP/1.0\r\n\r\n")),
    "mms": sequence(frame(client, server, 51000, 1755, bytes(mms))),
}
SEEDS.mkdir(exist_ok=True)
for name, data in seeds.items():
    (SEEDS / name).write_bytes(data)
