#include "remote/data/rcd_codec.h"

#include <cstring>

#include "remote/data/ses_if.h"
#include "remote/data/text_filters.h"
#include "ses/ses_coding.h"
#include "ses/ses_filter.h"
#include "ses/ses_message.h"

namespace {

constexpr uint8_t kMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};
constexpr size_t kEmptySealedSize = 20;

bool isSealed(const uint8_t* data, size_t n) { return n >= 4 && std::memcmp(data, kMarker, 4) == 0; }

std::vector<uint8_t> outputOf(const SesFilter& filter) {
  return std::vector<uint8_t>(filter.outputData(), filter.outputData() + filter.outputSize());
}

// The filter's text without its terminator.
std::string textOf(const SesFilter& filter) {
  return std::string(reinterpret_cast<const char*>(filter.outputData()),
                     filter.outputSize() > 0 ? filter.outputSize() - 1 : 0);
}

// Opens a sealed packet, or gives false.
bool openPacket(const std::vector<uint8_t>& data, const SesBlockTransform& transform, std::vector<uint8_t>& out) {
  if (!isSealed(data.data(), data.size())) return false;
  SesBytes opened;
  if (!SesMessage::open(data.data(), data.size(), transform, opened)) return false;
  out.assign(opened.data(), opened.data() + opened.size());
  return true;
}

}  // namespace

void RcdCodec::applyOption(std::string_view option) {
  if (option.substr(0, 6) == "eType:") {
    settings_.modeName = option.substr(6);
  } else if (option.substr(0, 4) == "AUX:") {
    settings_.encodingKey = option.substr(4);
  } else if (option.substr(0, 4) == "COM:") {
    settings_.decodingKey = option.substr(4);
  }
}

int RcdCodec::mode() const {
  const std::string& name = settings_.modeName;
  if (name == "c1") return 1;
  if (name == "c2") return 2;
  if (name == "c3") return 3;
  if (name == "base64") return 99;
  return settings_.defaultMode;
}

std::string RcdCodec::encodingName() const {
  if (!settings_.decodingKey.empty()) return mode() == 99 ? "base64" : "hex";
  return mode() == 2 ? "base64+c2" : "base64+c3";
}

bool RcdCodec::encode(const uint8_t* code, size_t n, std::string& text) const {
  if (!settings_.decodingKey.empty()) {
    text = mode() == 99 ? textOf(SesBase64Filter(code, static_cast<uint32_t>(n)))
                        : textOf(SesHexFilter(code, static_cast<uint32_t>(n)));
    return true;
  }
  SesBytes sealed(code, static_cast<uint32_t>(n));
  if (!isSealed(code, n) && (mode() == 2 || !settings_.encodingKey.empty())) {
    bool ok = mode() == 2 ? SesMessage::seal(code, n, SesCopyTransform(), sealed)
                          : SesMessage::seal(code, n, SesIf(settings_.encodingKey.c_str()), sealed);
    if (!ok) return false;
  }
  text = textOf(SesBase64Filter(sealed.data(), sealed.size()));
  return true;
}

std::vector<uint8_t> RcdCodec::decode(std::string_view text, const std::string& encoding) const {
  std::vector<uint8_t> data(text.begin(), text.end());
  bool hasC3 = false;
  for (const std::string& stage : tlxSplit("+", encoding.c_str())) {
    std::vector<uint8_t> next;
    if (stage == "hex") {
      next = outputOf(SesHexDecodeFilter(data.data(), static_cast<uint32_t>(data.size())));
    } else if (stage == "base64") {
      next = outputOf(SesBase64DecodeFilter(data.data(), static_cast<uint32_t>(data.size())));
    } else if (stage == "c2") {
      if (!openPacket(data, SesCopyTransform(), next)) return {};
    } else if (stage == "c3") {
      hasC3 = true;
      if (settings_.decodingKey.empty()) continue;
      if (!openPacket(data, SesIf(settings_.decodingKey.c_str()), next)) return {};
    } else {
      return {};
    }
    data = std::move(next);
  }
  if (hasC3 && settings_.decodingKey.empty() && data.size() == kEmptySealedSize) return {};
  return data;
}
