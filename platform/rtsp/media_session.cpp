#include "rtsp/media_session.h"

#include <strings.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// A whole decimal number within [0, max].
bool ParseUnsigned(std::string_view text, unsigned long max, unsigned long* out) {
  unsigned long value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value > max) {
    return false;
  }
  *out = value;
  return true;
}

// Splits off the text before the first `separator`; the rest stays in *text.
std::string_view Take(std::string_view* text, char separator) {
  size_t at = text->find(separator);
  std::string_view head = text->substr(0, at);
  text->remove_prefix(at == std::string_view::npos ? text->size() : at + 1);
  return head;
}

struct StaticType {
  unsigned payloadType;
  const char* name;
  unsigned clock;
  unsigned channels;
};

// The static payload types with their clocks.
constexpr StaticType kStaticTypes[] = {
    {0, "PCMU", 8000, 1},   {3, "GSM", 8000, 1},     {4, "G723", 8000, 1},
    {5, "DVI4", 8000, 1},   {6, "DVI4", 16000, 1},   {7, "LPC", 8000, 1},
    {8, "PCMA", 8000, 1},   {9, "G722", 8000, 1},    {10, "L16", 44100, 2},
    {11, "L16", 44100, 1},  {12, "QCELP", 8000, 1},  {13, "CN", 8000, 1},
    {14, "MPA", 90000, 1},  {15, "G728", 8000, 1},   {16, "DVI4", 11025, 1},
    {17, "DVI4", 22050, 1}, {18, "G729", 8000, 1},   {25, "CELB", 90000, 1},
    {26, "JPEG", 90000, 1}, {28, "NV", 90000, 1},    {31, "H261", 90000, 1},
    {32, "MPV", 90000, 1},  {33, "MP2T", 90000, 1},  {34, "H263", 90000, 1},
};

const StaticType* FindStatic(unsigned payloadType) {
  for (const StaticType& t : kStaticTypes) {
    if (t.payloadType == payloadType) return &t;
  }
  return nullptr;
}

}  // namespace

unsigned StaticPayloadClock(unsigned payloadType) {
  const StaticType* t = FindStatic(payloadType);
  return t == nullptr ? 0 : t->clock;
}

MediaSubsession::~MediaSubsession() { deInitiate(); }

void MediaSubsession::parseAttribute(std::string_view attribute) {
  std::string_view value = attribute;
  const std::string_view name = Take(&value, ':');
  unsigned long number = 0;
  if (name == "control") {
    fControlPath = std::string(Trim(value));
  } else if (name == "rtpmap") {
    // <pt> <name>/<rate>[/<channels>]
    std::string_view rest = Trim(value);
    const std::string_view pt = Take(&rest, ' ');
    if (!ParseUnsigned(pt, 127, &number) || number != fPayloadFormat) return;
    rest = Trim(rest);
    const std::string_view codec = Take(&rest, '/');
    const std::string_view rate = Take(&rest, '/');
    unsigned long clock = 0, channels = 1;
    if (codec.empty() || !ParseUnsigned(Trim(rate), 0xFFFFFFFFul, &clock) || clock == 0) return;
    if (!rest.empty() && (!ParseUnsigned(Trim(rest), 255, &channels) || channels == 0)) return;
    fCodecName.assign(codec);
    for (char& c : fCodecName) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    fTimestampFrequency = static_cast<unsigned>(clock);
    fNumChannels = static_cast<unsigned>(channels);
  } else if (name == "fmtp") {
    std::string_view rest = Trim(value);
    const std::string_view pt = Take(&rest, ' ');
    if (!ParseUnsigned(pt, 127, &number) || number != fPayloadFormat) return;
    while (!rest.empty()) {
      std::string_view pair = Trim(Take(&rest, ';'));
      const size_t eq = pair.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string_view key = Trim(pair.substr(0, eq));
      const std::string_view text = Trim(pair.substr(eq + 1));
      unsigned long n = 0;
      const bool isNumber = ParseUnsigned(text, 0xFFFFFFFFul, &n);
      if (EqualsNoCase(key, "mode")) {
        fFmtpMode.assign(text);
      } else if (EqualsNoCase(key, "config")) {
        fFmtpConfig.assign(text);
      } else if (EqualsNoCase(key, "sizelength") && isNumber && n <= 32) {
        fFmtpSizeLength = static_cast<unsigned>(n);
      } else if (EqualsNoCase(key, "indexlength") && isNumber && n <= 32) {
        fFmtpIndexLength = static_cast<unsigned>(n);
      } else if (EqualsNoCase(key, "indexdeltalength") && isNumber && n <= 32) {
        fFmtpIndexDeltaLength = static_cast<unsigned>(n);
      } else if (EqualsNoCase(key, "profile-level-id") && isNumber) {
        fFmtpProfileLevelId = static_cast<unsigned>(n);
      } else if (EqualsNoCase(key, "streamtype") && isNumber) {
        fFmtpStreamType = static_cast<unsigned>(n);
      }
    }
  } else if (name == "x-dimensions") {
    std::string_view rest = Trim(value);
    unsigned long w = 0, h = 0;
    const std::string_view width = Trim(Take(&rest, ','));
    if (ParseUnsigned(width, 0xFFFF, &w) && ParseUnsigned(Trim(rest), 0xFFFF, &h)) {
      fVideoWidth = static_cast<unsigned short>(w);
      fVideoHeight = static_cast<unsigned short>(h);
    }
  } else if (name == "framerate") {
    const std::string text(Trim(value));
    char* end = nullptr;
    const double fps = std::strtod(text.c_str(), &end);
    if (!text.empty() && end == text.c_str() + text.size() && fps > 0 && fps < 1000) fVideoFPS = fps;
  }
}

bool MediaSubsession::initiate(int /*useSpecialRTPoffset*/) {
  if (fRTPSource) return true;
  UsageEnvironment& env = fParent.envir();
  if (fTimestampFrequency == 0) {
    env.setResultMsg("no RTP clock rate for payload type ", std::to_string(fPayloadFormat));
    return false;
  }
  AuHeaderLayout layout{fFmtpSizeLength, fFmtpIndexLength, fFmtpIndexDeltaLength};
  fRTPSource = std::make_unique<RTPSource>(env, fPayloadFormat, fTimestampFrequency, layout);
  fRTCPInstance = std::make_unique<RTCPInstance>(env, fRTPSource.get());
  return true;
}

void MediaSubsession::deInitiate() {
  fRTCPInstance.reset();
  fRTPSource.reset();
}

MediaSession* MediaSession::createNew(UsageEnvironment& env, const char* sdpDescription) {
  auto session = std::unique_ptr<MediaSession>(new MediaSession(env));
  if (sdpDescription == nullptr || !session->parse(sdpDescription)) return nullptr;
  return session.release();
}

MediaSession::~MediaSession() = default;

bool MediaSession::parse(std::string_view sdp) {
  MediaSubsession* current = nullptr;
  bool inIgnoredMedium = false;  // attributes of a malformed m= line go nowhere
  while (!sdp.empty()) {
    std::string_view line = Take(&sdp, '\n');
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kSdpMaxLineBytes) {
      fEnv.setResultMsg("description line longer than 4 KiB");
      return false;
    }
    if (line.starts_with("m=")) {
      // m=<medium> <port>[/<count>] <protocol> <payload type> ...
      std::string_view rest = line.substr(2);
      const std::string_view medium = Take(&rest, ' ');
      std::string_view portText = Take(&rest, ' ');
      const std::string_view protocol = Take(&rest, ' ');
      const std::string_view format = Take(&rest, ' ');
      unsigned long port = 0, pt = 0;
      if (medium.empty() || protocol.empty() ||
          !ParseUnsigned(Take(&portText, '/'), 0xFFFF, &port) || !ParseUnsigned(format, 127, &pt)) {
        current = nullptr;
        inIgnoredMedium = true;
        continue;
      }
      if (fSubsessions.size() == kSdpMaxSubsessions) {
        fEnv.setResultMsg("description lists more than 16 media");
        return false;
      }
      fSubsessions.push_back(std::unique_ptr<MediaSubsession>(new MediaSubsession(*this)));
      current = fSubsessions.back().get();
      inIgnoredMedium = false;
      current->fMediumName.assign(medium);
      current->fServerPortNum = static_cast<unsigned short>(port);
      current->fProtocolName.assign(protocol);
      current->fPayloadFormat = static_cast<unsigned char>(pt);
      if (const StaticType* t = FindStatic(static_cast<unsigned>(pt))) {
        current->fCodecName = t->name;
        current->fTimestampFrequency = t->clock;
        current->fNumChannels = t->channels;
      }
      continue;
    }
    if (!line.starts_with("a=")) continue;
    const std::string_view attribute = line.substr(2);
    if (current != nullptr) {
      current->parseAttribute(attribute);
    } else if (!inIgnoredMedium) {
      if (attribute.starts_with("control:")) {
        fControlPath = std::string(Trim(attribute.substr(8)));
      } else if (attribute.starts_with("range:")) {
        fRange = std::string(Trim(attribute.substr(6)));
      }
    }
  }
  if (fSubsessions.empty()) {
    fEnv.setResultMsg("description lists no medium");
    return false;
  }
  return true;
}

MediaSubsession* MediaSubsessionIterator::next() {
  const auto& all = fSession.subsessions();
  return fNext < all.size() ? all[fNext++].get() : nullptr;
}
