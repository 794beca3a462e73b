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
        for spec, fmt, name in outputs:
            command += ["-map", spec, "-c", "copy", "-f", fmt, os.path.join(workdir, name)]
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


if __name__ == "__main__":
    unittest.main()
