#include <gtest/gtest.h>

#include <cstring>

#include "dshow/persist_stream.h"
#include "dshow/property_page.h"
#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

// Keeps eight bytes of settings.
class Settings final : public CPersistStream {
 public:
  Settings() : CPersistStream(nullptr, nullptr) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetClassID(CLSID* clsid) override {
    *clsid = GUID_NULL;
    return S_OK;
  }
  HRESULT WriteToStream(IStream* stream) override { return WriteStreamBytes(stream, values, sizeof values); }
  HRESULT ReadFromStream(IStream* stream) override { return ReadStreamBytes(stream, values, sizeof values); }
  int SizeMax() override { return sizeof values; }
  DWORD GetSoftwareVersion() override { return 1; }
  int32_t values[2] = {0, 0};
};

ComPtr<IStream> NewStream() {
  HRESULT hr = S_OK;
  return Adopt<IStream>(new CMemoryStream("stream", nullptr, &hr), IID_IStream);
}

void Rewind(IStream* stream) {
  LARGE_INTEGER zero{0};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

TEST(PersistStream, RoundTripsAndRefusesShortOrNewerStreams) {
  Settings saved;
  saved.values[0] = 7;
  saved.values[1] = -3;
  saved.SetDirty(TRUE);
  ComPtr<IStream> stream = NewStream();
  ASSERT_EQ(saved.Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(saved.IsDirty(), S_FALSE);
  ULARGE_INTEGER max;
  saved.GetSizeMax(&max);
  EXPECT_EQ(max.QuadPart, 12u);

  Settings loaded;
  Rewind(stream.Get());
  ASSERT_EQ(loaded.Load(stream.Get()), S_OK);
  EXPECT_EQ(loaded.values[1], -3);
  EXPECT_EQ(loaded.LoadedVersion(), 1u);

  // Cut short: an error, and nothing read past the end.
  ComPtr<IStream> truncated = NewStream();
  BYTE head[6] = {1, 0, 0, 0, 9, 9};
  truncated->Write(head, sizeof head, nullptr);
  Rewind(truncated.Get());
  EXPECT_EQ(loaded.Load(truncated.Get()), STG_E_READFAULT);

  ComPtr<IStream> newer = NewStream();
  DWORD version = 2;
  newer->Write(&version, sizeof version, nullptr);
  newer->Write(head, sizeof head, nullptr);
  Rewind(newer.Get());
  EXPECT_EQ(loaded.Load(newer.Get()), E_UNEXPECTED);

  LARGE_INTEGER back{-1};
  EXPECT_EQ(newer->Seek(back, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  // Far past the end: a write there is refused, as SetSize refuses the size.
  LARGE_INTEGER far{LONGLONG(1) << 40};
  ASSERT_EQ(newer->Seek(far, STREAM_SEEK_SET, nullptr), S_OK);
  ULONG written = 1;
  EXPECT_EQ(newer->Write(head, sizeof head, &written), STG_E_MEDIUMFULL);
  EXPECT_EQ(written, 0u);
  LARGE_INTEGER huge{0x7FFFFFFFFFFFFFFF};
  EXPECT_EQ(newer->Seek(huge, STREAM_SEEK_CUR, nullptr), STG_E_INVALIDFUNCTION) << "no position past the largest";
}

// A page with one edit control (100) that applies its text to `applied`.
class Page final : public CBasePropertyPage {
 public:
  Page() : CBasePropertyPage("page", nullptr, 101, 102, u"Parameters") {}
  HRESULT OnConnect(IUnknown* object) override {
    connected = object;
    return S_OK;
  }
  HRESULT OnDisconnect() override {
    connected = nullptr;
    return S_OK;
  }
  HRESULT OnActivate() override {
    SetControlText(100, "48000");
    AddControlItem(200, "8000");
    AddControlItem(200, "48000");
    SetControlSelection(200, 1);
    return S_OK;
  }
  HRESULT OnApplyChanges() override {
    applied = ControlText(100);
    return S_OK;
  }
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND) {
      SetDirty();
      return 1;
    }
    return CBasePropertyPage::OnReceiveMessage(window, message, wParam, lParam);
  }
  IUnknown* connected = nullptr;
  std::string applied;
};

TEST(PropertyPage, ConnectsActivatesAndAppliesThroughTheSite) {
  auto* page = new Page();
  ComPtr<IPropertyPage> iface = Adopt<IPropertyPage>(page, IID_IPropertyPage);
  RecordingPageSite site;
  EXPECT_EQ(iface->Activate(nullptr, nullptr, FALSE), E_UNEXPECTED) << "no object yet";
  ASSERT_EQ(iface->SetPageSite(&site), S_OK);
  EXPECT_EQ(iface->SetPageSite(&site), E_UNEXPECTED);
  IUnknown* object = iface.Get();
  ASSERT_EQ(iface->SetObjects(1, &object), S_OK);
  EXPECT_EQ(page->connected, object);
  IUnknown* two[2] = {object, object};
  EXPECT_EQ(iface->SetObjects(2, two), E_UNEXPECTED);

  ASSERT_EQ(iface->Activate(nullptr, nullptr, FALSE), S_OK);
  EXPECT_EQ(page->ControlText(200), "48000");
  EXPECT_EQ(iface->IsPageDirty(), S_FALSE);
  EXPECT_EQ(iface->Apply(), S_OK);
  EXPECT_EQ(page->applied, "") << "nothing to apply while clean";

  page->SetControlText(100, "44100");
  page->OnReceiveMessage(nullptr, WM_COMMAND, 100, 0);
  EXPECT_EQ(iface->IsPageDirty(), S_OK);
  EXPECT_EQ(site.changes, std::vector<DWORD>{PROPPAGESTATUS_DIRTY});
  EXPECT_EQ(iface->Apply(), S_OK);
  EXPECT_EQ(page->applied, "44100");
  EXPECT_EQ(iface->IsPageDirty(), S_FALSE);

  PROPPAGEINFO info{};
  ASSERT_EQ(iface->GetPageInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.pszTitle), u"Parameters");
  CoTaskMemFree(info.pszTitle);
  EXPECT_EQ(iface->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(iface->TranslateAccelerator(nullptr), E_NOTIMPL);
  EXPECT_EQ(iface->Deactivate(), S_OK);
  EXPECT_EQ(iface->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page->connected, nullptr);
  EXPECT_EQ(iface->SetPageSite(nullptr), S_OK);
}

}  // namespace
}  // namespace tlx::dshow::test
