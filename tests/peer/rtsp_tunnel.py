"""The base station's RTSP-over-HTTP tunnel and RTSP server
(platform/rtsp/base_station_stream.md).

A tunnel GET (an x-sessioncookie header and an RTSP Accept value, whatever
its target) gets the tunnel answer and then carries RTSP responses and
interleaved RTP to the player. A tunnel POST with the same cookie pairs with
the latest GET of that cookie without a POST; its body is base64 RTSP, each
complete 4-character group decoded on its own, whitespace ignored.
"""

import base64
import binascii
import random
import re
import threading
import time

from rtp_streamer import Stream, Streamer
from stream_media import Media

TUNNEL_ACCEPT = ("application/x-rtsp-rtp-interleaved", "application/x-rtsp-tunnelled")
PUBLIC = "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER"
REASONS = {200: "OK", 403: "Forbidden", 404: "Not Found", 454: "Session Not Found",
           461: "Unsupported Transport", 501: "Not Implemented", 503: "Service Unavailable"}
DEFAULT_SERVER = "TLXStreamingServer/1.0"
QUALITY_PATH = re.compile(r"DSP/((vbr|vmbr|vfr|vw|vh|vtype|vfl|abr|ambr|asr|afl)=[0-9]+\.)+/")
URL = re.compile(r"rtsp://([^/:]+)(?::([0-9]+))?/(.*)", re.IGNORECASE)
MAX_REQUEST = 65536


def is_tunnel_request(request):
    accept = (request.header("Accept") or "").lower()
    if request.method == "GET":
        return request.header("x-sessioncookie") is not None and any(a in accept for a in TUNNEL_ACCEPT)
    return request.method == "POST" and request.header("x-sessioncookie") is not None


class Session:
    """One tunnel: its GET connection, the RTSP session and the streamer."""

    def __init__(self, tunnel, get_conn):
        self.tunnel = tunnel
        self.options = tunnel.options
        self.faults = self.options.get("faults", {})
        # The description's media in order; the first audio and the first
        # video track are the ones streamed, other tracks are set up silent.
        self.tracks = self.faults.get("tracks", ["audio", "video"])
        self.get_conn = get_conn
        self.post_conn = None
        self.record = tunnel.record
        self.session_id = None
        self.streams = {}
        self.streamer = None
        self.key = tunnel.key_for(get_conn)
        self._write_lock = threading.Lock()
        self.closed = threading.Event()
        self._frames_sent = 0

    # Writing to the player ------------------------------------------------
    def write(self, data):
        with self._write_lock:
            if self.closed.is_set():
                return
            if self.faults.get("one_byte_writes"):
                for i in range(len(data)):
                    self.get_conn.send(data[i:i + 1])
            else:
                self.get_conn.send(data)

    def send_interleaved(self, channel, packet):
        self.write(b"$" + bytes([channel]) + len(packet).to_bytes(2, "big") + packet)

    def frames_sent(self):
        self._frames_sent += 1
        return self._frames_sent

    def close_get(self):
        self.record("tunnel_closed", conn=self.get_conn.id, reason="fault")
        with self._write_lock:
            self.closed.set()
            try:
                self.get_conn.sock.shutdown(2)
            except OSError:
                pass

    def end(self):
        if self.streamer:
            self.streamer.stop()
        self.closed.set()

    # RTSP ------------------------------------------------------------------
    def handle_request(self, text):
        head, _, _ = text.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        parts = lines[0].split(" ")
        method, url = (parts[0], parts[1]) if len(parts) == 3 else ("", "")
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        cseq = headers.get("cseq", "0")
        self.record("rtsp_request", conn=self.post_conn.id if self.post_conn else None, method=method,
                    url=url, cseq=cseq, text=text.decode("latin-1"))
        answer = self.faults.get("answers", {}).get(method)
        if answer and answer.get("do") == "silence":
            self.record("rtsp_response", method=method, status=None, text="")
            return
        before = self.faults.get("before_response", {}).get(method)
        if before == "garbage":
            self.write(b"\x01\x02garbage\x00")
        elif before == "frames":
            for stream in self.streams.values():
                self.send_interleaved(stream.rtcp_channel, stream.sender_report(time.time(), stream.ts_base))
        if answer and "status" in answer:
            status, extra, body = answer["status"], [], b""
        else:
            status, extra, body = self.answer(method, url, headers)
        reason = (answer or {}).get("reason") or REASONS.get(status, "Error")
        response = "RTSP/1.0 %d %s\r\nCSeq: %s\r\n" % (status, reason, cseq)
        for name, value in extra:
            response += "%s: %s\r\n" % (name, value)
        if body:
            response += "Content-Length: %d\r\n" % len(body)
        data = response.encode("latin-1") + b"\r\n" + body
        self.record("rtsp_response", method=method, status=status, text=data.decode("latin-1"))
        self.write(data)
        if method == "PLAY" and status == 200:
            self.start_streaming()
        if method == "TEARDOWN" and self.streamer:
            self.streamer.stop()

    def content_base(self, host, port, path):
        return "rtsp://%s:%s/%s" % (host, port, path if path.endswith("/") else path + "/")

    def answer(self, method, url, headers):
        if method == "OPTIONS":
            return 200, [("Public", PUBLIC)], b""
        if method in ("GET_PARAMETER",):
            return 200, [], b""
        if method == "DESCRIBE":
            match = URL.fullmatch(url)
            if not match or not QUALITY_PATH.fullmatch(match.group(3)):
                return 404, [], b""
            self.base = self.content_base(match.group(1), match.group(2) or "554", match.group(3))
            sdp = self.faults.get("sdp")
            if sdp is None:
                sdp = self.tunnel.media.sdp(random.getrandbits(32), self.tunnel.address, self.tracks,
                                            self.options.get("sizelength", 13))
            sdp = sdp.encode("latin-1")
            return 200, [("Content-Type", "application/sdp"), ("Content-Base", self.base)], sdp
        if method == "SETUP":
            base = getattr(self, "base", "\0")
            track = next((n for n in range(1, len(self.tracks) + 1) if url == "%strackID=%d" % (base, n)), None)
            transport = headers.get("transport", "")
            pair = re.search(r"interleaved=([0-9]+)-([0-9]+)", transport)
            if "RTP/AVP/TCP" not in transport.upper() or not pair:
                return 461, [], b""
            if track is None:
                return 404, [], b""
            given = headers.get("session", "").split(";")[0]
            if self.session_id is not None and given != self.session_id:
                return 454, [], b""
            if self.session_id is None:
                self.session_id = "%08X" % random.getrandbits(32)
            kind = self.tracks[track - 1]
            name = kind if self.streamed_track(kind) == track else "%s#%d" % (kind, track)
            channels = self.faults.get("channels", {}).get(name, [int(pair.group(1)), int(pair.group(2))])
            if kind == "audio":
                stream = Stream(name, 96, self.tunnel.media.sample_rate, channels[0], channels[1])
            else:
                stream = Stream(name, 97 if kind == "video" else 98, 90000, channels[0], channels[1])
            self.streams[name] = stream
            transport = "RTP/AVP/TCP;unicast;interleaved=%d-%d;ssrc=%08X" % (channels[0], channels[1], stream.ssrc)
            return 200, [("Transport", transport), ("Session", "%s;timeout=60" % self.session_id)], b""
        if method == "PLAY":
            base = getattr(self, "base", None)
            if base is None or url not in (base, base[:-1]):
                return 404, [], b""
            if self.session_id is None or headers.get("session", "").split(";")[0] != self.session_id:
                return 454, [], b""
            played = [(kind, self.streamed_track(kind)) for kind in ("audio", "video") if kind in self.tracks]
            if not played or any(kind not in self.streams for kind, _ in played):
                return 454, [], b""
            info = ",".join("url=%strackID=%d;seq=%d;rtptime=%d" % (base, n, self.streams[kind].first_seq,
                                                                     self.streams[kind].ts_base)
                            for kind, n in played)
            return 200, [("Session", self.session_id), ("Range", "npt=0.000-"), ("RTP-Info", info)], b""
        if method == "TEARDOWN":
            return 200, [], b""
        return 501, [], b""

    def streamed_track(self, kind):
        """The number of the track of that kind that is streamed (its first)."""
        return self.tracks.index(kind) + 1 if kind in self.tracks else None

    def start_streaming(self):
        if self.streamer is None:
            self.streamer = Streamer(self, self.options, self.tunnel.media, self.key)
            self.streamer.start()

    # The POST connection ---------------------------------------------------
    def serve_post(self, conn, first_bytes):
        self.post_conn = conn
        pending = b""    # base64 characters not yet in a complete group
        rtsp = b""       # decoded bytes not yet a complete request
        data = first_bytes
        while True:
            for byte in data:
                if chr(byte).isspace():
                    continue
                pending += bytes([byte])
                if len(pending) == 4:
                    try:
                        rtsp += base64.b64decode(pending, validate=True)
                    except binascii.Error:
                        self.record("tunnel_bad_base64", conn=conn.id, group=pending.decode("latin-1"))
                    pending = b""
            while True:
                end = rtsp.find(b"\r\n\r\n")
                if end < 0:
                    if len(rtsp) > MAX_REQUEST:
                        self.record("tunnel_bad_rtsp", conn=conn.id, reason="request too long")
                        return
                    break
                length = re.search(rb"\r\ncontent-length:\s*([0-9]+)", rtsp[:end + 2], re.IGNORECASE)
                total = end + 4 + (int(length.group(1)) if length else 0)
                if len(rtsp) < total:
                    break
                request, rtsp = rtsp[:total], rtsp[total:]
                self.handle_request(request)
            data = conn.sock.recv(65536)
            if not data:
                return
            conn.record("recv", conn=conn.id, data_hex=data.hex())


class Tunnel:
    """options: the "stream" object of the http service (see README.md)."""

    def __init__(self, options, record, address):
        self.options = options
        self.record = record
        self.address = address
        self.media = Media(options["media"])
        self._lock = threading.Lock()
        self._unpaired = {}   # cookie -> sessions whose GET has no POST yet, oldest first

    def key_for(self, conn):
        key = self.options.get("key")
        if key == "digest":
            derived = conn.state.get("stream_key")
            return bytes.fromhex(derived) if derived else None
        return bytes.fromhex(key) if key else None

    def claims(self, request):
        return is_tunnel_request(request)

    def take(self, conn, request):
        """Serves a tunnel request; the connection is ours until this returns."""
        cookie = request.header("x-sessioncookie")
        kind = request.method.lower()
        allowed = not self.options.get("auth") or conn.state.get("authenticated")
        self.record("tunnel", conn=conn.id, kind=kind, cookie=cookie, authenticated=bool(allowed))
        if kind == "get":
            self._serve_get(conn, cookie, allowed)
        else:
            self._serve_post(conn, cookie, allowed)

    def _serve_get(self, conn, cookie, allowed):
        faults = self.options.get("faults", {})
        status, reason = faults.get("get_status"), faults.get("get_reason")
        if not allowed:
            status, reason = 403, None
        if status:
            reason = reason or REASONS.get(status, "Error")
            head = "HTTP/1.0 %d %s\r\nContent-Length: 0\r\n\r\n" % (status, reason)
            conn.send(head.encode("latin-1"))
            return
        # Waiting for its POST before the answer goes out: the player sends the
        # POST as soon as it has read the answer.
        session = Session(self, conn)
        with self._lock:
            self._unpaired.setdefault(cookie, []).append(session)
        server = self.options.get("server", DEFAULT_SERVER)
        conn.send(("HTTP/1.0 200 OK\r\nServer: %s\r\nConnection: close\r\nCache-Control: no-store\r\n"
                   "Pragma: no-cache\r\nContent-Type: application/x-rtsp-tunnelled\r\n\r\n"
                   % server).encode("latin-1"))
        try:
            # The player sends nothing more here; the session lives until it closes.
            while conn.sock.recv(4096):
                pass
        except OSError:
            pass
        finally:
            with self._lock:
                waiting = self._unpaired.get(cookie, [])
                if session in waiting:
                    waiting.remove(session)
            session.end()
            self.record("tunnel_closed", conn=conn.id, reason="player")

    def _serve_post(self, conn, cookie, allowed):
        session = None
        with self._lock:
            waiting = self._unpaired.get(cookie, [])
            if allowed and waiting:
                session = waiting.pop()
        if session is None:
            self.record("tunnel_refused", conn=conn.id, cookie=cookie,
                        reason="not authenticated" if not allowed else "no GET")
            return
        try:
            session.serve_post(conn, conn.take_buffered())
        finally:
            self.record("tunnel_post_closed", conn=conn.id)
