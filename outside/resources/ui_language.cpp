#include <QLocale>
#include <cstdlib>

#include "resources/tlx_pc_resource.h"

namespace {

// The languages the shell's string table is written in.
struct UiLanguage {
  QLocale::Language language;
  QLocale::Territory territory;  // AnyTerritory: every territory not listed
  LANGID id;
};
constexpr UiLanguage kUiLanguages[] = {
    {QLocale::Chinese, QLocale::Taiwan, 1028},       {QLocale::German, QLocale::AnyTerritory, 1031},
    {QLocale::English, QLocale::UnitedKingdom, 2057}, {QLocale::English, QLocale::AnyTerritory, 1033},
    {QLocale::French, QLocale::AnyTerritory, 1036},  {QLocale::Japanese, QLocale::AnyTerritory, 1041},
    {QLocale::Korean, QLocale::AnyTerritory, 1042},
};

}  // namespace

LANGID TlxPcGetUiLanguage() {
  if (const char* forced = std::getenv("TLX_UI_LANGUAGE"); forced != nullptr && *forced != '\0') {
    char* end = nullptr;
    const unsigned long id = std::strtoul(forced, &end, 10);
    if (*end == '\0' && id > 0 && id <= 0xFFFF) return static_cast<LANGID>(id);
  }
  const QLocale locale = QLocale::system();
  for (const UiLanguage& entry : kUiLanguages) {
    if (locale.language() == entry.language &&
        (entry.territory == QLocale::AnyTerritory || locale.territory() == entry.territory)) {
      return entry.id;
    }
  }
  return 1033;
}
