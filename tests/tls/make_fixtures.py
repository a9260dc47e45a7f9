#!/usr/bin/python3
"""Writes the TLS fixtures of the tests in tests/tls/data: what a real client
and server (OpenSSL through Python's ssl module, over memory buffers) put on
the wire in each direction, the key log the client wrote, and the application
bytes each side sent.

Run once after changing a scenario; the outputs are committed, so the tests
need neither this script nor a network. Needs Debian's python3-hpack and the
openssl command line tool.

A transcript (.tls) is a sequence of chunks: one byte 'C' (client to server)
or 'S' (server to client), a 32-bit big-endian length, then that many bytes
exactly as one side flushed them.
"""
import ctypes
import os
import ssl
import struct
import subprocess
import sys
import tempfile

import hpack

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
FUZZ_SEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz", "seeds_tls")
HOST = "media.example"

# The ssl module offers neither TLS 1.3 suite choice nor KeyUpdate, so both go
# to the same libssl through ctypes: PySSLContext and PySSLSocket keep their
# SSL_CTX* and SSL* right after the object header and, for the socket, a
# weak reference.
libssl = ctypes.CDLL("libssl.so.3")
libssl.SSL_CTX_set_ciphersuites.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
libssl.SSL_key_update.argtypes = [ctypes.c_void_p, ctypes.c_int]
SSL_KEY_UPDATE_REQUESTED = 1


def ssl_ctx_pointer(context):
    return ctypes.c_void_p.from_address(id(context) + 16).value


def ssl_pointer(ssl_object):
    return ctypes.c_void_p.from_address(id(ssl_object._sslobj) + 24).value


def http1_request(path):
    return f"GET {path} HTTP/1.1\r\nHost: {HOST}\r\nUser-Agent: fixture\r\nAccept: */*\r\n\r\n".encode()


def http1_response(content_type, body_size):
    body = bytes((i * 7) & 0xFF for i in range(body_size))
    head = f"HTTP/1.1 200 OK\r\nContent-Type: {content_type}\r\nContent-Length: {body_size}\r\n\r\n"
    return head.encode() + body


def h2_frame(frame_type, flags, stream, payload):
    return struct.pack(">I", len(payload))[1:] + bytes([frame_type, flags]) + struct.pack(">I", stream) + payload


H2_DATA, H2_HEADERS, H2_SETTINGS, H2_CONTINUATION = 0, 1, 4, 9
END_STREAM, ACK, END_HEADERS, PADDED, PRIORITY = 0x1, 0x1, 0x4, 0x8, 0x20


def h2_exchange():
    """Client bytes, server bytes: two GETs (one padded with a priority, one
    split over a CONTINUATION, answered after an informational 103) and a
    POST whose answer must not be reported."""
    client_encoder, server_encoder = hpack.Encoder(), hpack.Encoder()

    def request(method, path):
        return client_encoder.encode([(":method", method), (":scheme", "https"), (":authority", HOST),
                                      (":path", path), ("user-agent", "fixture")])

    padding = 5
    first = request("GET", "/live/index.m3u8")
    padded = bytes([padding]) + struct.pack(">IB", 0, 15) + first + bytes(padding)
    second = request("GET", "/video/seg1.mp4")
    post = request("POST", "/api/log")
    client = (b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"
              + h2_frame(H2_SETTINGS, 0, 0, struct.pack(">HI", 2, 0))
              + h2_frame(H2_HEADERS, END_HEADERS | END_STREAM | PADDED | PRIORITY, 1, padded)
              + h2_frame(H2_HEADERS, END_STREAM, 3, second[:7])
              + h2_frame(H2_CONTINUATION, END_HEADERS, 3, second[7:])
              + h2_frame(H2_HEADERS, END_HEADERS, 5, post)
              + h2_frame(H2_DATA, END_STREAM, 5, b"level=info")
              + h2_frame(H2_SETTINGS, ACK, 0, b""))

    def response(status, content_type=None):
        fields = [(":status", status)] + ([("content-type", content_type)] if content_type else [])
        return server_encoder.encode(fields)

    server = (h2_frame(H2_SETTINGS, 0, 0, struct.pack(">HI", 3, 100))
              + h2_frame(H2_SETTINGS, ACK, 0, b"")
              + h2_frame(H2_HEADERS, END_HEADERS, 1, response("200", "application/vnd.apple.mpegurl"))
              + h2_frame(H2_DATA, END_STREAM, 1, b"#EXTM3U\n#EXT-X-VERSION:3\n")
              + h2_frame(H2_HEADERS, END_HEADERS, 3, response("103"))
              + h2_frame(H2_HEADERS, END_HEADERS, 3, response("200", "video/mp4"))
              + h2_frame(H2_DATA, END_STREAM, 3, bytes(3000))
              + h2_frame(H2_HEADERS, END_HEADERS | END_STREAM, 5, response("204")))
    return client, server


class Pair:
    """A client and a server joined through memory buffers, recording what
    each flushes."""

    def __init__(self, scenario, keylog, certificate, key):
        client_context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        client_context.check_hostname = False
        client_context.verify_mode = ssl.CERT_NONE
        client_context.keylog_filename = keylog
        server_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server_context.load_cert_chain(certificate, key)
        version = scenario["version"]
        for context in (client_context, server_context):
            context.minimum_version = context.maximum_version = version
            if scenario.get("alpn"):
                context.set_alpn_protocols(scenario["alpn"])
        if version == ssl.TLSVersion.TLSv1_2:
            server_context.set_ciphers(scenario["cipher"])
        else:
            libssl.SSL_CTX_set_ciphersuites(ssl_ctx_pointer(server_context), scenario["cipher"].encode())
        self.to_client, self.from_client = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.to_server, self.from_server = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.client = client_context.wrap_bio(self.to_client, self.from_client, server_hostname=HOST)
        self.server = server_context.wrap_bio(self.to_server, self.from_server, server_side=True)
        self.transcript = []

    def flush(self):
        moved = True
        while moved:
            moved = False
            for label, source, sink in (("C", self.from_client, self.to_server), ("S", self.from_server, self.to_client)):
                data = source.read()
                if data:
                    self.transcript.append((label, data))
                    sink.write(data)
                    moved = True

    def handshake(self):
        done = set()
        while len(done) < 2:
            for name, side in (("client", self.client), ("server", self.server)):
                if name in done:
                    continue
                try:
                    side.do_handshake()
                    done.add(name)
                except ssl.SSLWantReadError:
                    pass
            self.flush()

    def send(self, side, data):
        side.write(data)
        self.flush()

    def receive(self, side, size):
        received = b""
        while len(received) < size:
            try:
                received += side.read(size - len(received))
            except ssl.SSLWantReadError:
                self.flush()
        return received


def write_fixture(name, pair, client_bytes, server_bytes):
    with open(os.path.join(DATA, name + ".tls"), "wb") as out:
        for label, data in pair.transcript:
            out.write(label.encode() + struct.pack(">I", len(data)) + data)
    with open(os.path.join(DATA, name + ".client"), "wb") as out:
        out.write(client_bytes)
    with open(os.path.join(DATA, name + ".server"), "wb") as out:
        out.write(server_bytes)


SCENARIOS = {
    "tls12_aes128gcm_http1": dict(version=ssl.TLSVersion.TLSv1_2, cipher="ECDHE-RSA-AES128-GCM-SHA256",
                                  alpn=["http/1.1"], exchange="http1"),
    "tls12_aes256gcm_http1": dict(version=ssl.TLSVersion.TLSv1_2, cipher="ECDHE-RSA-AES256-GCM-SHA384",
                                  exchange="http1"),
    "tls12_chacha20_h2": dict(version=ssl.TLSVersion.TLSv1_2, cipher="ECDHE-RSA-CHACHA20-POLY1305",
                              alpn=["h2", "http/1.1"], exchange="h2"),
    "tls12_cbc_http1": dict(version=ssl.TLSVersion.TLSv1_2, cipher="ECDHE-RSA-AES128-SHA256",
                            alpn=["http/1.1"], exchange="http1"),
    "tls13_aes128gcm_h2": dict(version=ssl.TLSVersion.TLSv1_3, cipher="TLS_AES_128_GCM_SHA256",
                               alpn=["h2", "http/1.1"], exchange="h2"),
    "tls13_aes256gcm_keyupdate": dict(version=ssl.TLSVersion.TLSv1_3, cipher="TLS_AES_256_GCM_SHA384",
                                      alpn=["http/1.1"], exchange="keyupdate"),
    "tls13_chacha20_http1": dict(version=ssl.TLSVersion.TLSv1_3, cipher="TLS_CHACHA20_POLY1305_SHA256",
                                 exchange="http1"),
}


def run(name, scenario, certificate, key):
    keylog = os.path.join(DATA, name + ".keylog")
    if os.path.exists(keylog):
        os.remove(keylog)
    pair = Pair(scenario, keylog, certificate, key)
    pair.handshake()
    if scenario.get("alpn"):
        assert pair.client.selected_alpn_protocol() == scenario["alpn"][0], name
    if scenario["exchange"] == "h2":
        client_bytes, server_bytes = h2_exchange()
        pair.send(pair.client, client_bytes)
        pair.receive(pair.server, len(client_bytes))
        pair.send(pair.server, server_bytes)
        pair.receive(pair.client, len(server_bytes))
    elif scenario["exchange"] == "keyupdate":
        # The client asks for a new key in both directions between its two requests.
        first, second = http1_request("/media/first.flv"), http1_request("/media/second.flv")
        answer_first, answer_second = http1_response("video/x-flv", 3000), http1_response("video/x-flv", 2000)
        pair.send(pair.client, first)
        pair.receive(pair.server, len(first))
        pair.send(pair.server, answer_first)
        pair.receive(pair.client, len(answer_first))
        assert libssl.SSL_key_update(ssl_pointer(pair.client), SSL_KEY_UPDATE_REQUESTED) == 1
        pair.send(pair.client, second)
        pair.receive(pair.server, len(second))
        pair.send(pair.server, answer_second)
        pair.receive(pair.client, len(answer_second))
        client_bytes, server_bytes = first + second, answer_first + answer_second
    else:
        client_bytes = http1_request("/media/clip.flv")
        server_bytes = http1_response("video/x-flv", 6000)
        pair.send(pair.client, client_bytes)
        pair.receive(pair.server, len(client_bytes))
        pair.send(pair.server, server_bytes)
        pair.receive(pair.client, len(server_bytes))
    write_fixture(name, pair, client_bytes, server_bytes)
    print(name, pair.client.version(), pair.client.cipher()[0], pair.client.selected_alpn_protocol())


# RFC 8448 section 3, the simple 1-RTT handshake: the records in the order
# they cross the wire, and the traffic secrets the trace lists.
RFC8448_RANDOM = "cb34ecb1e78163ba1c38c6dacb196a6dffa21a8d9912ec18a2ef6283024dece7"
RFC8448_SECRETS = [
    ("CLIENT_HANDSHAKE_TRAFFIC_SECRET", "b3eddb126e067f35a780b3abf45e2d8f3b1a950738f52e9600746a0e27a55a21"),
    ("SERVER_HANDSHAKE_TRAFFIC_SECRET", "b67b7d690cc16c4e75e54213cb2d37b4e9c912bcded9105d42befd59d391ad38"),
    ("CLIENT_TRAFFIC_SECRET_0", "9e40646ce79a7f9dc05af8889bce6552875afa0b06df0087f792ebb7c17504a5"),
    ("SERVER_TRAFFIC_SECRET_0", "a11af9f05531f856ad47116b45a950328204b4f44bfb6b3a4b4f1f3fcb631643"),
]
RFC8448_RECORDS = [
    ("C", "16030100c4010000c00303cb34ecb1e78163ba1c38c6dacb196a6dffa21a8d9912ec18a2ef6283024dece700000613011303"
          "1302010000910000000b0009000006736572766572ff01000100000a00140012001d00170018001901000101010201030104"
          "00230000003300260024001d002099381de560e4bd43d23d8e435a7dbafeb3c06e51c13cae4d5413691e529aaf2c002b0003"
          "020304000d0020001e040305030603020308040805080604010501060102010402050206020202002d00020101001c00024001"),
    ("S", "160303005a020000560303a6af06a4121860dc5e6e60249cd34c95930c8ac5cb1434dac155772ed3e2692800130100002e"
          "00330024001d0020c9828876112095fe66762bdbf7c672e156d6cc253b833df1dd69b1b04e751f0f002b00020304"),
    ("S", "17030302a2d1ff334a56f5bff6594a07cc87b580233f500f45e489e7f33af35edf7869fcf40aa40aa2b8ea73f848a7ca07"
          "612ef9f945cb960b4068905123ea78b111b429ba9191cd05d2a389280f526134aadc7fc78c4b729df828b5ecf7b13bd9aefb"
          "0e57f271585b8ea9bb355c7c79020716cfb9b1183ef3ab20e37d57a6b9d7477609aee6e122a4cf51427325250c7d0e509289"
          "444c9b3a648f1d71035d2ed65b0e3cdd0cbae8bf2d0b227812cbb360987255cc744110c453baa4fcd610928d809810e4b7ed"
          "1a8fd991f06aa6248204797e36a6a73b70a2559c09ead686945ba246ab66e5edd8044b4c6de3fcf2a89441ac66272fd8fb33"
          "0ef8190579b3684596c960bd596eea520a56a8d650f563aad27409960dca63d3e688611ea5e22f4415cf9538d51a200c2703"
          "4272968a264ed6540c84838d89f72c24461aad6d26f59ecaba9acbbb317b66d902f4f292a36ac1b639c637ce343117b65962"
          "2245317b49eeda0c6258f100d7d961ffb138647e92ea330faeea6dfa31c7a84dc3bd7e1b7a6c7178af36879018e3f252107f"
          "243d243dc7339d5684c8b0378bf30244da8c87c843f5e56eb4c5e8280a2b48052cf93b16499a66db7cca71e4599426f7d461"
          "e66f99882bd89fc50800becca62d6c74116dbd2972fda1fa80f85df881edbe5a37668936b335583b599186dc5c6918a396fa"
          "48a181d6b6fa4f9d62d513afbb992f2b992f67f8afe67f76913fa388cb5630c8ca01e0c65d11c66a1e2ac4c85977b7c7a699"
          "9bbf10dc35ae69f5515614636c0b9b68c19ed2e31c0b3b66763038ebba42f3b38edc0399f3a9f23faa63978c317fc9fa66a7"
          "3f60f0504de93b5b845e275592c12335ee340bbc4fddd502784016e4b3be7ef04dda49f4b440a30cb5d2af939828fd4ae379"
          "4e44f94df5a631ede42c1719bfdabf0253fe5175be898e750edc53370d2b"),
    ("C", "170303003575ec4dc238cce60b298044a71e219c56cc77b0517fe9b93c7a4bfc44d87f38f80338ac98fc46deb384bd1caeac"
          "ab6867d726c40546"),
    ("S", "17030300de3a6b8f90414a97d6959c3487680de5134a2b240e6cffac116e95d41d6af8f6b580dcf3d11d63c758db289a01"
          "5940252f55713e061dc13e078891a38efbcf5753ad8ef170ad3c7353d16d9da773b9ca7f2b9fa1b6c0d4a3d03f75e09c30ba"
          "1e62972ac46f75f7b981be63439b2999ce13064615139891d5e4c5b406f16e3fc181a77ca475840025db2f0a77f81b5ab05b"
          "94c01346755f69232c86519d86cbeeac87aac347d143f9605d64f650db4d023e70e952ca49fe5137121c74bc2697687e2487"
          "46d6df353005f3bce18696129c8153556b3b6c6779b37bf15985684f"),
    ("C", "1703030043a23f7054b62c94d0affafe8228ba55cbefacea42f914aa66bcab3f2b9819a8a5b46b395bd54a9a20441e2b6297"
          "4e1f5a6292a2977014bd1e3deae63aeebb21694915e4"),
    ("S", "17030300432e937e11ef4ac740e538ad36005fc4a46932fc3225d05f82aa1b36e30efaf97d90e6dffc602dcb501a59a8fc"
          "c49c4bf2e5f0a21c0047c2abf332540dd032e167c2955d"),
    ("C", "1703030013c9872760655666b74d7ff1153efd6db6d0b0e3"),
    ("S", "1703030013b58fd67166ebf599d24720cfbe7efa7a8864a9"),
]
RFC8448_APPLICATION_DATA = bytes(range(50))


def write_rfc8448():
    with open(os.path.join(DATA, "rfc8448_simple.tls"), "wb") as out:
        for label, text in RFC8448_RECORDS:
            data = bytes.fromhex(text)
            out.write(label.encode() + struct.pack(">I", len(data)) + data)
    with open(os.path.join(DATA, "rfc8448_simple.keylog"), "w") as out:
        for label, secret in RFC8448_SECRETS:
            out.write(f"{label} {RFC8448_RANDOM} {secret}\n")
    for side in ("client", "server"):
        with open(os.path.join(DATA, "rfc8448_simple." + side), "wb") as out:
            out.write(RFC8448_APPLICATION_DATA)


def write_fuzz_seeds():
    """Starting inputs for fuzz/fuzz_tls.cpp (its header explains the layout):
    for each version, suite and ALPN it chooses, a request and an answer
    sealed as application data, and for TLS 1.3 a KeyUpdate between them."""
    os.makedirs(FUZZ_SEEDS, exist_ok=True)
    h2_client, h2_server = h2_exchange()
    http1_client, http1_server = http1_request("/media/clip.flv"), http1_response("video/x-flv", 300)
    choices = [(0, "h2", True), (1, "http1", True), (2, "plain", True), (3, "h2", False), (4, "http1", False),
               (5, "plain", False)]
    for choice, kind, tls13 in choices:
        client, server = (h2_client, h2_server) if kind == "h2" else (http1_client, http1_server)

        def step(operation, data):
            return bytes([operation]) + struct.pack("<H", len(data)) + data

        seed = bytes([choice]) + step(0x03, client)
        if tls13:
            seed += step(0x05, bytes([24, 0, 0, 1, 1]))  # KeyUpdate, update_requested
        seed += step(0x02, server)
        with open(os.path.join(FUZZ_SEEDS, f"{choice}_{kind}"), "wb") as out:
            out.write(seed)


def main():
    os.makedirs(DATA, exist_ok=True)
    write_rfc8448()
    write_fuzz_seeds()
    with tempfile.TemporaryDirectory() as folder:
        certificate, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=" + HOST, "-keyout", key, "-out", certificate],
                       check=True, capture_output=True)
        for name in sys.argv[1:] or SCENARIOS:
            run(name, SCENARIOS[name], certificate, key)


if __name__ == "__main__":
    main()
