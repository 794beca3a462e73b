"""The peer's tunnel, RTSP server and streamer against ffmpeg, an RTSP client
written by others, and its fixture framing against libavformat's packets.

Needs the stream fixtures (TLX_STREAM_FIXTURES, made by
tests/fixtures/stream/make_fixtures.sh).
"""

import json
import os
import subprocess
import tempfile
import unittest

import stream_media
from peer_test_support import Peer

FIXTURES = os.environ.get("TLX_STREAM_FIXTURES", "")
QUALITY = ("vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273."
           "abr=48000.ambr=48000.asr=24000.afl=1810.")


def fixture(name):
    return os.path.join(FIXTURES, name)


def packet_sizes(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=size", "-of", "csv=p=0", path],
                         check=True, capture_output=True, text=True).stdout
    return [int(line) for line in out.split()]


def clear_stream(**extra):
    stream = {"media": {"video": fixture("video.m4v"), "audio": fixture("audio_24000.aac")},
              "inband_header": False, "key": None, "end": "bye"}
    stream.update(extra)
    return {"stream": stream}


@unittest.skipUnless(FIXTURES, "TLX_STREAM_FIXTURES is not set")
class FixtureFramingTest(unittest.TestCase):
    def test_frames_equal_libavformat_packets(self):
        for name, split in (("video.m4v", stream_media.split_m4v), ("video.h264", stream_media.split_h264),
                            ("audio_24000.aac", lambda d: [f.data for f in stream_media.split_adts(d)]),
                            ("audio_44100.aac", lambda d: [f.data for f in stream_media.split_adts(d)])):
            with open(fixture(name), "rb") as f:
                frames = split(f.read())
            self.assertEqual([len(f) for f in frames], packet_sizes(fixture(name)), name)

    def test_malformed_fixtures_are_refused(self):
        for data, split in ((b"\x00\x00\x01\xb0\x01", stream_media.split_m4v),
                            (b"\x00\x00\x00\x01\x67", stream_media.split_h264),
                            (b"\xff\xf1\x50\x80\xff\xff\xfc", stream_media.split_adts),
                            (b"\xff\xf1\x50", stream_media.split_adts),
                            (b"junk", stream_media.split_adts)):
            with self.assertRaises(stream_media.MediaError):
                split(data)


@unittest.skipUnless(FIXTURES, "TLX_STREAM_FIXTURES is not set")
class FfmpegClientTest(unittest.TestCase):
    def run_ffmpeg(self, peer, outputs, workdir):
        url = "rtsp://127.0.0.1:%d/DSP/%s/" % (peer.port, QUALITY)
        command = ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-rtsp_transport", "http", "-i", url]
        for stream_map, fmt, name in outputs:
            command += ["-map", stream_map, "-c", "copy", "-f", fmt, os.path.join(workdir, name)]
        return subprocess.run(command, capture_output=True, text=True, timeout=60)

    def test_ffmpeg_receives_the_fixtures_byte_for_byte(self):
        peer = Peer(clear_stream())
        try:
            with tempfile.TemporaryDirectory() as workdir:
                result = self.run_ffmpeg(peer, [("0:v", "data", "video.bin"), ("0:a", "data", "audio.bin")],
                                         workdir)
                self.assertEqual(result.returncode, 0, result.stderr)
                for got, want in (("video.bin", "video.m4v"), ("audio.bin", "audio_24000.aac")):
                    with open(os.path.join(workdir, got), "rb") as a, open(fixture(want), "rb") as b:
                        self.assertTrue(a.read() == b.read(), got)
            responses = [(r["method"], r["status"]) for r in peer.events("rtsp_response")]
            self.assertEqual(responses, [("OPTIONS", 200), ("DESCRIBE", 200), ("SETUP", 200), ("SETUP", 200),
                                         ("PLAY", 200), ("TEARDOWN", 200)])
            setups = [r["text"] for r in peer.events("rtsp_request") if r["method"] == "SETUP"]
            self.assertIn("interleaved=0-1", setups[0])
            self.assertIn("interleaved=2-3", setups[1])
            tunnel = peer.events("tunnel")
            self.assertEqual([t["kind"] for t in tunnel], ["get", "post"])
            self.assertEqual(tunnel[0]["cookie"], tunnel[1]["cookie"])
        finally:
            peer.close()

    def test_ffmpeg_sees_the_documented_timestamps(self):
        peer = Peer(clear_stream())
        try:
            with tempfile.TemporaryDirectory() as workdir:
                result = self.run_ffmpeg(peer, [("0:v", "framecrc", "video.crc"), ("0:a", "framecrc", "audio.crc")],
                                         workdir)
                self.assertEqual(result.returncode, 0, result.stderr)
                rows = {}
                for name in ("video.crc", "audio.crc"):
                    with open(os.path.join(workdir, name)) as f:
                        rows[name] = [[field.strip() for field in line.split(",")]
                                      for line in f if not line.startswith("#")]
            audio_sizes = packet_sizes(fixture("audio_24000.aac"))
            self.assertEqual([int(r[4]) for r in rows["audio.crc"]], audio_sizes)
            for name, step in (("audio.crc", 1024), ("video.crc", 3000)):
                pts = [int(r[2]) for r in rows[name]]
                self.assertEqual([b - a for a, b in zip(pts, pts[1:])], [step] * (len(pts) - 1), name)
            self.assertEqual(len(rows["video.crc"]), 60)
        finally:
            peer.close()

    def test_a_late_start_skips_the_media_before_it(self):
        peer = Peer(clear_stream(start_ms=500))
        try:
            with tempfile.TemporaryDirectory() as workdir:
                result = self.run_ffmpeg(peer, [("0:v", "data", "video.bin"), ("0:a", "data", "audio.bin")],
                                         workdir)
                self.assertEqual(result.returncode, 0, result.stderr)
            frames = peer.events("frame")
            # 30 pictures a second; 1024-sample AAC frames at 24000 Hz.
            for medium, first, count in (("video", 15, 60), ("audio", 12, len(packet_sizes(fixture("audio_24000.aac"))))):
                indexes = [f["index"] for f in frames if f["medium"] == medium]
                self.assertEqual(indexes, list(range(first, count)), medium)
            stamps = [f["stamp"] for f in frames if f["medium"] == "video"]
            self.assertEqual(stamps[0], 15 * 1000 // 30)
        finally:
            peer.close()


@unittest.skipUnless(FIXTURES, "TLX_STREAM_FIXTURES is not set")
class RtspAnswersTest(unittest.TestCase):
    """Requests ffmpeg does not send, through a hand-driven tunnel."""

    def tunnel(self, peer):
        get = peer.connect()
        get.sock.sendall(b"GET /x HTTP/1.0\r\nx-sessioncookie: 7\r\n"
                         b"Accept: application/x-rtsp-rtp-interleaved\r\n\r\n")
        status, headers, _ = get.response()
        self.assertEqual(status, "HTTP/1.0 200 OK")
        self.assertEqual(headers["Content-Type"], "application/x-rtsp-tunnelled")
        post = peer.connect()
        post.sock.sendall(b"POST /x HTTP/1.0\r\nX-SessionCookie: 7\r\nContent-Length: 32767\r\n\r\n")
        return get, post

    def test_refusals(self):
        import base64
        peer = Peer(clear_stream())
        try:
            get, post = self.tunnel(peer)
            url = "rtsp://127.0.0.1:%d/DSP/%s/" % (peer.port, QUALITY)
            requests = [
                ("DESCRIBE rtsp://127.0.0.1:1/FILE0001/ RTSP/1.0\r\nCSeq: 1\r\n\r\n", "404"),
                ("DESCRIBE %s RTSP/1.0\r\nCSeq: 2\r\n\r\n" % url, "200"),
                ("SETUP %strackID=1 RTSP/1.0\r\nCSeq: 3\r\nTransport: RTP/AVP;unicast\r\n\r\n" % url, "461"),
                ("SETUP %strackID=9 RTSP/1.0\r\nCSeq: 4\r\nTransport: RTP/AVP/TCP;interleaved=0-1\r\n\r\n" % url,
                 "404"),
                ("SETUP %strackID=1 RTSP/1.0\r\nCSeq: 5\r\nTransport: RTP/AVP/TCP;interleaved=0-1\r\n\r\n" % url,
                 "200"),
                ("SETUP %strackID=2 RTSP/1.0\r\nCSeq: 6\r\nTransport: RTP/AVP/TCP;interleaved=2-3\r\n"
                 "Session: 00000000\r\n\r\n" % url, "454"),
                ("PAUSE %s RTSP/1.0\r\nCSeq: 7\r\n\r\n" % url, "501"),
            ]
            for text, want in requests:
                # Whitespace between the groups is ignored.
                post.sock.sendall(base64.b64encode(text.encode()) + b"\r\n")
                status, headers, _ = get.response()
                self.assertEqual(status.split()[1], want, text)
                self.assertEqual(headers["CSeq"], text.split("CSeq: ")[1].split("\r")[0])
            get.close()
            post.close()
        finally:
            peer.close()

    def test_scripted_description(self):
        import base64
        peer = Peer(clear_stream(faults={"sdp": "v=0\r\ns=none\r\n"}))
        try:
            get, post = self.tunnel(peer)
            url = "rtsp://127.0.0.1:%d/DSP/%s/" % (peer.port, QUALITY)
            post.sock.sendall(base64.b64encode(("DESCRIBE %s RTSP/1.0\r\nCSeq: 1\r\n\r\n" % url).encode()))
            status, headers, body = get.response()
            self.assertEqual(status.split()[1], "200")
            self.assertEqual(body, b"v=0\r\ns=none\r\n")
            get.close()
            post.close()
        finally:
            peer.close()

    def test_post_without_get_and_unauthenticated_get_are_refused(self):
        peer = Peer(clear_stream(auth=True))
        try:
            get = peer.connect()
            get.sock.sendall(b"GET / HTTP/1.1\r\nx-sessioncookie: 1\r\nAccept: application/x-rtsp-tunnelled\r\n\r\n")
            status, _, _ = get.response()
            self.assertEqual(status.split()[1], "403")
            post = peer.connect()
            post.sock.sendall(b"POST / HTTP/1.1\r\nx-sessioncookie: 1\r\nContent-Length: 32767\r\n\r\n")
            self.assertTrue(post.closed_by_peer())
            get.close()
            post.close()
        finally:
            peer.close()


class Player:
    """A hand-driven tunnel client: DESCRIBE, both SETUPs and PLAY, then the
    interleaved frames as they come. authenticate(client, n) runs the digest
    exchange of message n on a connection before its tunnel request."""

    def __init__(self, peer, authenticate=None):
        import base64
        self.get = peer.connect()
        if authenticate:
            authenticate(self.get, 0)
        self.get.sock.sendall(b"GET / HTTP/1.0\r\nx-sessioncookie: 0\r\n"
                              b"Accept: application/x-rtsp-rtp-interleaved\r\n\r\n")
        self.status, _, _ = self.get.response()
        if not self.status.startswith("HTTP/1.0 200"):
            return
        self.post = peer.connect()
        if authenticate:
            authenticate(self.post, 1)
        self.post.sock.sendall(b"POST / HTTP/1.0\r\nx-sessioncookie: 0\r\nContent-Length: 32767\r\n\r\n")
        url = "rtsp://127.0.0.1:%d/DSP/%s/" % (peer.port, QUALITY)
        session = ""
        for cseq, text in enumerate([
                "DESCRIBE %s RTSP/1.0\r\nCSeq: 1\r\n\r\n" % url,
                "SETUP %strackID=1 RTSP/1.0\r\nCSeq: 2\r\nTransport: RTP/AVP/TCP;interleaved=0-1\r\n\r\n" % url,
                "SETUP %strackID=2 RTSP/1.0\r\nCSeq: 3\r\nTransport: RTP/AVP/TCP;interleaved=2-3\r\n"
                "Session: %%s\r\n\r\n" % url,
                "PLAY %s RTSP/1.0\r\nCSeq: 4\r\nSession: %%s\r\n\r\n" % url]):
            if "%s" in text:
                text = text % session
            self.post.sock.sendall(base64.b64encode(text.encode()))
            status, headers, _ = self.get.response()
            session = headers.get("Session", session).split(";")[0]

    def frames(self, limit=100000):
        """(channel, packet) until the peer closes or limit packets came."""
        out = []
        try:
            while len(out) < limit:
                while len(self.get._buf) < 4:
                    self.get._fill()
                size = int.from_bytes(self.get._buf[2:4], "big")
                while len(self.get._buf) < 4 + size:
                    self.get._fill()
                out.append((self.get._buf[1], self.get._buf[4:4 + size]))
                self.get._buf = self.get._buf[4 + size:]
        except (EOFError, OSError):
            pass
        return out

    def close(self):
        self.get.close()
        if hasattr(self, "post"):
            self.post.close()


def frames_of(packets, channel):
    """Whole frames of an RTP channel: video joined to the marker, audio one per packet."""
    frames, partial = [], b""
    for ch, packet in packets:
        if ch != channel:
            continue
        payload = packet[12:]
        if channel == 0:
            frames.append(payload[4:])
            continue
        partial += payload
        if packet[1] & 0x80:
            frames.append(partial)
            partial = b""
    return frames


@unittest.skipUnless(FIXTURES, "TLX_STREAM_FIXTURES is not set")
class StreamSwitchesTest(unittest.TestCase):
    def session(self, **stream):
        peer = Peer(clear_stream(inband_header=True, **stream))
        self.addCleanup(peer.close)
        player = Player(peer)
        self.addCleanup(player.close)
        return peer, player

    def test_authenticated_tunnel_streams_with_the_digest_key(self):
        import http_service_test as h
        import ravix_keys
        from rtp_streamer import encrypt_head
        from peer_test_support import IDENTITY
        peer = Peer(dict(clear_stream(auth=True, key="digest")))
        self.addCleanup(peer.close)
        nonces = []

        def authenticate(client, n):
            if n == 0:
                status, headers, _ = client.request(h.get("/ravix/message0"))
                nonces.append(h.challenge_nonce(headers))
            status, _, _ = client.request(h.get("/ravix/message%d" % n, h.authorization(
                h.USERNAME, h.PASSWORD, nonces[0], "%08d" % (n + 1), "/ravix/message")))
            self.assertEqual(status, "HTTP/1.1 200 OK")

        player = Player(peer, authenticate)
        self.addCleanup(player.close)
        self.assertTrue(player.status.startswith("HTTP/1.0 200"))
        video = frames_of(player.frames(limit=40), 2)
        key = bytes.fromhex(ravix_keys.stream_key(nonces[0], bytes.fromhex(IDENTITY["shared_key"])))
        with open(fixture("video.m4v"), "rb") as f:
            first = stream_media.split_m4v(f.read())[0]
        self.assertEqual(video[0], encrypt_head(first, key))
        self.assertNotEqual(video[0][:128], first[:128])
        self.assertEqual(video[0][128:], first[128:])

    def test_raw_access_units_paced_in_real_time(self):
        import time
        peer, player = self.session(adts=False, pacing="realtime")
        start = time.monotonic()
        packets = player.frames(limit=40)
        elapsed = time.monotonic() - start
        with open(fixture("audio_24000.aac"), "rb") as f:
            adts = stream_media.split_adts(f.read())
        audio = frames_of(packets, 0)
        self.assertGreater(len(audio), 3)
        for frame, source in zip(audio, adts):
            self.assertEqual(frame[12:], source.raw)
        # Forty packets span several hundred milliseconds of media.
        video = frames_of(packets, 2)
        self.assertGreater(len(video), 3)
        self.assertGreaterEqual(elapsed, (len(video) - 1) / 30 - 0.05)

    def test_get_status(self):
        peer, player = self.session(faults={"get_status": 503})
        self.assertEqual(player.status.split()[1], "503")

    def test_stamps_markers_oversize_and_close(self):
        import struct
        peer, player = self.session(stamp_offset=1000, faults={
            "stamp_steps": [{"medium": "video", "frame": 3, "delta": -50}],
            "marker_before_audio": [2], "oversized_video": {"frame": 4, "size": 20000},
            "close_after_frames": 20})
        packets = player.frames()
        video, audio = frames_of(packets, 2), frames_of(packets, 0)
        stamps = [struct.unpack("<I", f[8:12])[0] for f in video]
        self.assertEqual(stamps[:5], [1000, 1033, 1066, 1100 - 50, 1133])
        self.assertEqual(len(video[4]), 12 + 20000)
        self.assertEqual(audio[2], b"\xd0" * 4 + bytes(4) + struct.pack("<I", 1000 + 2 * 1024 * 1000 // 24000))
        self.assertEqual(audio[3][:4], b"\xe0" * 4)
        sent = [e for e in peer.events("frame")]
        self.assertEqual(len(sent), 20)
        self.assertEqual(len(video) + len(audio) - 1, 20, "the marker frame is not a frame of its own")

    def test_loop_goes_on_with_rising_stamps(self):
        import struct
        peer, player = self.session(end="loop")
        video = frames_of(player.frames(limit=3000), 2)
        self.assertGreater(len(video), 60)
        stamps = [struct.unpack("<I", f[8:12])[0] for f in video]
        self.assertEqual(stamps[60], 2000)
        self.assertEqual(video[60][12:], video[0][12:])


if __name__ == "__main__":
    unittest.main()
