"""The media the base station streams: elementary-stream fixtures cut into
frames, and the session description that announces them
(platform/rtsp/base_station_stream.md).

MPEG-4 Part 2 is cut at the first start code after each VOP start code, so a
frame runs from the end of the previous VOP to the end of its own (the first
one carries the sequence headers). AVC is cut at each access-unit delimiter.
ADTS is cut by the frame-length field of each header.
"""

VOP_START = b"\x00\x00\x01\xb6"
VOS_START = b"\x00\x00\x01\xb0"
AUD = b"\x00\x00\x00\x01\x09"
SAMPLE_RATES = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000]


class MediaError(Exception):
    pass


def split_m4v(data):
    frames = []
    start = 0
    at = data.find(VOP_START)
    while at >= 0:
        end = data.find(b"\x00\x00\x01", at + 4)
        end = len(data) if end < 0 else end
        frames.append(data[start:end])
        start = end
        at = data.find(VOP_START, end)
    if not frames:
        raise MediaError("no VOP in the MPEG-4 stream")
    if start < len(data):
        frames[-1] += data[start:]  # trailing end code
    return frames


def m4v_config(data):
    """(profile-level-id, the bytes before the first VOP start code)."""
    first = data.find(VOP_START)
    if first < 0:
        raise MediaError("no VOP in the MPEG-4 stream")
    vos = data.find(VOS_START, 0, first)
    profile = data[vos + 4] if vos >= 0 and vos + 4 < first else 1
    return profile, data[:first]


def split_h264(data):
    starts = []
    at = data.find(AUD)
    while at >= 0:
        starts.append(at)
        at = data.find(AUD, at + len(AUD))
    if not starts or starts[0] != 0:
        raise MediaError("the AVC stream does not begin with an access-unit delimiter")
    return [data[s:e] for s, e in zip(starts, starts[1:] + [len(data)])]


class AdtsFrame:
    def __init__(self, data):
        self.data = data
        self.protection_absent = data[1] & 1
        self.object_type = (data[2] >> 6) + 1
        self.rate_index = (data[2] >> 2) & 0x0F
        self.channels = ((data[2] & 1) << 2) | (data[3] >> 6)
        self.header_size = 7 if self.protection_absent else 9

    @property
    def raw(self):
        return self.data[self.header_size:]


def split_adts(data):
    frames = []
    at = 0
    while at < len(data):
        if at + 7 > len(data) or data[at] != 0xFF or (data[at + 1] & 0xF6) != 0xF0:
            raise MediaError("no ADTS header at byte %d" % at)
        length = ((data[at + 3] & 3) << 11) | (data[at + 4] << 3) | (data[at + 5] >> 5)
        if length < 7 or at + length > len(data):
            raise MediaError("bad ADTS frame length at byte %d" % at)
        frames.append(AdtsFrame(data[at:at + length]))
        at += length
    if not frames:
        raise MediaError("empty ADTS stream")
    return frames


class Media:
    """options: {"video": path, "video_codec": "mpeg4"|"avc", "width", "height",
    "fps", "audio": path (ADTS)}."""

    def __init__(self, options):
        with open(options["video"], "rb") as f:
            video = f.read()
        with open(options["audio"], "rb") as f:
            audio = f.read()
        self.video_codec = options.get("video_codec", "mpeg4")
        self.width = int(options.get("width", 320))
        self.height = int(options.get("height", 240))
        self.fps = int(options.get("fps", 30))
        if self.video_codec == "mpeg4":
            self.video_frames = split_m4v(video)
            self.profile, self.config = m4v_config(video)
        elif self.video_codec == "avc":
            self.video_frames = split_h264(video)
        else:
            raise MediaError("unknown video codec %r" % self.video_codec)
        self.audio_frames = split_adts(audio)
        first = self.audio_frames[0]
        if first.rate_index >= len(SAMPLE_RATES):
            raise MediaError("ADTS sampling index %d" % first.rate_index)
        self.sample_rate = SAMPLE_RATES[first.rate_index]
        self.channels = first.channels
        asc = (first.object_type << 11) | (first.rate_index << 7) | (first.channels << 3)
        self.audio_config = asc.to_bytes(2, "big")

    def sdp(self, session_id, address, tracks=("audio", "video"), sizelength=13):
        """The description of the tracks, one media section each in that
        order, the n-th (from 1) controlled by trackID=n. Audio and video are
        the fixtures' (the audio with AU sizes of `sizelength` bits); any other
        kind is a data stream of payload type 98."""
        lines = [
            "v=0",
            "o=- %s 1 IN IP4 %s" % (session_id, address),
            "s=Live",
            "c=IN IP4 0.0.0.0",
            "t=0 0",
            "a=control:*",
            "a=range:npt=0-",
        ]
        for n, kind in enumerate(tracks, 1):
            lines += self.section(kind, sizelength) + ["a=control:trackID=%d" % n]
        return "".join(line + "\r\n" for line in lines)

    def section(self, kind, sizelength):
        if kind == "audio":
            return [
                "m=audio 0 RTP/AVP 96",
                "a=rtpmap:96 MPEG4-GENERIC/%d/%d" % (self.sample_rate, self.channels),
                "a=fmtp:96 streamtype=5;profile-level-id=15;mode=AAC-hbr;sizelength=%d;indexlength=3;"
                "indexdeltalength=3;config=%s" % (sizelength, self.audio_config.hex().upper()),
            ]
        if kind != "video":
            return ["m=%s 0 RTP/AVP 98" % kind, "a=rtpmap:98 X-TLX-DATA/90000"]
        lines = ["m=video 0 RTP/AVP 97"]
        if self.video_codec == "mpeg4":
            lines.append("a=rtpmap:97 MP4V-ES/90000")
            lines.append("a=fmtp:97 profile-level-id=%d;config=%s" % (self.profile, self.config.hex().upper()))
        else:
            lines.append("a=rtpmap:97 X-TLX-AVC/90000")
        return lines + ["a=x-dimensions:%d,%d" % (self.width, self.height), "a=framerate:%d" % self.fps]
