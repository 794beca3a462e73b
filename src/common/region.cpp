#include "common/tlx_pc_cmn_region.h"

#include <mutex>
#include <string>

namespace {

constexpr TlxPcCmnRegionRow kRegionTable[] = {
    {u"US", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", kTlxPcCmnColorSystemNtsc},
    {u"JP", u"TlxPcResourceJP.dll", nullptr, 0x301, u"QZM-K3JP", kTlxPcCmnColorSystemNtsc},
    {u"TW", u"TlxPcResourceTW.dll", nullptr, 0x302, u"QZM-K3TW", kTlxPcCmnColorSystemNtsc},
    {u"KR", u"TlxPcResourceKR.dll", nullptr, 0x303, u"QZM-K3KR", kTlxPcCmnColorSystemNtsc},
    {u"EU-GB", u"TlxPcResourceGB.dll", u"TLPC3HelpGB.chm", 0x310, u"QZM-K3EU", kTlxPcCmnColorSystemPal},
    {u"EU-FR", u"TlxPcResourceFR.dll", u"TLPC3HelpFR.chm", 0x310, u"QZM-K3EU", kTlxPcCmnColorSystemPal},
    {u"EU-DE", u"TlxPcResourceDE.dll", u"TLPC3HelpDE.chm", 0x310, u"QZM-K3EU", kTlxPcCmnColorSystemPal},
    {u"EU-IT", u"TlxPcResourceIT.dll", u"TLPC3HelpIT.chm", 0x310, u"QZM-K3EU", kTlxPcCmnColorSystemPal},
    {u"EU-ES", u"TlxPcResourceES.dll", u"TLPC3HelpES.chm", 0x310, u"QZM-K3EU", kTlxPcCmnColorSystemPal},
};

// The build's region code, given by the build.
constexpr WCHAR kBuildRegion[] = TLX_REGION_CODE;

constexpr WCHAR kRegistryPrefix[] = u"Software\\Marovi Corporation\\TLX\\";
constexpr WCHAR kRegistrySuffix[] = u"\\App";

// The language mode: written by TlxPcCmnSetLanguageMode, read by nothing.
std::mutex g_languageModeLock;
std::u16string g_languageMode;

}  // namespace

const TlxPcCmnRegionRow& TlxPcCmnFindRegionRow(const WCHAR* code) {
  if (code != nullptr) {
    const std::u16string_view wanted(code);
    for (const TlxPcCmnRegionRow& row : kRegionTable) {
      if (wanted == row.code) return row;
    }
  }
  return kRegionTable[0];
}

const TlxPcCmnRegionRow& TlxPcCmnCurrentRegionRow() { return TlxPcCmnFindRegionRow(kBuildRegion); }

void TlxPcCmnGetLanguageMode(CString& out) { out = CString(kBuildRegion); }

void TlxPcCmnSetLanguageMode(const WCHAR* mode) {
  std::lock_guard lock(g_languageModeLock);
  g_languageMode = mode != nullptr ? mode : u"";
}

void TlxPcCmnGetResourceDllName(CString& out) { out = CString(TlxPcCmnCurrentRegionRow().resourceDllName); }

int TlxPcCmnGetModelIdForMiddle() { return TlxPcCmnCurrentRegionRow().modelIdForMiddle; }

void TlxPcCmnGetLangAndModel(CString& first, CString& second) {
  first = CString(TlxPcCmnCurrentRegionRow().modelName);
  second = CString(TlxPcCmnCurrentRegionRow().code);
}

int TlxPcCmnGetDefaultColorSystem() { return TlxPcCmnCurrentRegionRow().defaultColorSystem; }

void TlxPcCmnGetRegistryPath(CString& out) {
  out = CString(kRegistryPrefix) + CString(TlxPcCmnCurrentRegionRow().modelName) + CString(kRegistrySuffix);
}
