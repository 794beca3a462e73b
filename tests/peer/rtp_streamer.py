"""The base station's RTP streamer: frames with their in-band header and
encrypted head, cut into RTP packets, interleaved on the tunnel's GET
connection with sender reports and a closing BYE
(platform/rtsp/base_station_stream.md).
"""

import hashlib
import random
import struct
import threading
import time

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

VIDEO_MAGIC = b"\xf0\xf0\xf0\xf0"
AUDIO_MAGIC = b"\xe0\xe0\xe0\xe0"
MARKER_MAGIC = b"\xd0\xd0\xd0\xd0"
NTP_OFFSET = 2208988800
SR_PERIOD_MS = 5000


def encrypt_head(payload, key):
    """AES-128-ECB over the first min(len // 16, 8) blocks; the rest stays clear."""
    if key is None:
        return payload
    n = min(len(payload) // 16, 8) * 16
    encryptor = Cipher(algorithms.AES(key), modes.ECB()).encryptor()
    return encryptor.update(payload[:n]) + encryptor.finalize() + payload[n:]


def ntp_time(seconds):
    whole = int(seconds)
    return whole + NTP_OFFSET, int((seconds - whole) * (1 << 32)) & 0xFFFFFFFF


class Stream:
    """One medium's RTP state: SSRC, sequence, timestamps, counts."""

    def __init__(self, medium, payload_type, clock, channel, rtcp_channel):
        self.medium = medium
        self.payload_type = payload_type
        self.clock = clock
        self.channel = channel
        self.rtcp_channel = rtcp_channel
        self.ssrc = random.getrandbits(32)
        self.seq = random.getrandbits(16)
        self.ts_base = random.getrandbits(32)
        self.first_seq = self.seq
        self.packets = 0
        self.octets = 0
        self.index = 0          # packets made so far, left-out ones included
        self.next_sr_ms = 0
        self.last_ts = self.ts_base   # the RTP time and media time of the last frame
        self.last_ms = 0
        self.ended = False

    def rtp(self, ts, marker, payload):
        header = struct.pack("!BBHII", 0x80, (0x80 if marker else 0) | self.payload_type,
                             self.seq, ts & 0xFFFFFFFF, self.ssrc)
        self.seq = (self.seq + 1) & 0xFFFF
        return header + payload

    def sender_report(self, wall, ts):
        seconds, fraction = ntp_time(wall)
        return struct.pack("!BBHIIIIII", 0x80, 200, 6, self.ssrc, seconds, fraction,
                           ts & 0xFFFFFFFF, self.packets, self.octets)

    def bye(self):
        return struct.pack("!BBHI", 0x81, 203, 1, self.ssrc)


class Streamer(threading.Thread):
    """Streams the session's media once PLAY was answered."""

    def __init__(self, session, options, media, key):
        super().__init__(daemon=True)
        self.session = session
        self.options = options
        self.faults = options.get("faults", {})
        self.media = media
        self.key = key
        self.stop_event = threading.Event()
        # The streamed tracks; a description may lack one.
        self.audio = session.streams.get("audio")
        self.video = session.streams.get("video")
        self.sizelength = options.get("sizelength", 13)

    def stop(self):
        self.stop_event.set()

    # Frames in presentation order: (time in ms as a fraction, medium, index).
    def schedule(self):
        fps = self.media.fps
        rate = self.media.sample_rate
        events = []
        if self.audio:
            events += [(i * 1024 * 1000 / rate, 0, "audio", i) for i in range(len(self.media.audio_frames))]
        if self.video:
            events += [(i * 1000 / fps, 1, "video", i) for i in range(len(self.media.video_frames))]
        events.sort()
        return [(t, medium, i) for t, _, medium, i in events]

    def run(self):
        try:
            self._run()
        except OSError as e:
            self.session.record("stream_error", reason=str(e))

    def _run(self):
        pause = self.faults.get("pause_after_play_ms", 0)
        if pause and self.stop_event.wait(pause / 1000):
            return
        loop = 0
        # Joining the stream part-way, as a player does that connects to a
        # running base station: the first pass begins at this media time.
        skip_ms = self.options.get("start_ms", 0)
        start = time.monotonic() - skip_ms / 1000
        self.wall_start = time.time() - skip_ms / 1000
        span_ms = 0
        while True:
            sent_ms = 0
            for t, medium, i in self.schedule():
                if self.stop_event.is_set():
                    return
                if loop == 0 and t < skip_ms:
                    continue
                media_ms = span_ms + t
                if self.options.get("pacing") == "realtime":
                    delay = start + media_ms / 1000 - time.monotonic()
                    if delay > 0 and self.stop_event.wait(delay):
                        return
                if not self.send_frame(medium, i, loop, media_ms):
                    return
                sent_ms = t
            loop += 1
            if self.options.get("end", "bye") != "loop" and loop >= self.options.get("passes", 1):
                break
            span_ms += sent_ms + 1000 / self.media.fps
        if self.options.get("end", "bye") == "bye":
            for stream in (self.audio, self.video):
                if stream:
                    self.end_stream(stream)

    def frame_count(self, medium):
        return len(self.media.audio_frames if medium == "audio" else self.media.video_frames)

    def send_frame(self, medium, i, loop, media_ms):
        stream = self.audio if medium == "audio" else self.video
        if stream.ended:
            return True
        n = loop * self.frame_count(medium) + i   # index over the whole session
        offset = self.options.get("stamp_offset", 0)
        ts_step = self.faults.get("rtp_ts_step", {})
        if medium == "audio":
            stamp = offset + n * 1024 * 1000 // self.media.sample_rate
            ts = stream.ts_base + n * (ts_step["delta"] if ts_step.get("medium") == medium else 1024)
            frame = self.media.audio_frames[i]
            payload = frame.data if self.options.get("adts", True) else frame.raw
        else:
            stamp = offset + n * 1000 // self.media.fps
            ts = stream.ts_base + n * (ts_step["delta"] if ts_step.get("medium") == medium else 90000 // self.media.fps)
            payload = self.media.video_frames[i]
            oversized = self.faults.get("oversized_video")
            if oversized and oversized["frame"] == n:
                payload = payload + bytes(max(oversized["size"] - len(payload), 0))
        for step in self.faults.get("stamp_steps", []):
            if step["medium"] == medium and step["frame"] == n:
                stamp += step["delta"]
        stamp &= 0xFFFFFFFF

        wall = self.wall_start + media_ms / 1000
        stream.last_ts, stream.last_ms = ts, media_ms
        reports = not self.faults.get("no_sender_reports")
        if reports and (stream.packets == 0 or media_ms >= stream.next_sr_ms):
            self.send_rtcp(stream, stream.sender_report(wall, ts), "sr")
            stream.next_sr_ms = media_ms + SR_PERIOD_MS

        fragments = self.faults.get("endless_fragments")
        if medium == "audio" and n == 0 and fragments:
            self.send_fragments(stream, ts, fragments["bytes"], fragments.get("piece", 60000))

        if medium == "audio" and n in self.faults.get("marker_before_audio", []):
            marker = MARKER_MAGIC + bytes(4) + struct.pack("<I", stamp)
            self.send_packets(stream, ts, marker, medium, n, "marker")

        body = encrypt_head(payload, self.key)
        if self.options.get("inband_header", True):
            magic = AUDIO_MAGIC if medium == "audio" else VIDEO_MAGIC
            body = magic + bytes(4) + struct.pack("<I", stamp) + body
        self.send_packets(stream, ts, body, medium, n, "frame")
        self.session.record("frame", medium=medium, index=n, stamp=stamp, rtp_ts=ts & 0xFFFFFFFF,
                            size=len(body), sha256=hashlib.sha256(body).hexdigest())

        for fault in self.faults.get("malformed", []):
            if fault.get("medium", "video") == medium and fault["after_frame"] == n:
                self.send_malformed(stream, fault["kind"], ts)
        bye_after = self.faults.get("bye_after_frames", {}).get(medium)
        if bye_after is not None and n + 1 == bye_after:
            self.end_stream(stream)
        close_after = self.faults.get("close_after_frames")
        if close_after is not None and self.session.frames_sent() >= close_after:
            self.session.close_get()
            return False
        return True

    def send_packets(self, stream, ts, body, medium, index, kind):
        packets = []
        if medium == "audio":
            if len(body) >= 1 << self.sizelength:
                raise ValueError("audio frame of %d bytes does not fit an AU header" % len(body))
            packets.append((True, self.au_headers(len(body)) + body))
        else:
            size = self.options.get("packet_size", 1400)
            pieces = [body[at:at + size] for at in range(0, len(body), size)] or [b""]
            packets += [(k == len(pieces) - 1, piece) for k, piece in enumerate(pieces)]
        left_out = self.faults.get("drop_packets", {}).get(medium, [])
        for marker, payload in packets:
            packet = stream.rtp(ts, marker, payload)
            position = stream.index
            stream.index += 1
            dropped = position in left_out
            self.session.record("rtp", medium=medium, channel=stream.channel, index=position,
                                seq=(stream.seq - 1) & 0xFFFF, ts=ts & 0xFFFFFFFF, marker=marker,
                                size=len(packet), payload_size=len(payload), frame=index, kind=kind,
                                dropped=dropped)
            if dropped:
                continue
            stream.packets += 1
            stream.octets += len(payload)
            self.session.send_interleaved(stream.channel, packet)

    def au_headers(self, size):
        """The AU-headers-length and one AU header: the size in sizelength
        bits, then the AU-index 0 in 3 bits, padded to whole bytes."""
        bits = self.sizelength + 3
        length = (bits + 7) // 8
        return struct.pack("!H", bits) + ((size << 3) << (length * 8 - bits)).to_bytes(length, "big")

    def send_fragments(self, stream, ts, total, piece):
        """Fragments of one AU whose header claims the largest size the field
        holds, none marked as its last, `total` bytes in all."""
        declared = (1 << self.sizelength) - 1
        head = self.au_headers(declared)
        sent = packets = 0
        while sent < total:
            payload = bytes(min(piece, total - sent))
            stream.packets += 1
            stream.octets += len(head) + len(payload)
            self.session.send_interleaved(stream.channel, stream.rtp(ts, False, head + payload))
            sent += len(payload)
            packets += 1
        self.session.record("fragments", medium=stream.medium, channel=stream.channel, declared=declared,
                            packets=packets, bytes=sent)

    def send_rtcp(self, stream, packet, kind):
        self.session.record("rtcp", medium=stream.medium, channel=stream.rtcp_channel, kind=kind,
                            ssrc=stream.ssrc, packets=stream.packets, octets=stream.octets)
        self.session.send_interleaved(stream.rtcp_channel, packet)

    def end_stream(self, stream):
        if stream.ended:
            return
        if self.faults.get("no_sender_reports"):
            self.send_rtcp(stream, stream.bye(), "bye")
        else:
            report = stream.sender_report(self.wall_start + stream.last_ms / 1000, stream.last_ts)
            self.send_rtcp(stream, report + stream.bye(), "sr+bye")
        stream.ended = True

    def send_malformed(self, stream, kind, ts):
        good = struct.pack("!BBHII", 0x80, 0x80 | stream.payload_type, stream.seq, ts, stream.ssrc)
        packets = {
            "rtp_version": (stream.channel, b"\x40" + good[1:] + b"abcd"),
            "rtp_short": (stream.channel, good[:11]),
            "rtp_padding": (stream.channel, b"\xa0" + good[1:] + b"ab\x09"),
            "rtp_foreign_type": (stream.channel, good[:1] + bytes([0x80 | 33]) + good[2:] + b"abcd"),
            "rtcp_length": (stream.rtcp_channel, struct.pack("!BBHI", 0x80, 200, 40, stream.ssrc)),
            "rtcp_version": (stream.rtcp_channel, struct.pack("!BBHI", 0x40, 201, 1, stream.ssrc)),
            "unknown_channel": (40, good + b"abcd"),
        }
        channel, packet = packets[kind]
        self.session.record("malformed", medium=stream.medium, channel=channel, kind=kind)
        self.session.send_interleaved(channel, packet)
