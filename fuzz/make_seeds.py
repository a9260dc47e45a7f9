#!/usr/bin/env python3
"""Writes the fuzzer's starting inputs: one file per kind of traffic the
frame handler recognises, each a link-type byte (0 Ethernet, 1 Linux cooked,
2 Linux cooked v2) and a sequence of length-prefixed frames."""
import pathlib
import struct

SEEDS = pathlib.Path(__file__).parent / "seeds"


def frame(src, dst, sport, dport, payload, timestamps=True, seq=1, ack=1):
    options = bytes([1, 1, 8, 10, 0, 0, 0x10, 0, 0, 0, 0x20, 0]) if timestamps else b""
    tcp_len = 20 + len(options)
    tcp = struct.pack("!HHIIBBHHH", sport, dport, seq, ack, (tcp_len // 4) << 4, 0x18, 65535, 0, 0) + options
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + tcp_len + len(payload), 1, 0x4000, 64, 6, 0,
                     bytes(src), bytes(dst))
    return b"\0" * 12 + b"\x08\x00" + ip + tcp + payload


def frame6(src, dst, sport, dport, payload):
    tcp = struct.pack("!HHIIBBHHH", sport, dport, 1, 1, 5 << 4, 0x18, 65535, 0, 0)
    # A hop-by-hop header with a PadN option, then TCP.
    hop = bytes([6, 0, 1, 4, 0, 0, 0, 0])
    ip = struct.pack("!IHBB16s16s", 6 << 28, len(hop) + len(tcp) + len(payload), 0, 64, bytes(src), bytes(dst))
    return b"\0" * 12 + b"\x86\xdd" + ip + hop + tcp + payload


def udp(src, dst, sport, dport, payload):
    header = struct.pack("!HHHH", sport, dport, 8 + len(payload), 0)
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 28 + len(payload), 1, 0x4000, 64, 17, 0, bytes(src), bytes(dst))
    return b"\0" * 12 + b"\x08\x00" + ip + header + payload


def udp6(src, dst, sport, dport, payload):
    header = struct.pack("!HHHH", sport, dport, 8 + len(payload), 0)
    # A destination options header with a PadN option, then UDP.
    options = bytes([17, 0, 1, 4, 0, 0, 0, 0])
    ip = struct.pack("!IHBB16s16s", 6 << 28, len(options) + len(header) + len(payload), 60, 64, bytes(src), bytes(dst))
    return b"\0" * 12 + b"\x86\xdd" + ip + options + header + payload


def tagged(ethernet_frame):
    return ethernet_frame[:12] + b"\x88\xa8\x00\x0a\x81\x00\x00\x64" + ethernet_frame[12:]


def cooked(ethernet_frame):
    return b"\x00\x04\x00\x01\x00\x06" + b"\x02\0\0\0\0\x01\0\0" + ethernet_frame[12:]


def cooked2(ethernet_frame):
    return ethernet_frame[12:14] + b"\0\0\0\0\0\x01\x00\x01\x04\x06\x02\0\0\0\0\x01\0\0" + ethernet_frame[14:]


def sequence(*frames, link=0):
    return bytes([link]) + b"".join(struct.pack("<H", len(f)) + f for f in frames)


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

get = b"GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n"
answer = b"HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n"
client6 = bytes.fromhex("20010db8000000000000000000000020")
server6 = bytes.fromhex("20010db8000000000000000000000007")

initial = (b"\xc3\x00\x00\x00\x01\x08" + bytes(range(1, 9)) + b"\x00\x00\x44\xd0" + b"\x00\x01").ljust(1200, b"\x00")
dns = b"\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x07example\x03com\x00\x00\x01\x00\x01"

line, rest = b"GET /tracking/p.gif HTTP/1.1\r\n", b"Host: ads.example\r\n\r\n"
status, headers = b"HTTP/1.1 200 OK\r\n", b"Content-Type: image/gif\r\n\r\n"

seeds = {
    "split": sequence(frame(client, server, 51000, 80, line, seq=100, ack=500),
                      frame(client, server, 51000, 80, rest, seq=100 + len(line), ack=500),
                      frame(server, client, 80, 51000, status, seq=500, ack=100 + len(line) + len(rest)),
                      frame(server, client, 80, 51000, headers, seq=500 + len(status),
                            ack=100 + len(line) + len(rest))),
    "ipv6": sequence(frame6(client6, server6, 52000, 80, get), frame6(server6, client6, 80, 52000, answer)),
    "vlan": sequence(tagged(frame(client, server, 51000, 80, get)), tagged(frame(server, client, 80, 51000, answer))),
    "cooked": sequence(cooked(frame(client, server, 51000, 80, get)),
                       cooked(frame6(server6, client6, 80, 52000, answer)), link=1),
    "cooked2": sequence(cooked2(frame(client, server, 51000, 80, get)),
                        cooked2(frame(server, client, 80, 51000, answer)), link=2),
    "http": sequence(frame(client, server, 51000, 80, b"GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n"),
                     frame(server, client, 80, 51000, b"HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n")),
    "icy": sequence(frame(client, server, 51000, 8000, b"GET /radio HTTP/1.0\r\n\r\n", False),
                    frame(server, client, 8000, 51000, b"ICY 200 OK\r\n\r\n", False)),
    "rtmp": sequence(frame(client, server, 51000, 1935, chunked(3, connect)),
                     frame(client, server, 51000, 1935, chunked(8, play))),
    "rtsp": sequence(frame(client, server, 51000, 554, b"DESCRIBE rtsp://cam/a RTSP/1.0\r\n\r\n")),
    "mms": sequence(frame(client, server, 51000, 1755, bytes(mms))),
    # The start of a client's first QUIC Initial packet, padded as clients pad it; and a DNS query.
    "udp": sequence(udp(client, server, 51000, 443, initial), tagged(udp(client, (192, 168, 1, 1), 51001, 53, dns)),
                    udp6(client6, server6, 52000, 443, initial)),
}
SEEDS.mkdir(exist_ok=True)
for name, data in seeds.items():
    (SEEDS / name).write_bytes(data)
