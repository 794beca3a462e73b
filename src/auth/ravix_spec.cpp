#include "auth/ravix_spec.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "auth/auth_log.h"

namespace tlx::auth {

namespace {

// A '/'-separated list of decimal numbers; each below 32 sets its bit. Stops
// at the first character that does not continue the list.
uint32_t ParseBitMask(const char* text) {
  uint32_t mask = 0;
  const char* p = text;
  while (*p >= '0' && *p <= '9') {
    unsigned value = 0;
    while (*p >= '0' && *p <= '9') {
      if (value < 1000) value = value * 10 + static_cast<unsigned>(*p - '0');
      ++p;
    }
    if (value < 32) mask |= 1u << value;
    if (*p != '/') break;
    ++p;
  }
  return mask;
}

// A number in C notation (decimal, 0 octal, 0x hex), clamped to int.
int ParseNumber(const char* text, int base) {
  const long value = std::strtol(text, nullptr, base);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void CopyText(char* field, size_t capacity, std::string_view value) {
  const size_t length = value.size() < capacity - 1 ? value.size() : capacity - 1;
  std::memcpy(field, value.data(), length);
  field[length] = '\0';
}

// Model type of a model name for the side flag; -1 for an unknown model.
int ModelType(const char* model, int side) {
  const std::string_view name(model);
  for (const char* exact : {"HX-Z1US", "HX-Z1JP", "HX-Z5US", "HX-Z5JP"}) {
    if (name == exact) return side == 1 ? 2 : 1;
  }
  if (name.starts_with("HX-Z")) return 3 + side;
  if (name.starts_with("HX-R")) return 3;
  if (name.starts_with("QZA-K")) return 5;
  if (name.starts_with("QZ-HHC")) return 6;
  if (name.starts_with("QZT-MAC")) return 7;
  return -1;
}

}  // namespace

int Ravix_Spec::set(const char* text) {
  std::memset(this, 0, sizeof *this);
  modelType = -1;
  if (text == nullptr || *text == '\0') return 0;

  const char* semicolon = std::strchr(text, ';');
  CopyText(spec, sizeof spec, semicolon != nullptr ? semicolon + 1 : text);

  bool modelTypeGiven = false;
  const std::string_view items(spec);
  size_t start = 0;
  while (start <= items.size()) {
    size_t end = items.find_first_of(", ", start);
    if (end == std::string_view::npos) end = items.size();
    const std::string_view item = items.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    if (item == "TLXStreamingServer") {
      side = 0;
      continue;
    }
    if (item == "TLXStreamingClient") {
      side = 1;
      continue;
    }
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = item.substr(0, equals);
    const std::string value(item.substr(equals + 1));
    if (key == "support") {
      support = ParseBitMask(value.c_str());
    } else if (key == "generation") {
      generation = ParseNumber(value.c_str(), 10);
    } else if (key == "model") {
      CopyText(model, sizeof model, value);
    } else if (key == "modeltype") {
      modelType = ParseNumber(value.c_str(), 0);
      modelTypeGiven = true;
    } else if (key == "id") {
      CopyText(id, sizeof id, value);
    } else if (key == "scaling") {
      scaling = ParseNumber(value.c_str(), 0);
    } else if (key == "codec") {
      codec = ParseBitMask(value.c_str());
    }
  }

  if (!modelTypeGiven) {
    modelType = ModelType(model, side);
    const std::string suffix = tlxFormat(", modeltype=%d", modelType);
    const size_t length = std::strlen(spec);
    if (length < 241) {
      CopyText(spec + length, sizeof spec - length, suffix);
    } else {
      tlxAuthLog("%s: _spec is too small (need %zu)\n\n", "Ravix_Spec::set", length + suffix.size() + 1);
    }
  }
  tlxAuthLog("Ravix_Spec::set:%s\n\n", spec);
  tlxAuthLog("modeltype=%d, generation=%d, support=0x%08x\n\n", modelType, generation, support);
  return 0;
}

}  // namespace tlx::auth
