#include <charconv>
#include <cstring>
#include <string_view>

#include "utility/tlx_utility.h"

namespace {

// The item names in record order; item n is field n and presence bit n.
constexpr const char* kItemNames[] = {"vbr", "vmbr", "vfr", "vw",   "vh", "vtype",
                                      "vfl", "abr",  "ambr", "asr", "afl"};
constexpr int kItemCount = sizeof kItemNames / sizeof kItemNames[0];
constexpr int kVfr = 2, kVw = 3, kVh = 4, kAsr = 9;

uint32_t* Field(TlxQualityParam* rec, int item) { return &rec->vbr + item; }
uint32_t FieldValue(const TlxQualityParam* rec, int item) { return (&rec->vbr)[item]; }

int ItemIndex(std::string_view name) {
  for (int i = 0; i < kItemCount; ++i) {
    if (name == kItemNames[i]) return i;
  }
  return -1;
}

struct Item {
  int index = -1;  // -1: unknown name or malformed
  uint32_t value = 0;
};

// Walks the items of a text. Each call gives the next item; `complete` is
// false for a last item without its ".".
class ItemReader {
 public:
  explicit ItemReader(std::string_view text) : fRest(text) {
    if (fRest.ends_with('/')) fRest.remove_suffix(1);
  }
  bool next(Item* item, bool* complete) {
    if (fRest.empty()) return false;
    size_t dot = fRest.find('.');
    *complete = dot != std::string_view::npos;
    std::string_view text = fRest.substr(0, dot);
    fRest.remove_prefix(*complete ? dot + 1 : fRest.size());
    *item = Item{};
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) return true;
    std::string_view digits = text.substr(eq + 1);
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || digits[0] < '0' || digits[0] > '9' || ec != std::errc() ||
        ptr != digits.data() + digits.size()) {
      return true;
    }
    item->index = ItemIndex(text.substr(0, eq));
    item->value = value;
    return true;
  }

 private:
  std::string_view fRest;
};

}  // namespace

extern "C" int getDspQuality(const char* text, TlxQualityParam* rec) {
  if (text == nullptr || rec == nullptr) return 1;
  TlxQualityParam parsed{};
  ItemReader reader(text);
  Item item;
  bool complete = false;
  while (reader.next(&item, &complete)) {
    if (!complete || item.index < 0) return 1;
    const uint32_t bit = 1u << item.index;
    if (parsed.present & bit) return 1;
    parsed.present |= bit;
    *Field(&parsed, item.index) = item.value;
  }
  const uint32_t required = (1u << kAsr) | (1u << kVw) | (1u << kVh) | (1u << kVfr);
  if ((parsed.present & required) != required) return 1;
  *rec = parsed;
  return 0;
}

extern "C" int StringToQualityParam(const char* text, TlxQualityParam* rec) {
  if (text == nullptr || rec == nullptr) return 1;
  ItemReader reader(text);
  Item item;
  bool complete = false;
  bool took = false;
  while (reader.next(&item, &complete)) {
    if (!complete || item.index < 0) continue;
    *Field(rec, item.index) = item.value;
    rec->present |= 1u << item.index;
    took = true;
  }
  return took ? 0 : 1;
}

extern "C" int QualityParamToString(const TlxQualityParam* rec, char* out, size_t outSize) {
  if (rec == nullptr || out == nullptr) return -1;
  size_t length = 0;
  for (int i = 0; i < kItemCount; ++i) {
    if ((rec->present & (1u << i)) == 0) continue;
    char item[32];
    const size_t nameLength = std::strlen(kItemNames[i]);
    std::memcpy(item, kItemNames[i], nameLength);
    item[nameLength] = '=';
    auto [end, ec] = std::to_chars(item + nameLength + 1, item + sizeof item, FieldValue(rec, i));
    *end++ = '.';
    const size_t itemLength = static_cast<size_t>(end - item);
    if (length + itemLength + 1 > outSize) return -1;
    std::memcpy(out + length, item, itemLength);
    length += itemLength;
  }
  if (length + 1 > outSize) return -1;
  out[length] = '\0';
  return static_cast<int>(length);
}
