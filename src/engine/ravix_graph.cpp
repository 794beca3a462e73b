// The live class's graph: its filters from the filter tables and the "Filter"
// section of the engine's INI file, their connections, the stream-dump
// branch, live-source mode and the reference clock.
#include <utility>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "common/tlx_pc_cmn_system.h"
#include "dshow/guids.h"
#include "dshow/media_type.h"
#include "dsound/mixer.h"
#include "engine/codec_choice.h"
#include "engine/engine_ini.h"
#include "engine/filter_tables.h"
#include "engine/quality_presets.h"
#include "engine/tlx_pc_stm_ravix_if.h"

using tlx::com::ComPtr;
using tlx::engine::ReadEngineIniInt;
using tlx::engine::ReadEngineIniString;

namespace {

constexpr int kErrGraph = 24;
constexpr int kErrAudioOutput = 25;

// A CLSID override of the "Filter" section; the row's class when the text is
// empty or not a braced class text.
GUID ClsidSetting(const char16_t* key, const GUID& rowClsid) {
  const std::u16string text = ReadEngineIniString(u"Filter", key, u"");
  CLSID clsid{};
  if (text.empty() || FAILED(CLSIDFromString(text.c_str(), &clsid))) return rowClsid;
  return clsid;
}

}  // namespace

HRESULT CTlxPcStmRavixIf::hAddFilterCom(const CFilterParam& param, IBaseFilter** filter,
                                        CTlxPcStmComLoader** loader) {
  return hAddFilterCom(param.m_clsid, param.m_pszName, param.m_pszFileName, filter, loader);
}

HRESULT CTlxPcStmRavixIf::hAddFilterCom(const GUID& clsid, const WCHAR* name, const WCHAR* file, IBaseFilter** filter,
                                        CTlxPcStmComLoader** loader) {
  bool fromFile = false;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    fromFile = m_bFilterDll != 0;
  }
  if (fromFile && file != nullptr && file[0] != 0 && loader != nullptr) {
    const HRESULT hr = hAddFilterDll(clsid, file, filter, loader);
    if (SUCCEEDED(hr)) return hr;
  }
  return hAddFilter(name, filter);
}

HRESULT CTlxPcStmRavixIf::hAddPostFilter(IBaseFilter** filter) {
  *filter = nullptr;
  const std::u16string name = ReadEngineIniString(u"Filter", u"PostFilter", u"");
  if (name.empty()) return S_OK;
  for (const CFilterParam* row = tlx::engine::kPostFilterTable; row->m_pszName != nullptr; ++row) {
    if (name != row->m_pszName) continue;
    const HRESULT hr = hAddFilterCom(*row, filter, &m_pPostFilterLoader);
    if (FAILED(hr)) vSetErrInfo(1805, kErrGraph);
    return hr;
  }
  const HRESULT hr = hAddFilter(name.c_str(), filter);
  if (FAILED(hr)) vSetErrInfo(1813, kErrGraph);
  return hr;
}

// The filters of the live graph while it is built; each reference is
// released when building ends, the graph keeps its own.
struct CTlxPcStmRavixIf::LiveGraphFilters {
  ComPtr<IBaseFilter> source;
  ComPtr<IBaseFilter> decryptorA;
  ComPtr<IBaseFilter> decryptorB;
  ComPtr<IBaseFilter> postFilter;
  ComPtr<IBaseFilter> audioDecoder;
  ComPtr<IBaseFilter> videoDecoder;
  ComPtr<IBaseFilter> audioRenderer;
  ComPtr<IBaseFilter> lastVideo;  // the filter the video renderer connects to
};

int CTlxPcStmRavixIf::bInit(int autoAvailable) {
  vReadFilterSettings();
  LiveGraphFilters filters;
  if (!bAddLiveFilters(filters)) return FALSE;
  if (!bAddAudioRenderer(filters)) return FALSE;
  if (!bSetSourceQuality(filters.source.Get(), autoAvailable)) return FALSE;

  bool dump = false;
  int vmrSetting = 0;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    dump = m_bDumpStream != 0;
    vmrSetting = m_nVMRTypeSetting;
  }
  if (!bConnectAudioPath(filters, dump)) return FALSE;
  if (!bConnectVideoPath(filters, dump)) return FALSE;
  const eVMRType kind = eConnectVideoRenderer(filters.lastVideo.Get(), vmrSetting);
  if (kind == eVMRTypeNone) return FALSE;
  if (!bTakeDecryptorKeys(filters)) return FALSE;
  if (!bFinishLiveGraph(filters.audioRenderer.Get())) return FALSE;
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_eVMRTypeInUse = kind;
  return TRUE;
}

int CTlxPcStmRavixIf::bInitFailed(int line, int errorId) {
  vSetErrInfo(line, errorId);
  return FALSE;
}

void CTlxPcStmRavixIf::vReadFilterSettings() {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_nBaseCodec = ReadEngineIniInt(u"Filter", u"BaseCodecs", m_nBaseCodec);
  m_bFilterDll = ReadEngineIniInt(u"Filter", u"FilterDll", m_bFilterDll);
  m_nVMRTypeSetting = ReadEngineIniInt(u"Filter", u"VMRType", m_nVMRTypeSetting);
  m_bDumpStream = ReadEngineIniInt(u"Filter", u"DumpStream", m_bDumpStream);
  m_eVMRTypeInUse = eVMRTypeNone;
}

int CTlxPcStmRavixIf::bAddLiveFilters(LiveGraphFilters& filters) {
  using namespace tlx::engine;
  HRESULT hr = hCreateFilterGraph();
  if (FAILED(hr)) return bInitFailed(1078, kErrGraph);
  const int row = nFindProperVideoFilter();
  if (row < 0) return bInitFailed(1089, kErrGraph);

  hr = hAddFilterCom(kStreamSourceTable[row], filters.source.Receive(), &m_pSourceLoader);
  if (bCheckFailed(hr)) return bInitFailed(1096, kErrGraph);
  hr = hAddFilterCom(kDecryptorRow, filters.decryptorA.Receive(), &m_pDecryptorALoader);
  if (bCheckFailed(hr)) return bInitFailed(1102, kErrGraph);
  hr = hAddFilterCom(kDecryptorRow, filters.decryptorB.Receive(), &m_pDecryptorBLoader);
  if (bCheckFailed(hr)) return bInitFailed(1108, kErrGraph);
  hr = hAddPostFilter(filters.postFilter.Receive());
  if (bCheckFailed(hr)) return bInitFailed(1115, kErrGraph);

  const CFilterParam& audioRow = kAudioDecoderTable[row];
  const std::u16string audioName = ReadEngineIniString(u"Filter", u"ADecFilterName", audioRow.m_pszName);
  const std::u16string audioFile = ReadEngineIniString(u"Filter", u"ADecFileName", audioRow.m_pszFileName);
  hr = hAddFilterCom(ClsidSetting(u"ADecCLSID", audioRow.m_clsid), audioName.c_str(), audioFile.c_str(),
                     filters.audioDecoder.Receive(), &m_pADecLoader);
  if (bCheckFailed(hr)) return bInitFailed(1127, kErrGraph);

  const CFilterParam& videoRow = kVideoDecoderTable[row];
  const std::u16string videoName = ReadEngineIniString(u"Filter", u"VDec", videoRow.m_pszName);
  const std::u16string videoFile = ReadEngineIniString(u"Filter", u"VDecFileName", videoRow.m_pszFileName);
  const GUID videoClsid = ClsidSetting(u"VDecCLSID", videoRow.m_clsid);
  hr = hAddFilterCom(videoClsid, videoName.c_str(), videoFile.c_str(), filters.videoDecoder.Receive(),
                     &m_pVDecLoader);
  if (bCheckFailed(hr)) return bInitFailed(1141, kErrGraph);
  if (videoClsid == kVideoDecoderTable[2].m_clsid) {
    ComPtr<IAvcDecMode> mode;
    hr = filters.videoDecoder->QueryInterface(IID_IAvcDecMode, mode.ReceiveVoid());
    if (bCheckFailed(hr)) return bInitFailed(1149, kErrGraph);
    mode->SetMode(0);
  }
  return TRUE;
}

int CTlxPcStmRavixIf::bAddAudioRenderer(LiveGraphFilters& filters) {
  HRESULT hr =
      hAddFilterCom(tlx::engine::kAudioRendererRow, filters.audioRenderer.Receive(), &m_pAudioRendererLoader);
  if (bCheckFailed(hr)) return bInitFailed(1163, kErrAudioOutput);
  if (mixerGetNumDevs() == 0) return bInitFailed(1170, kErrAudioOutput);
  IRavixAudioRendererControl* rendererControl = nullptr;
  hr = filters.audioRenderer->QueryInterface(IID_IRavixAudioRendererControl,
                                             reinterpret_cast<void**>(&rendererControl));
  if (bCheckFailed(hr)) return bInitFailed(1182, kErrAudioOutput);
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    std::swap(m_pRendererControl, rendererControl);
  }
  if (rendererControl != nullptr) rendererControl->Release();
  return TRUE;
}

int CTlxPcStmRavixIf::bSetSourceQuality(IBaseFilter* source, int autoAvailable) {
  ComPtr<ITlxStreamSourceControl> sourceControl;
  HRESULT hr = source->QueryInterface(IID_ITlxStreamSourceControl, sourceControl.ReceiveVoid());
  if (bCheckFailed(hr)) return bInitFailed(1192, kErrGraph);
  {
    ITlxStreamSourceControl* previous = nullptr;
    {
      std::lock_guard<std::mutex> hold(m_stateLock);
      previous = std::exchange(m_pStreamControl, sourceControl.Get());
      m_pStreamControl->AddRef();
    }
    if (previous != nullptr) previous->Release();
  }
  std::string quality;
  vGetBitrate(autoAvailable, quality);
  hr = sourceControl->SetQuality(quality.c_str());
  if (bCheckFailed(hr)) return bInitFailed(1224, kErrGraph);
  return TRUE;
}

int CTlxPcStmRavixIf::bConnectAudioPath(const LiveGraphFilters& filters, bool dump) {
  ComPtr<IPin> audioPin;
  HRESULT hr = filters.source->FindPin(u"1", audioPin.Receive());
  if (bCheckFailed(hr)) return bInitFailed(1237, kErrGraph);
  hr = hConnectPinToFilter(audioPin.Get(), filters.decryptorA.Get());
  if (bCheckFailed(hr)) return bInitFailed(1244, kErrGraph);
  if (dump) {
    if (!bConnectDumpFilter(filters.decryptorA.Get(), filters.audioDecoder.Get(), true)) {
      return bInitFailed(1251, kErrGraph);
    }
  } else {
    hr = hConnectFilters(filters.decryptorA.Get(), filters.audioDecoder.Get());
    if (bCheckFailed(hr)) return bInitFailed(1257, kErrGraph);
  }
  hr = hConnectFilters(filters.audioDecoder.Get(), filters.audioRenderer.Get());
  if (bCheckFailed(hr)) return bInitFailed(1265, kErrGraph);
  return TRUE;
}

int CTlxPcStmRavixIf::bConnectVideoPath(LiveGraphFilters& filters, bool dump) {
  ComPtr<IPin> videoPin;
  HRESULT hr = filters.source->FindPin(u"2", videoPin.Receive());
  if (bCheckFailed(hr)) return bInitFailed(1277, kErrGraph);
  hr = hConnectPinToFilter(videoPin.Get(), filters.decryptorB.Get());
  if (bCheckFailed(hr)) return bInitFailed(1284, kErrGraph);
  if (dump) {
    if (!bConnectDumpFilter(filters.decryptorB.Get(), filters.videoDecoder.Get(), false)) {
      return bInitFailed(1291, kErrGraph);
    }
  } else {
    hr = hConnectFilters(filters.decryptorB.Get(), filters.videoDecoder.Get());
    if (bCheckFailed(hr)) return bInitFailed(1297, kErrGraph);
  }
  filters.lastVideo = filters.videoDecoder;
  if (filters.postFilter) {
    hr = hConnectFilters(filters.videoDecoder.Get(), filters.postFilter.Get());
    if (bCheckFailed(hr)) return bInitFailed(1309, kErrGraph);
    filters.lastVideo = filters.postFilter;
  }
  return TRUE;
}

eVMRType CTlxPcStmRavixIf::eConnectVideoRenderer(IBaseFilter* lastVideo, int vmrSetting) {
  const int preferred = vmrSetting & 15;
  const eVMRType start = (preferred >= 1 && preferred <= 3) ? static_cast<eVMRType>(preferred) : eVMRTypeNone;
  ComPtr<IBaseFilter> videoRenderer;
  eVMRType kind = eAddProperVideoRenderer(*videoRenderer.Receive(), start);
  if (kind == eVMRTypeNone) {
    bInitFailed(1339, kErrGraph);
    return eVMRTypeNone;
  }
  for (;;) {
    HRESULT hr = hConnectFilters(lastVideo, videoRenderer.Get());
    if (!bCheckFailed(hr)) break;
    // The renderer that did not connect stays in the graph, unconnected.
    kind = eGetNextProperVMRType(kind);
    if (kind != eVMRTypeNone) kind = eAddProperVideoRenderer(*videoRenderer.Receive(), kind);
    if (kind == eVMRTypeNone) {
      bInitFailed(1356, kErrGraph);
      return eVMRTypeNone;
    }
  }
  vSetAspectRatioModeNone(videoRenderer.Get(), kind);
  return kind;
}

int CTlxPcStmRavixIf::bTakeDecryptorKeys(const LiveGraphFilters& filters) {
  ComPtr<IAESDecryptorKey> keyA;
  HRESULT hr = filters.decryptorA->QueryInterface(IID_IAESDecryptorKey, keyA.ReceiveVoid());
  if (bCheckFailed(hr)) return bInitFailed(1403, kErrGraph);
  ComPtr<IAESDecryptorKey> keyB;
  hr = filters.decryptorB->QueryInterface(IID_IAESDecryptorKey, keyB.ReceiveVoid());
  if (bCheckFailed(hr)) return bInitFailed(1408, kErrGraph);
  IAESDecryptorKey* previousA = nullptr;
  IAESDecryptorKey* previousB = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    previousA = std::exchange(m_pAudioKey, keyA.Detach());
    previousB = std::exchange(m_pVideoKey, keyB.Detach());
  }
  if (previousA != nullptr) previousA->Release();
  if (previousB != nullptr) previousB->Release();
  return TRUE;
}

int CTlxPcStmRavixIf::bFinishLiveGraph(IBaseFilter* audioRenderer) {
  HRESULT hr = CTlxPcStmModeIf::hGetInterface();
  if (bCheckFailed(hr)) return bInitFailed(1429, kErrGraph);
  CWnd* owner = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    owner = m_pOwnerWnd;
  }
  if (!bSetOwnerWnd(owner)) return bInitFailed(1433, kErrGraph);
  if (!bEnableLiveSourceMode()) return FALSE;
  return bSetReferenceClock(audioRenderer);
}

int CTlxPcStmRavixIf::bReset(int autoAvailable) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  return bResetLocked(autoAvailable);
}

int CTlxPcStmRavixIf::bResetLocked(int autoAvailable) {
  if (!bInit(autoAvailable)) return FALSE;
  if (!bInitCallback()) return FALSE;
  return bPlaceAndSoundAgain(m_nMovieX, m_nMovieY, m_nMovieWidth, m_nMovieHeight);
}

int CTlxPcStmRavixIf::bConnectDumpFilter(IBaseFilter* from, IBaseFilter* to, bool audio) {
  if (from == nullptr || to == nullptr) return FALSE;
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return FALSE;
  ComPtr<IBaseFilter> tee;
  if (FAILED(CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, tee.ReceiveVoid())) ||
      FAILED(graph->AddFilter(tee.Get(), nullptr)) || FAILED(hConnectFilters(from, tee.Get()))) {
    return FALSE;
  }
  ComPtr<IPin> toDecoder;
  if (FAILED(tee->FindPin(u"Output1", toDecoder.Receive())) || FAILED(hConnectPinToFilter(toDecoder.Get(), to))) {
    return FALSE;
  }
  ComPtr<IFileSinkFilter> sink;
  HRESULT hr = CoCreateInstance(CLSID_Dump, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSinkFilter, sink.ReceiveVoid());
  if (FAILED(hr)) {
    hr = CoCreateInstance(CLSID_Dump, nullptr, CLSCTX_INPROC_HANDLER, IID_IFileSinkFilter, sink.ReceiveVoid());
  }
  if (FAILED(hr)) return FALSE;
  ComPtr<IBaseFilter> writer = sink.As<IBaseFilter>(IID_IBaseFilter);
  if (!writer || FAILED(graph->AddFilter(writer.Get(), nullptr))) return FALSE;
  ComPtr<IPin> toWriter;
  ComPtr<IPin> writerInput;
  if (FAILED(tee->FindPin(u"Output2", toWriter.Receive())) || FAILED(writer->FindPin(u"Input", writerInput.Receive())) ||
      FAILED(graph->Connect(toWriter.Get(), writerInput.Get()))) {
    return FALSE;
  }
  ComPtr<IEnumMediaTypes> types;
  AM_MEDIA_TYPE* type = nullptr;
  ULONG fetched = 0;
  if (FAILED(toWriter->EnumMediaTypes(types.Receive())) || types->Next(1, &type, &fetched) != S_OK ||
      type == nullptr) {
    return FALSE;
  }
  hr = sink->SetFileName(audio ? u"rawaudio.aac" : u"rawvideo.m4v", type);
  DeleteMediaType(type);
  return SUCCEEDED(hr) ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::bEnableLiveSourceMode() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  ComPtr<IAMGraphStreams> streams;
  HRESULT hr = graph ? graph->QueryInterface(IID_IAMGraphStreams, streams.ReceiveVoid()) : E_FAIL;
  if (bCheckFailed(hr)) {
    vSetErrInfo(1891, kErrGraph);
    return FALSE;
  }
  hr = streams->SyncUsingStreamOffset(TRUE);
  if (bCheckFailed(hr)) {
    vSetErrInfo(1900, kErrGraph);
    return FALSE;
  }
  hr = streams->SetMaxGraphLatency(0);
  if (bCheckFailed(hr)) {
    vSetErrInfo(1910, kErrGraph);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmRavixIf::bSetReferenceClock(IBaseFilter* audioRenderer) {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  ComPtr<IMediaFilter> mediaFilter;
  HRESULT hr = graph ? graph->QueryInterface(IID_IMediaFilter, mediaFilter.ReceiveVoid()) : E_FAIL;
  if (bCheckFailed(hr)) {
    vSetErrInfo(1941, kErrGraph);
    return FALSE;
  }
  ComPtr<IReferenceClock> clock;
  hr = audioRenderer != nullptr ? audioRenderer->QueryInterface(IID_IReferenceClock, clock.ReceiveVoid()) : E_POINTER;
  if (bCheckFailed(hr)) {
    vSetErrInfo(1950, kErrGraph);
    return FALSE;
  }
  hr = mediaFilter->SetSyncSource(clock.Get());
  if (bCheckFailed(hr)) {
    vSetErrInfo(1959, kErrGraph);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmRavixIf::GetFavorableCodec() const {
  std::lock_guard<std::mutex> hold(m_stateLock);
  return tlx::engine::FavorableCodec(m_nBaseCodec, m_nEngineCodec, m_bAvcAllowed != 0);
}

int CTlxPcStmRavixIf::bIsCodecAvail(eCodec codec) const {
  std::lock_guard<std::mutex> hold(m_stateLock);
  return tlx::engine::IsCodecAvail(codec, m_nBaseCodec, m_nEngineCodec, m_bAvcAllowed != 0) ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::nFindProperVideoFilter() const {
  return tlx::engine::FindProperVideoFilter(GetFavorableCodec());
}

void CTlxPcStmRavixIf::vGetBitrate(int autoAvailable, std::string& quality) {
  tlx::engine::QualityRequest request;
  request.favourableCodec = GetFavorableCodec();
  request.tvTuner = GetTVTunerEnabled();
  request.autoAvailable = autoAvailable;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    request.code = m_nBitrateCode;
    request.autoBitrate = m_nAutoBitrate;
    request.colourSystem = m_nColorSystem;
    request.audioBitrate = m_nAudioBitrate;
    request.audioSampleRate = m_nAudioSampleRate;
    request.width = m_nVideoWidth;
    request.height = m_nVideoHeight;
    request.frameRate = m_nFrameRate;
  }
  quality = tlx::engine::BuildQualityString(request);
}
