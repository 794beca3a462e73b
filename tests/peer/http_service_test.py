"""The HTTP service on real loopback sockets, driven the way a player drives it."""

import socket
import subprocess
import unittest

import digest
import ravix_keys
from peer_test_support import Peer

USERNAME = "001A2B3C4D5E"
PASSWORD = "TLX00042" + bytes(range(16)).hex().upper()


def authorization(username, password, nonce, nc, uri, cnonce="0f1e2d3c4b5a69788796a5b4c3d2e1f0",
                  realm="Ravix"):
    response = digest.response(username, realm, password, nonce, nc, cnonce or "", "auth", "GET", uri)
    params = ['username="%s"' % username, 'realm="%s"' % realm, 'uri="%s"' % uri, "algorithm=MD5",
              'nonce="%s"' % nonce]
    if cnonce is not None:
        params.append('cnonce="%s"' % cnonce)
    params += ['qop="auth"', "nc=%s" % nc, 'response="%s"' % response]
    return "Authorization: Digest " + ", ".join(params) + "\r\n"


def get(target, extra="", connection="Keep-Alive"):
    return ("GET %s HTTP/1.1\r\nHost: 127.0.0.1:1\r\nConnection: %s\r\n%s\r\n"
            % (target, connection, extra)).encode("latin-1")


def challenge_nonce(headers):
    params = digest.parse_authorization(headers["WWW-Authenticate"])
    return params["nonce"]


class PeerTestCase(unittest.TestCase):
    http = {}

    def setUp(self):
        self.peer = Peer(self.http)
        self.addCleanup(self.peer.close)

    def message0(self, client, path="/ravix/message0", password=PASSWORD):
        status, headers, _ = client.request(get(path))
        self.assertEqual(status, "HTTP/1.1 401 Unauthorized")
        nonce = challenge_nonce(headers)
        answer = client.request(get(path, authorization(USERNAME, password, nonce, "00000001",
                                                         "/ravix/message")))
        return nonce, answer

    def message(self, n, nonce, nc, uri="/ravix/message", password=PASSWORD):
        with self.peer.connect() as client:
            return client.request(get("/ravix/message%d" % n,
                                      authorization(USERNAME, password, nonce, "%08d" % nc, uri)))


class RavixTest(PeerTestCase):
    def test_message0_to_3_and_the_stream_key(self):
        with self.peer.connect() as client:
            status, headers, body = client.request(get("/ravix/message0"))
            self.assertRegex(headers["WWW-Authenticate"],
                             r'^Digest realm="Ravix", nonce="[0-9a-f]{32}", algorithm=MD5, '
                             r'domain="/ravix/", qop="auth"$')
            self.assertEqual(body, b"")
            nonce = challenge_nonce(headers)
            status, headers, body = client.request(
                get("/ravix/message0", authorization(USERNAME, PASSWORD, nonce, "00000001",
                                                     "/ravix/message")))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn("TLXStreamingServer", headers["Server"])
        self.assertEqual(body, b"")
        for n in (1, 2, 3):
            status, headers, _ = self.message(n, nonce, n + 1)
            self.assertEqual(status, "HTTP/1.1 200 OK", n)
            self.assertNotIn("Server", headers)
        keys = self.peer.events("stream_key")
        self.assertEqual([(k["nonce"], k["key"]) for k in keys],
                         [(nonce, ravix_keys.stream_key(nonce, bytes(range(64))))])
        self.assertEqual([a["ok"] for a in self.peer.events("auth")], [True] * 4)

    def test_rejections(self):
        # Each row follows a fresh successful message 0.
        rows = [
            ("nonce count not the next", lambda nonce: self.message(1, nonce, 3)),
            ("message 2 before message 1", lambda nonce: self.message(2, nonce, 2)),
            ("wrong password", lambda nonce: self.message(1, nonce, 2, password="x")),
            ("digest uri with the number", lambda nonce: self.message(1, nonce, 2, uri="/ravix/message1")),
            ("old nonce", lambda nonce: self.message(1, "0" * 32, 2)),
        ]
        for name, send in rows:
            with self.subTest(name):
                with self.peer.connect() as client:
                    nonce, (status, _, _) = self.message0(client)
                self.assertEqual(status, "HTTP/1.1 200 OK")
                status, headers, _ = send(nonce)
                self.assertEqual(status, "HTTP/1.1 401 Unauthorized")
                self.assertIn("WWW-Authenticate", headers)
                self.assertFalse(self.peer.events("auth")[-1]["ok"])
        with self.peer.connect() as client:
            _, (status, _, _) = self.message0(client, password=PASSWORD[:-1])
        self.assertEqual(status, "HTTP/1.1 401 Unauthorized")

    def test_message0_needs_a_challenge_on_its_own_connection(self):
        with self.peer.connect() as client:
            nonce, _ = self.message0(client)
        status, _, _ = self.message(0, nonce, 1)
        self.assertEqual(status, "HTTP/1.1 401 Unauthorized")
        self.assertIn("without a challenge", self.peer.events("auth")[-1]["reason"])


class FixedNonceProxyTest(PeerTestCase):
    http = {"nonce": "5f3a9c0e1b7d2468ace013579bdf2468", "server": None}

    def test_proxy_form_without_server_header(self):
        with self.peer.connect() as client:
            nonce, (status, headers, _) = self.message0(client, "127.0.0.1:%d/ravix/message0" % self.peer.port)
        self.assertEqual(nonce, self.http["nonce"])
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertNotIn("Server", headers)
        self.assertTrue(self.peer.events("auth")[-1]["proxy_form"])


def read_until_close(client, limit=1 << 21):
    data = b""
    while len(data) < limit:
        chunk = client.sock.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


class ScriptedAnswersTest(PeerTestCase):
    ROWS = [
        ({"do": "reply", "status": 503, "reason": "Service Unavailable (in use)"},
         lambda data: data == b"HTTP/1.1 503 Service Unavailable (in use)\r\nContent-Length: 0\r\n\r\n"),
        ({"do": "reply", "status": 401, "reason": "Incompatible", "close": True},
         lambda data: data.startswith(b"HTTP/1.1 401 Incompatible\r\nWWW-Authenticate: Digest realm=")),
        ({"do": "reply", "status": 200, "reason": "OK", "headers": [["X-Long", "v" * 10000]], "close": True},
         lambda data: data.startswith(b"HTTP/1.1 200 OK\r\nX-Long: vvv") and b"WWW-Auth" not in data),
        ({"do": "raw", "text": "\x00\xffnot http\r\n\r\n", "close": True},
         lambda data: data == b"\x00\xffnot http\r\n\r\n"),
        ({"do": "oversized", "size": 3000},
         lambda data: len(data) == 3000 and data.endswith(b"\r\n\r\n") and data.count(b"\r\n\r\n") == 1),
        ({"do": "close"}, lambda data: data == b""),
        ({"do": "endless_chunks"},
         lambda data: data.startswith(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n")
         and len(data) > 65536),
    ]
    http = {"answers": {"ravix": [row[0] for row in ROWS]}}

    def test_each_answer_in_order_then_auto(self):
        for entry, check in self.ROWS:
            with self.subTest(entry["do"]), self.peer.connect() as client:
                client.sock.sendall(get("/ravix/message0"))
                client.sock.shutdown(socket.SHUT_WR)
                self.assertTrue(check(read_until_close(client)), entry)
        with self.peer.connect() as client:
            _, (status, _, _) = self.message0(client)
        self.assertEqual(status, "HTTP/1.1 200 OK")


class SilenceTest(PeerTestCase):
    http = {"answers": {"ravix": [{"do": "silence"}]}}

    def test_no_answer_but_every_byte_recorded(self):
        with self.peer.connect() as client:
            client.sock.sendall(get("/ravix/message0"))
            client.sock.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                client.sock.recv(1)
            client.sock.sendall(b"more")
        self.peer.wait_closed(1)
        with self.peer.connect() as client:
            _, (status, _, _) = self.message0(client)
        self.assertEqual(status, "HTTP/1.1 200 OK")
        received = b"".join(bytes.fromhex(r["data_hex"]) for r in self.peer.events("recv") if r["conn"] == 1)
        self.assertEqual(received, get("/ravix/message0") + b"more")


class MalformedRequestTest(PeerTestCase):
    def test_refused_with_400_and_closed(self):
        rows = [
            ("binary", b"\x00\x01\x02\xff\r\n\r\n"),
            ("no version", b"GET /ravix/message0\r\n\r\n"),
            ("header without colon", b"GET / HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n"),
            ("continuation first", b"GET / HTTP/1.1\r\n folded\r\n\r\n"),
            ("endless header block", b"GET / HTTP/1.1\r\nX: " + b"a" * 20000),
            ("negative length", b"POST /probe HTTP/1.1\r\nContent-Length: -1\r\n\r\n"),
            ("length not ASCII digits", b"POST /probe HTTP/1.1\r\nContent-Length: \xb2\r\n\r\n"),
            ("bad chunk size", b"POST /tlx/registration HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"),
            ("negative chunk size", b"POST /tlx/registration HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                                    b"-1\r\nabc\r\n"),
            ("chunk without CRLF", b"POST /tlx/registration HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                                   b"2\r\nabcd\r\n"),
        ]
        for name, data in rows:
            with self.subTest(name), self.peer.connect() as client:
                client.sock.sendall(data)
                self.assertEqual(read_until_close(client),
                                 b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
        self.assertEqual(len(self.peer.events("malformed")), len(rows))
        received = b"".join(bytes.fromhex(r["data_hex"]) for r in self.peer.events("recv") if r["conn"] == 1)
        self.assertEqual(received, b"\x00\x01\x02\xff\r\n\r\n")
        with self.peer.connect() as client:
            status, _, _ = client.request(get("/nowhere"))
            self.assertEqual(status, "HTTP/1.1 404 Not Found")
            _, (status, _, _) = self.message0(client)
            self.assertEqual(status, "HTTP/1.1 200 OK")


SHARED_KEY_HEX = bytes(range(64)).hex().upper()
PORTABLE = [("REGISTRATION_VER", "1.0.1.1"), ("ACCEPTABLE_MODEL", "*"), ("ALIAS", "den"),
            ("ETHER_MAC_ADDR_P", USERNAME), ("WLAN_MAC_ADDR_P", "001A2B3C4D5F"),
            ("INFO_SERIAL_P", "TLX00042"), ("INFO_MODEL_P", "QZA-K20US"), ("TLX_SHRD_KEY_1", SHARED_KEY_HEX)]
BASE_DATA = "STATUS: 1\nALIAS: base0123\nX_EXTRA: 1\nX_EXTRA: 2\n"  # 48 bytes: whole blocks


def portable_info(pairs=PORTABLE):
    return "".join("%s: %s\n" % pair for pair in pairs).encode("latin-1")


def register(client, username, code, plain, chunked=True):
    """The player's registration: a challenge, then the encrypted portable info."""
    status, headers, _ = client.request(get("/tlx/registration"))
    assert status == "HTTP/1.1 401 Unauthorized", status
    nonce = challenge_nonce(headers)
    body = ravix_keys.encrypt_body(plain, ravix_keys.registration_key(code))
    head = ("POST /tlx/registration HTTP/1.1\r\nHost: 127.0.0.1:1\r\n"
            + authorization(username, code, nonce, "00000001", "/tlx/registration"))
    if chunked:
        data = head + "Transfer-Encoding: chunked\r\n\r\n%x\r\n" % len(body)
        return client.request(data.encode("latin-1") + body + b"\r\n0\r\n\r\n")
    data = head + "Content-Length: %d\r\n\r\n" % len(body)
    return client.request(data.encode("latin-1") + body)


class RegistrationTest(unittest.TestCase):
    def start(self, **registration):
        config = {"code": "1234", "easy_nonce": "0123456789abcdef", "base_data": BASE_DATA}
        config.update(registration)
        peer = Peer({"registration": config})
        self.addCleanup(peer.close)
        return peer

    def test_code_and_easy_registration(self):
        easy = "de0230ba8bd88ee4f929ea1ec760c0ad"
        for username, code, framing in [("tlx_registration", "1234", "chunked"),
                                        ("tlx_easy_registration", easy, "chunked"),
                                        ("tlx_registration", "1234", "content_length")]:
            with self.subTest(username=username, framing=framing):
                peer = self.start(framing=framing)
                with peer.connect() as client:
                    status, headers, body = register(client, username, code, portable_info())
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertEqual("Transfer-Encoding" in headers, framing == "chunked")
                self.assertEqual(body[:16], b"Registration OK\n")
                self.assertEqual(len(body), 16 + 48 + 16)  # the sender's unencrypted zero block
                self.assertEqual(ravix_keys.decrypt_body(body[16:], ravix_keys.registration_key(code)),
                                 BASE_DATA.encode("latin-1"))
                [record] = peer.events("registration")
                self.assertEqual(record["problems"], [])
                self.assertEqual([tuple(p) for p in record["lines"]], PORTABLE)

    def test_refusals(self):
        wrong_key = PORTABLE[:7] + [("TLX_SHRD_KEY_1", "00" * 64)]
        for name, code, plain, chunked, expected in [
            ("wrong code", "4321", portable_info(), True, None),
            ("wrong shared key", "1234", portable_info(wrong_key), True, b"Registration NG: bad request\n"),
            ("lines out of order", "1234", portable_info(PORTABLE[::-1]), True,
             b"Registration NG: bad request\n"),
            ("body not chunked", "1234", portable_info(), False, b"Registration NG: bad request\n"),
        ]:
            with self.subTest(name):
                peer = self.start()
                with peer.connect() as client:
                    status, _, body = register(client, "tlx_registration", code, plain, chunked)
                if expected is None:
                    self.assertEqual(status, "HTTP/1.1 401 Unauthorized")
                else:
                    self.assertEqual((status, body), ("HTTP/1.1 200 OK", expected))
                    self.assertTrue(peer.events("registration")[-1]["problems"])

    def test_ng_reply_carries_no_base_data(self):
        peer = self.start(reply="Registration NG: duplicated")
        with peer.connect() as client:
            _, _, body = register(client, "tlx_registration", "1234", portable_info())
        self.assertEqual(body, b"Registration NG: duplicated")


class SpeedtestTest(PeerTestCase):
    http = {"speedtest": {"body": "speed"}}

    def test_challenge_then_authorised_request_on_a_new_connection(self):
        target = "/tlx/speedtest?tm=1"
        with self.peer.connect() as client:
            status, headers, _ = client.request(get(target, connection="close"))
            self.assertEqual(status, "HTTP/1.1 401 Unauthorized")
            self.assertTrue(client.closed_by_peer())
        nonce = challenge_nonce(headers)
        for password, expected in [("x", "HTTP/1.1 401 Unauthorized"), (PASSWORD, "HTTP/1.1 200 OK")]:
            with self.peer.connect() as client:
                status, _, body = client.request(
                    get(target, authorization(USERNAME, password, nonce, "00000001", target, cnonce=None)))
            self.assertEqual(status, expected)
        self.assertEqual(body, b"speed")


class CurlProbeTest(PeerTestCase):
    http = {"probe": {"username": "probe", "password": "s3cret"}}

    def curl(self, password):
        return subprocess.run(
            ["curl", "--silent", "--noproxy", "*", "--max-time", "10", "--digest", "--user",
             "probe:" + password, "--write-out", "\n%{http_code}", "--request", "GET",
             "http://127.0.0.1:%d/probe?x=1" % self.peer.port],
            capture_output=True, text=True, check=True).stdout

    def test_curl_digest_is_accepted(self):
        self.assertEqual(self.curl("s3cret"), "probe ok\n\n200")
        [auth] = self.peer.events("auth")
        params = auth["params"]
        self.assertEqual(params["uri"], "/probe?x=1")
        self.assertEqual(digest.response(params["username"], params["realm"], "s3cret", params["nonce"],
                                         params["nc"], params["cnonce"], params["qop"], "GET",
                                         params["uri"]), params["response"])
        self.assertTrue(self.curl("wrong").endswith("\n401"))


if __name__ == "__main__":
    unittest.main()
