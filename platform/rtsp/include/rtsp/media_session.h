// A session description (SDP) and the streams it lists. Each subsession,
// once initiated, owns the RTP source and the RTCP instance that receive its
// stream over the RTSP connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtsp/media_sink.h"
#include "rtsp/rtcp_instance.h"
#include "rtsp/rtp_source.h"
#include "rtsp/usage_environment.h"

class MediaSession;

// Longest description line and most subsessions accepted.
inline constexpr size_t kSdpMaxLineBytes = 4096;
inline constexpr size_t kSdpMaxSubsessions = 16;

class MediaSubsession {
 public:
  ~MediaSubsession();
  MediaSubsession(const MediaSubsession&) = delete;
  MediaSubsession& operator=(const MediaSubsession&) = delete;

  MediaSession& parentSession() const { return fParent; }
  const char* mediumName() const { return fMediumName.c_str(); }
  const char* protocolName() const { return fProtocolName.c_str(); }
  const char* codecName() const { return fCodecName.c_str(); }
  const char* controlPath() const { return fControlPath.c_str(); }
  unsigned short serverPortNum() const { return fServerPortNum; }
  unsigned char rtpPayloadFormat() const { return fPayloadFormat; }
  unsigned rtpTimestampFrequency() const { return fTimestampFrequency; }
  unsigned numChannels() const { return fNumChannels; }
  unsigned short videoWidth() const { return fVideoWidth; }
  unsigned short videoHeight() const { return fVideoHeight; }
  double videoFPS() const { return fVideoFPS; }

  // fmtp values: text ones are empty, numbers 0 when absent.
  const char* fmtp_mode() const { return fFmtpMode.c_str(); }
  const char* fmtp_config() const { return fFmtpConfig.c_str(); }
  unsigned fmtp_sizelength() const { return fFmtpSizeLength; }
  unsigned fmtp_indexlength() const { return fFmtpIndexLength; }
  unsigned fmtp_indexdeltalength() const { return fFmtpIndexDeltaLength; }
  unsigned fmtp_profile_level_id() const { return fFmtpProfileLevelId; }
  unsigned fmtp_streamtype() const { return fFmtpStreamType; }

  // The client port is an attribute only: no socket is bound to it.
  void setClientPortNum(unsigned short portNum) { fClientPortNum = portNum; }
  unsigned short clientPortNum() const { return fClientPortNum; }

  // Creates the read source and the RTCP instance. The stream always comes
  // over the RTSP connection, so no UDP socket is bound (the port argument is
  // ignored). Fails when the payload type has no clock: a dynamic one without
  // rtpmap, or a static one the table does not know.
  bool initiate(int useSpecialRTPoffset = -1);
  FramedSource* readSource() const { return fRTPSource.get(); }
  RTPSource* rtpSource() const { return fRTPSource.get(); }
  RTCPInstance* rtcpInstance() const { return fRTCPInstance.get(); }
  // Deletes the source and the RTCP instance.
  void deInitiate();

  // The interleaved channels SETUP agreed on (-1 before it).
  int rtpChannelId = -1;
  int rtcpChannelId = -1;
  // The session id of the server's SETUP answer, and the sink the owner
  // attached (not owned).
  std::string sessionId;
  MediaSink* sink = nullptr;

 private:
  friend class MediaSession;
  explicit MediaSubsession(MediaSession& parent) : fParent(parent) {}
  // One attribute line ("a=" removed) of this medium's section.
  void parseAttribute(std::string_view attribute);

  MediaSession& fParent;
  std::string fMediumName, fProtocolName, fCodecName, fControlPath;
  unsigned short fServerPortNum = 0;
  unsigned char fPayloadFormat = 0;
  unsigned fTimestampFrequency = 0;
  unsigned fNumChannels = 1;
  unsigned short fVideoWidth = 0, fVideoHeight = 0;
  double fVideoFPS = 0;
  std::string fFmtpMode, fFmtpConfig;
  unsigned fFmtpSizeLength = 0, fFmtpIndexLength = 0, fFmtpIndexDeltaLength = 0;
  unsigned fFmtpProfileLevelId = 0, fFmtpStreamType = 0;
  unsigned short fClientPortNum = 0;
  std::unique_ptr<RTPSource> fRTPSource;
  std::unique_ptr<RTCPInstance> fRTCPInstance;
};

class MediaSession {
 public:
  // Parses the description; null (with the reason as the result message)
  // when it lists no medium, more than kSdpMaxSubsessions, has a line longer
  // than kSdpMaxLineBytes, or a bad m= line.
  static MediaSession* createNew(UsageEnvironment& env, const char* sdpDescription);
  ~MediaSession();

  UsageEnvironment& envir() const { return fEnv; }
  const char* controlPath() const { return fControlPath.c_str(); }
  const char* rangeAttribute() const { return fRange.c_str(); }
  const std::vector<std::unique_ptr<MediaSubsession>>& subsessions() const { return fSubsessions; }

 private:
  explicit MediaSession(UsageEnvironment& env) : fEnv(env) {}
  bool parse(std::string_view sdp);

  UsageEnvironment& fEnv;
  std::string fControlPath;
  std::string fRange;
  std::vector<std::unique_ptr<MediaSubsession>> fSubsessions;
};

// Walks the subsessions of a session in description order.
class MediaSubsessionIterator {
 public:
  explicit MediaSubsessionIterator(const MediaSession& session) : fSession(session) {}
  // The next subsession, or null after the last.
  MediaSubsession* next();
  void reset() { fNext = 0; }

 private:
  const MediaSession& fSession;
  size_t fNext = 0;
};

// The clock rate of a static RTP payload type, 0 for an unknown one.
unsigned StaticPayloadClock(unsigned payloadType);
