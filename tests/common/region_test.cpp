#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/tlx_pc_cmn_file_path.h"
#include "common/tlx_pc_cmn_help.h"
#include "common/tlx_pc_cmn_region.h"
#include "common/tlx_pc_cmn_system.h"
#include "resources/tlx_pc_resource.h"

namespace {

std::u16string Text(const WCHAR* text) { return text != nullptr ? std::u16string(text) : u"(null)"; }
std::u16string Text(const CString& text) { return std::u16string(text.GetString()); }

TEST(Region, LookupTable) {
  struct Case {
    const char16_t* code;
    const char16_t* dll;
    const char16_t* help;  // null: the default help file
    int modelId;
    const char16_t* model;
    int color;
  };
  const Case cases[] = {
      {u"US", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
      {u"JP", u"TlxPcResourceJP.dll", nullptr, 0x301, u"QZM-K3JP", 1},
      {u"TW", u"TlxPcResourceTW.dll", nullptr, 0x302, u"QZM-K3TW", 1},
      {u"KR", u"TlxPcResourceKR.dll", nullptr, 0x303, u"QZM-K3KR", 1},
      {u"EU-GB", u"TlxPcResourceGB.dll", u"TLPC3HelpGB.chm", 0x310, u"QZM-K3EU", 2},
      {u"EU-FR", u"TlxPcResourceFR.dll", u"TLPC3HelpFR.chm", 0x310, u"QZM-K3EU", 2},
      {u"EU-DE", u"TlxPcResourceDE.dll", u"TLPC3HelpDE.chm", 0x310, u"QZM-K3EU", 2},
      {u"EU-IT", u"TlxPcResourceIT.dll", u"TLPC3HelpIT.chm", 0x310, u"QZM-K3EU", 2},
      {u"EU-ES", u"TlxPcResourceES.dll", u"TLPC3HelpES.chm", 0x310, u"QZM-K3EU", 2},
      // No exact match: row 0.
      {u"", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
      {u"jp", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
      {u"XX", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
      {u"EU", u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
      {nullptr, u"TlxPcResourceUS.dll", nullptr, 0x300, u"QZM-K3US", 1},
  };
  for (const Case& c : cases) {
    const TlxPcCmnRegionRow& row = TlxPcCmnFindRegionRow(c.code);
    const std::string label = c.code != nullptr ? std::string(c.code, c.code + std::u16string(c.code).size()) : "null";
    EXPECT_EQ(Text(c.dll), Text(row.resourceDllName)) << label;
    EXPECT_EQ(Text(c.help), Text(row.helpFile)) << label;
    EXPECT_EQ(c.modelId, row.modelIdForMiddle) << label;
    EXPECT_EQ(Text(c.model), Text(row.modelName)) << label;
    EXPECT_EQ(c.color, row.defaultColorSystem) << label;
  }
}

TEST(Region, GettersOfTheDefaultBuild) {
  CString text, first, second;
  TlxPcCmnGetLanguageMode(text);
  EXPECT_EQ(u"JP", Text(text));
  TlxPcCmnGetResourceDllName(text);
  EXPECT_EQ(u"TlxPcResourceJP.dll", Text(text));
  EXPECT_EQ(0x301, TlxPcCmnGetModelIdForMiddle());
  TlxPcCmnGetLangAndModel(first, second);
  EXPECT_EQ(u"QZM-K3JP", Text(first));
  EXPECT_EQ(u"JP", Text(second));
  EXPECT_EQ(1, TlxPcCmnGetDefaultColorSystem());
  TlxPcCmnGetRegistryPath(text);
  EXPECT_EQ(u"Software\\Marovi Corporation\\TLX\\QZM-K3JP\\App", Text(text));

  TlxPcCmnSetLanguageMode(u"US");
  TlxPcCmnGetRegistryPath(text);
  EXPECT_EQ(u"Software\\Marovi Corporation\\TLX\\QZM-K3JP\\App", Text(text));
  TlxPcCmnGetLanguageMode(text);
  EXPECT_EQ(u"JP", Text(text));
  TlxPcCmnSetLanguageMode(nullptr);
}

struct HelpCall {
  std::u16string file;
  UINT command;
  DWORD_PTR data;
};
std::vector<HelpCall> g_helpCalls;

void RecordHelp(const WCHAR* file, UINT command, DWORD_PTR data) {
  g_helpCalls.push_back({file != nullptr ? file : u"", command, command == HH_INITIALIZE ? 0 : data});
}

// The library took one count when it was loaded.
TEST(Help, TheCountCallsThePresenterAtItsEdges) {
  g_helpCalls.clear();
  const TlxPcCmnHelpPresenter previous = TlxPcCmnSetHelpPresenter(RecordHelp);
  TlxPcCmnHtmlHelpInitialize();
  TlxPcCmnHtmlHelpUninitialize();
  EXPECT_TRUE(g_helpCalls.empty()) << "a matched pair from count 1";

  TlxPcCmnHtmlHelpUninitialize();
  ASSERT_EQ(1u, g_helpCalls.size()) << "dropping from 1";
  EXPECT_EQ(HH_UNINITIALIZE, g_helpCalls[0].command);
  TlxPcCmnHtmlHelpUninitialize();
  EXPECT_EQ(1u, g_helpCalls.size()) << "nothing at 0";

  TlxPcCmnHtmlHelpInitialize();
  ASSERT_EQ(2u, g_helpCalls.size()) << "initialise at 0";
  EXPECT_EQ(HH_INITIALIZE, g_helpCalls[1].command);
  TlxPcCmnHtmlHelpInitialize();
  TlxPcCmnHtmlHelpUninitialize();
  EXPECT_EQ(2u, g_helpCalls.size()) << "back at count 1, as loaded";

  TlxPcCmnHtmlHelpContext(1234);
  ASSERT_EQ(3u, g_helpCalls.size());
  EXPECT_EQ(u"TLPC3Help.chm", g_helpCalls[2].file) << "string 19950 of the library's own table";
  EXPECT_EQ(HH_HELP_CONTEXT, g_helpCalls[2].command);
  EXPECT_EQ(1234u, g_helpCalls[2].data);
  EXPECT_EQ(RecordHelp, TlxPcCmnSetHelpPresenter(previous));
}

TEST(Help, EachRowNamesItsHelpFile) {
  EXPECT_EQ(u"TLPC3HelpGB.chm", Text(TlxPcCmnHelpFileOf(TlxPcCmnFindRegionRow(u"EU-GB"))));
  EXPECT_EQ(u"TLPC3HelpES.chm", Text(TlxPcCmnHelpFileOf(TlxPcCmnFindRegionRow(u"EU-ES"))));
  EXPECT_EQ(u"TLPC3Help.chm", Text(TlxPcCmnHelpFileOf(TlxPcCmnFindRegionRow(u"US"))));
}

// Loading the library put its string table into the resource chain.
TEST(Registration, TheLibraryStringsAreInTheChain) {
  const struct {
    UINT id;
    const char16_t* text;
  } strings[] = {{11000, u"Aspect"}, {19950, u"TLPC3Help.chm"}};
  for (const auto& string : strings) {
    WCHAR text[64] = {};
    EXPECT_LT(0, LoadStringW(AfxFindStringResourceHandle(string.id), string.id, text, 64)) << string.id;
    EXPECT_EQ(std::u16string(string.text), Text(text)) << string.id;
  }
}

TEST(FilePath, NameAndFolderOfPaths) {
  struct Case {
    const char16_t* path;
    const char16_t* name;
    const char16_t* folder;
  };
  const Case cases[] = {
      {u"C:\\dir\\file.txt", u"file.txt", u"C:\\dir\\"},
      {u"C:file.txt", u"file.txt", u"C:"},
      {u"file.txt", u"file.txt", u""},
      {u"", u"", u""},
      {u"/usr/lib/x.so", u"x.so", u"/usr/lib/"},
      {u"dir\\", u"", u"dir\\"},
      {u"a/b\\c", u"c", u"a/b\\"},
      {u"C:", u"", u"C:"},
      {u"C:\\a:b", u"a:b", u"C:\\"},
      // A surrogate pair is one character: its low half is never taken for a
      // separator or split from its high half.
      {u"\U0001F4C1/\U0001F4C4", u"\U0001F4C4", u"\U0001F4C1/"},
      // A lone high surrogate does not swallow the separator after it.
      {u"a\xD83D\\b", u"b", u"a\xD83D\\"},
  };
  for (const Case& c : cases) {
    const std::u16string path(c.path);
    const std::string label(path.begin(), path.end());
    const WCHAR* name = TlxPcCmnGetFileNamePtr(c.path);
    EXPECT_EQ(std::u16string(c.name), Text(name)) << label;
    EXPECT_TRUE(name >= c.path && name <= c.path + path.size()) << label << ": a pointer into the path";
    CString folder(u"unchanged");
    TlxPcCmnExtractFilePath(c.path, folder);
    EXPECT_EQ(std::u16string(c.folder), Text(folder)) << label;
  }
  EXPECT_EQ(nullptr, TlxPcCmnGetFileNamePtr(nullptr));
  CString kept(u"kept");
  TlxPcCmnExtractFilePath(nullptr, kept);
  EXPECT_EQ(u"kept", Text(kept));
}

TEST(System, ChecksOfThisPlatform) {
  EXPECT_EQ(TRUE, TlxPcCmnIsWindowsVistaOrNewer());
  EXPECT_EQ(TRUE, TlxPcCmnIsDX9Installed());
  EXPECT_EQ(geteuid() == 0 ? TRUE : FALSE, TlxPcCmnIsCurrentUserLocalAdministrator());
}

}  // namespace
