#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mfc/resources.h"
#include "resources/module_builder.h"
#include "resources/tlx_pc_resource.h"
#include "support/child_process.h"
#include "win32/modules.h"

extern "C" const unsigned char kFixtureBundle[];
extern "C" const size_t kFixtureBundle_size;

namespace {

using tlx::resources::ModuleBuilder;

// Sets the UI language for one test.
class UiLanguage {
 public:
  explicit UiLanguage(LANGID id) { setenv("TLX_UI_LANGUAGE", std::to_string(id).c_str(), 1); }
  ~UiLanguage() { unsetenv("TLX_UI_LANGUAGE"); }
};

// A loaded module, freed at the end of the test.
class Loaded {
 public:
  explicit Loaded(HINSTANCE module) : module_(module) {}
  ~Loaded() {
    if (module_ != nullptr) TlxPcFreeResourceLibrary(module_);
  }
  operator HINSTANCE() const { return module_; }

 private:
  HINSTANCE module_;
};

QByteArray Bytes(HMODULE module, UINT id, LPCSTR type) {
  HRSRC resource = FindResource(module, MAKEINTRESOURCE(id), type);
  if (resource == nullptr) return {};
  return QByteArray(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                    SizeofResource(module, resource));
}

QString String(HINSTANCE module, UINT id) {
  WCHAR buffer[256];
  const int length = LoadString(module, id, buffer, 256);
  return QString::fromUtf16(buffer, length);
}

QByteArray FileBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The shell library, loaded as the launcher loads it, for one test.
class ShellLibrary {
 public:
  ShellLibrary() : module_(LoadLibraryA("TlxPcApplication.dll")) { EXPECT_NE(nullptr, module_); }
  ~ShellLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ShellLibrary(const ShellLibrary&) = delete;
  ShellLibrary& operator=(const ShellLibrary&) = delete;

 private:
  HMODULE module_;
};

std::string FixturePath(const char* relative) { return std::string(TLX_FIXTURE_DIR) + "/" + relative; }

TEST(Resources, EachTypeIsFoundByIdAndMissedCleanly) {
  UiLanguage english(1033);
  for (const bool embedded : {false, true}) {
    SCOPED_TRACE(embedded ? "built into the program" : "bundle file");
    Loaded module(embedded ? TlxPcLoadResourceBundle(kFixtureBundle, kFixtureBundle_size)
                           : TlxPcLoadResourceLibrary("TlxPcResourceFixture.dll"));
    ASSERT_NE(nullptr, static_cast<HINSTANCE>(module));
    struct Case {
      LPCSTR type;
      UINT hit;
      const char* source;
    };
    const Case cases[] = {
        {RT_DIALOG, 20845, "dialogs/20845.json"},
        {RT_MENU, 20871, "menus/20871.json"},
        {RT_BITMAP, 11075, "BITMAP/11075.png"},
        {"IMAGE", 10500, "IMAGE/10500.png"},
        {"TLXPC_RCN_SET_FILE", 20862, "TLXPC_RCN_SET_FILE/20862.bin"},
        {"tlxpc_rcn_set_file", 21128, "TLXPC_RCN_SET_FILE/21128.bin"},
        {"TLXPC_SETUP_SET_FILE", 20865, "TLXPC_SETUP_SET_FILE/20865.bin"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.source);
      const QByteArray source = FileBytes(FixturePath(c.source));
      ASSERT_FALSE(source.isEmpty());
      EXPECT_EQ(source, Bytes(module, c.hit, c.type)) << "stored byte for byte";
      EXPECT_EQ(nullptr, FindResource(module, MAKEINTRESOURCE(999), c.type));
    }
    EXPECT_EQ(u"Connect", String(module, 100));
    EXPECT_EQ(u"Remote database", String(module, 21128)) << "string 21128 beside data table 21128";
    WCHAR untouched[4] = {u'x', u'x', 0, 0};
    EXPECT_EQ(0, LoadString(module, 102, untouched, 4));
    EXPECT_EQ(0, untouched[0]) << "a missing string gives length 0";
    EXPECT_EQ(nullptr, FindResource(module, MAKEINTRESOURCE(20862), RT_RCDATA)) << "types are separate";
  }
}

TEST(Resources, AResourceIsTakenInTheUiLanguageThenNeutralThenEnglishThenAny) {
  struct Case {
    std::vector<LANGID> has;
    LANGID ui;
    LANGID expected;
  };
  const Case cases[] = {
      {{1041, 0, 1033, 1036}, 1041, 1041},
      {{0, 1033, 1036}, 1041, 0},
      {{1033, 1036}, 1041, 1033},
      {{1042, 1036}, 1041, 1036},  // any: the lowest language
      {{1033, 2057}, 2057, 2057},
  };
  for (const Case& c : cases) {
    ModuleBuilder builder;
    for (LANGID language : c.has) {
      builder.Resource("TLXPC_SETUP_SET_FILE", 20866, QByteArray::number(language), language);
      builder.String(20866, QString::number(language), language);
    }
    Loaded module(builder.Build());
    UiLanguage ui(c.ui);
    EXPECT_EQ(QByteArray::number(c.expected), Bytes(module, 20866, "TLXPC_SETUP_SET_FILE")) << c.ui;
    EXPECT_EQ(QString::number(c.expected), String(module, 20866)) << c.ui;
  }
  UiLanguage japanese(1041);
  Loaded fixture(TlxPcLoadResourceLibrary("TlxPcResourceFixture.dll"));
  EXPECT_EQ(u"接続", String(fixture, 100));
  EXPECT_EQ(u"Settings", String(fixture, 101));
  EXPECT_EQ(FileBytes(FixturePath("BITMAP/1041/11075.png")), Bytes(fixture, 11075, RT_BITMAP));
}

TEST(Resources, TheChainIsRegionThenCommonThenShell) {
  Loaded region(ModuleBuilder().String(5, "region").String(6, "region only").Build());
  Loaded common(ModuleBuilder().String(5, "common").Resource("BITMAP", 5, "common").Build());
  Loaded shell(ModuleBuilder().String(5, "shell").String(7, "shell only").Build());
  TlxPcRegisterLibraryResources(common);
  TlxPcRegisterLibraryResources(shell);
  AfxSetResourceHandle(region);
  EXPECT_EQ(region, AfxGetResourceHandle());
  EXPECT_EQ(region, AfxFindStringResourceHandle(5));
  EXPECT_EQ(shell, AfxFindStringResourceHandle(7));
  EXPECT_EQ(common, AfxFindResourceHandle(MAKEINTRESOURCE(5), RT_BITMAP));
  EXPECT_EQ(nullptr, AfxFindStringResourceHandle(8));
  AfxSetResourceHandle(nullptr);
  EXPECT_EQ(common, AfxFindStringResourceHandle(5));
  TlxPcFreeResourceLibrary(common);
  EXPECT_EQ(shell, AfxFindStringResourceHandle(5)) << "a freed module leaves the chain";
  EXPECT_FALSE(TlxPcFreeResourceLibrary(common));
  EXPECT_EQ(nullptr, FindResource(common, MAKEINTRESOURCE(5), RT_BITMAP));
  TlxPcFreeResourceLibrary(shell);
  TlxPcFreeResourceLibrary(region);
}

TEST(Resources, TheWindowLayerFindsItsResourcesThroughTheChain) {
  Loaded fixture(TlxPcLoadResourceLibrary("TlxPcResourceFixture.dll"));
  AfxSetResourceHandle(fixture);
  tlx::resources::InstallWindowResources();
  UiLanguage english(1033);
  QString text;
  EXPECT_TRUE(tlx::mfc::LoadResourceString(100, &text));
  EXPECT_EQ(u"Connect", text);
  QByteArray json;
  EXPECT_TRUE(tlx::mfc::LoadDialogTemplate(20845, &json));
  EXPECT_TRUE(tlx::mfc::LoadMenuTemplate(20871, &json));
  EXPECT_FALSE(tlx::mfc::LoadDialogTemplate(20846, &json)) << "a damaged template fails its own lookup";
  EXPECT_FALSE(tlx::mfc::LoadDialogTemplate(20847, &json));
  QImage image;
  ASSERT_TRUE(tlx::mfc::LoadResourceImage(11075, &image));
  EXPECT_EQ(QSize(24, 16), image.size());
  ASSERT_TRUE(tlx::mfc::LoadResourceImage(10500, &image));
  EXPECT_EQ(QSize(20, 20), image.size());
  tlx::mfc::SetResourceSource(nullptr);
  AfxSetResourceHandle(nullptr);
}

// The bundle reader's refusals of cut and damaged bundles are tested on the
// reader itself (rcc_reader_test.cpp).
TEST(Resources, AMissingOrDamagedBundleLoadsNothing) {
  EXPECT_EQ(nullptr, TlxPcLoadResourceLibrary("TlxPcResourceXX.dll"));
  EXPECT_EQ(nullptr, TlxPcLoadResourceLibrary(""));
  const QByteArray good(reinterpret_cast<const char*>(kFixtureBundle), static_cast<qsizetype>(kFixtureBundle_size));
  tlx::test::TempFolder folder;
  const std::string truncated = (folder.path() / "TlxPcResourceCut.rcc").string();
  std::ofstream(truncated, std::ios::binary).write(good.constData(), good.size() / 2);
  setenv("TLX_RESOURCE_DIR", folder.path().c_str(), 1);
  EXPECT_EQ(nullptr, TlxPcLoadResourceLibrary("TlxPcResourceCut.dll"));
  std::ofstream(truncated, std::ios::binary).write(good.constData(), good.size());
  Loaded whole(TlxPcLoadResourceLibrary("TlxPcResourceCut.dll"));
  EXPECT_NE(nullptr, static_cast<HINSTANCE>(whole)) << "$TLX_RESOURCE_DIR is searched first";
  unsetenv("TLX_RESOURCE_DIR");
  EXPECT_EQ(nullptr, TlxPcLoadResourceLibrary("TlxPcResourceCut.dll"));
  setenv("TLX_EXE_DIR", folder.path().c_str(), 1);
  Loaded besideTheProgram(TlxPcLoadResourceLibrary("TlxPcResourceCut.dll"));
  EXPECT_NE(nullptr, static_cast<HINSTANCE>(besideTheProgram)) << "then the executable's folder";
  unsetenv("TLX_EXE_DIR");
}

// The locale gives the UI language when it is one of the seven the shell
// speaks; $TLX_UI_LANGUAGE overrides it.
TEST(Resources, TheUiLanguageFollowsTheLocaleUnlessOverridden) {
  struct Case {
    const char* locale;
    const char* forced;
    const char* expected;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", nullptr, "1041"}, {"zh_TW.UTF-8", nullptr, "1028"}, {"de_DE.UTF-8", nullptr, "1031"},
      {"fr_FR.UTF-8", nullptr, "1036"}, {"ko_KR.UTF-8", nullptr, "1042"}, {"en_GB.UTF-8", nullptr, "2057"},
      {"en_US.UTF-8", nullptr, "1033"}, {"pt_BR.UTF-8", nullptr, "1033"}, {"zh_CN.UTF-8", nullptr, "1033"},
      {"de_DE.UTF-8", "1042", "1042"},  {"de_DE.UTF-8", "bad", "1031"},
  };
  const char* saved = getenv("LC_ALL");
  const std::string previous = saved != nullptr ? saved : "";
  for (const Case& c : cases) {
    setenv("LC_ALL", c.locale, 1);
    if (c.forced != nullptr) setenv("TLX_UI_LANGUAGE", c.forced, 1);
    tlx::test::ChildProcess helper("resources_helper", {});
    unsetenv("TLX_UI_LANGUAGE");
    EXPECT_EQ(c.expected, helper.ReadLine()) << c.locale << " " << (c.forced != nullptr ? c.forced : "");
    EXPECT_EQ(0, helper.Wait());
  }
  if (saved != nullptr) {
    setenv("LC_ALL", previous.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

struct InventoryEntry {
  UINT id;
  std::string type;
  std::string module;
  std::string size;
  std::string state;
};

std::vector<InventoryEntry> ReadInventory() {
  std::vector<InventoryEntry> entries;
  std::ifstream file(TLX_INVENTORY);
  std::string line;
  bool header = true;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (std::exchange(header, false)) continue;
    std::vector<std::string> columns;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      columns.push_back(line.substr(start, tab - start));
    }
    columns.push_back(line.substr(start));
    EXPECT_EQ(6u, columns.size()) << line;
    if (columns.size() != 6) continue;
    entries.push_back({static_cast<UINT>(std::stoul(columns[0])), columns[1], columns[2], columns[4], columns[5]});
  }
  return entries;
}

// The region's and the shell's bundles hold every string and picture of the
// inventory (pending ones as stand-ins, pictures in the listed size); what is
// pending is listed.
TEST(Resources, TheBuiltBundlesHoldTheInventory) {
  Loaded region(TlxPcLoadResourceLibrary("TlxPcResourceJP.dll"));
  ASSERT_NE(nullptr, static_cast<HINSTANCE>(region));
  ShellLibrary library;
  const HINSTANCE shell = AfxFindStringResourceHandle(256);
  ASSERT_NE(nullptr, shell);
  const std::vector<InventoryEntry> inventory = ReadInventory();
  ASSERT_FALSE(inventory.empty());
  std::string pending;
  int pendingCount = 0;
  for (const InventoryEntry& entry : inventory) {
    if (entry.state == "pending") {
      pending += " " + entry.type + ":" + std::to_string(entry.id);
      ++pendingCount;
    }
    if (entry.module == "common") continue;  // the common library's bundle
    HINSTANCE module = entry.module == "shell" ? shell : static_cast<HINSTANCE>(region);
    if (entry.type == "string") {
      const QString text = String(module, entry.id);
      EXPECT_FALSE(text.isEmpty()) << entry.id;
      if (entry.state == "pending") {
        EXPECT_EQ(QString("[%1]").arg(entry.id), text);
      }
    } else if (entry.type == "BITMAP" || entry.type == "IMAGE" || entry.type == "ICON") {
      const LPCSTR type = entry.type == "BITMAP" ? RT_BITMAP : entry.type == "ICON" ? RT_ICON : "IMAGE";
      QImage image;
      EXPECT_TRUE(image.loadFromData(Bytes(module, entry.id, type))) << entry.type << " " << entry.id;
      if (!entry.size.empty()) {
        EXPECT_EQ(entry.size, std::to_string(image.width()) + "x" + std::to_string(image.height())) << entry.id;
      }
    }
  }
  std::cout << pendingCount << " pending:" << pending << "\n";
}

// The shell library carries its own table: loading it puts 256, 257, 259 and
// 57344 in the chain in each of its languages with no region bundle loaded,
// and its icon; unloading it takes them out again.
TEST(Resources, TheShellLibraryBringsItsTableInItsSevenLanguages) {
  ASSERT_EQ(nullptr, AfxGetResourceHandle());
  {
    ShellLibrary library;
    for (const LANGID language : {1028, 1031, 1033, 1036, 1041, 1042, 2057}) {
      const QByteArray json = FileBytes(std::string(TLX_SHELL_RESOURCE_DIR) + "/strings/" +
                                        std::to_string(language) + ".json");
      const QJsonObject table = QJsonDocument::fromJson(json).object();
      UiLanguage ui(language);
      for (const UINT id : {256u, 257u, 259u, 57344u}) {
        const QString expected = table.value(QString::number(id)).toString();
        ASSERT_FALSE(expected.isEmpty()) << language << " " << id;
        EXPECT_EQ(expected, String(AfxFindStringResourceHandle(id), id)) << language << " " << id;
      }
    }
    QImage icon;
    EXPECT_TRUE(icon.loadFromData(Bytes(AfxFindResourceHandle(MAKEINTRESOURCE(256), RT_ICON), 256, RT_ICON)));
  }
  EXPECT_EQ(nullptr, AfxFindStringResourceHandle(257));
  EXPECT_EQ(nullptr, AfxFindResourceHandle(MAKEINTRESOURCE(256), RT_ICON));
}

}  // namespace
