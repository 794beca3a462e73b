// The interfaces of the filter model: filters, pins, samples, allocators,
// clocks, the graph and its control, seeking, persistence, property pages and
// the device enumerator. Method sets and orders are those the components use.
#pragma once

#include "com/automation.h"
#include "com/unknown.h"
#include "dshow/errors.h"
#include "dshow/guids.h"
#include "dshow/media_type.h"
#include "win32/messages.h"
#include "win32/rect.h"

struct IBaseFilter;
struct IEnumFilters;
struct IEnumMediaTypes;
struct IEnumPins;
struct IFilterGraph;
struct IMediaSample;
struct IMemAllocator;
struct IPin;
struct IReferenceClock;
struct IStream;
struct IErrorLog;
struct IBindCtx;

enum FILTER_STATE : int32_t { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : int32_t { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

inline constexpr int MAX_PIN_NAME = 128;
inline constexpr int MAX_FILTER_NAME = 128;

struct PIN_INFO {
  IBaseFilter* pFilter;  // with a reference the caller releases
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;  // with a reference the caller releases
};

struct ALLOCATOR_PROPERTIES {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
};

// IMemAllocator::GetBuffer flags.
inline constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
inline constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
inline constexpr DWORD AM_GBF_NOWAIT = 4;

// Handles given to a clock's advises: an event for one-shot, a semaphore for
// periodic advises.
using HEVENT = HANDLE;
using HSEMAPHORE = HANDLE;

struct IPersist : IUnknown {
  STDMETHOD(GetClassID)(CLSID* clsid) PURE;

 protected:
  ~IPersist() = default;
};

struct IReferenceClock : IUnknown {
  STDMETHOD(GetTime)(REFERENCE_TIME* time) PURE;
  STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) PURE;
  STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                            DWORD_PTR* cookie) PURE;
  STDMETHOD(Unadvise)(DWORD_PTR cookie) PURE;

 protected:
  ~IReferenceClock() = default;
};

struct IMediaFilter : IPersist {
  STDMETHOD(Stop)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Run)(REFERENCE_TIME start) PURE;
  STDMETHOD(GetState)(DWORD milliseconds, FILTER_STATE* state) PURE;
  STDMETHOD(SetSyncSource)(IReferenceClock* clock) PURE;
  STDMETHOD(GetSyncSource)(IReferenceClock** clock) PURE;

 protected:
  ~IMediaFilter() = default;
};

struct IBaseFilter : IMediaFilter {
  STDMETHOD(EnumPins)(IEnumPins** pins) PURE;
  STDMETHOD(FindPin)(LPCWSTR id, IPin** pin) PURE;
  STDMETHOD(QueryFilterInfo)(FILTER_INFO* info) PURE;
  STDMETHOD(JoinFilterGraph)(IFilterGraph* graph, LPCWSTR name) PURE;
  STDMETHOD(QueryVendorInfo)(LPWSTR* vendorInfo) PURE;

 protected:
  ~IBaseFilter() = default;
};

struct IPin : IUnknown {
  STDMETHOD(Connect)(IPin* receivePin, const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(ReceiveConnection)(IPin* connector, const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(Disconnect)() PURE;
  STDMETHOD(ConnectedTo)(IPin** pin) PURE;
  STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(QueryPinInfo)(PIN_INFO* info) PURE;
  STDMETHOD(QueryDirection)(PIN_DIRECTION* direction) PURE;
  STDMETHOD(QueryId)(LPWSTR* id) PURE;
  STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** types) PURE;
  STDMETHOD(QueryInternalConnections)(IPin** pins, ULONG* count) PURE;
  STDMETHOD(EndOfStream)() PURE;
  STDMETHOD(BeginFlush)() PURE;
  STDMETHOD(EndFlush)() PURE;
  STDMETHOD(NewSegment)(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) PURE;

 protected:
  ~IPin() = default;
};

struct IEnumPins : IUnknown {
  STDMETHOD(Next)(ULONG count, IPin** pins, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumPins** clone) PURE;

 protected:
  ~IEnumPins() = default;
};

struct IEnumMediaTypes : IUnknown {
  // Each type is a CreateMediaType copy the caller frees with DeleteMediaType.
  STDMETHOD(Next)(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMediaTypes** clone) PURE;

 protected:
  ~IEnumMediaTypes() = default;
};

struct IEnumFilters : IUnknown {
  STDMETHOD(Next)(ULONG count, IBaseFilter** filters, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumFilters** clone) PURE;

 protected:
  ~IEnumFilters() = default;
};

struct IMediaSample : IUnknown {
  STDMETHOD(GetPointer)(BYTE** buffer) PURE;
  STDMETHOD_(LONG, GetSize)() PURE;
  STDMETHOD(GetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) PURE;
  STDMETHOD(SetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) PURE;
  STDMETHOD(IsSyncPoint)() PURE;
  STDMETHOD(SetSyncPoint)(BOOL syncPoint) PURE;
  STDMETHOD(IsPreroll)() PURE;
  STDMETHOD(SetPreroll)(BOOL preroll) PURE;
  STDMETHOD_(LONG, GetActualDataLength)() PURE;
  STDMETHOD(SetActualDataLength)(LONG length) PURE;
  // S_FALSE and a null type when the type did not change with this sample.
  STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** mt) PURE;
  STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(IsDiscontinuity)() PURE;
  STDMETHOD(SetDiscontinuity)(BOOL discontinuity) PURE;
  STDMETHOD(GetMediaTime)(LONGLONG* start, LONGLONG* stop) PURE;
  STDMETHOD(SetMediaTime)(LONGLONG* start, LONGLONG* stop) PURE;

 protected:
  ~IMediaSample() = default;
};

struct IMemAllocator : IUnknown {
  STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) PURE;
  STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* props) PURE;
  STDMETHOD(Commit)() PURE;
  STDMETHOD(Decommit)() PURE;
  STDMETHOD(GetBuffer)(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) PURE;
  STDMETHOD(ReleaseBuffer)(IMediaSample* sample) PURE;

 protected:
  ~IMemAllocator() = default;
};

struct IMemInputPin : IUnknown {
  STDMETHOD(GetAllocator)(IMemAllocator** allocator) PURE;
  STDMETHOD(NotifyAllocator)(IMemAllocator* allocator, BOOL readOnly) PURE;
  STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* props) PURE;
  STDMETHOD(Receive)(IMediaSample* sample) PURE;
  STDMETHOD(ReceiveMultiple)(IMediaSample** samples, long count, long* processed) PURE;
  STDMETHOD(ReceiveCanBlock)() PURE;

 protected:
  ~IMemInputPin() = default;
};

struct IFilterGraph : IUnknown {
  STDMETHOD(AddFilter)(IBaseFilter* filter, LPCWSTR name) PURE;
  STDMETHOD(RemoveFilter)(IBaseFilter* filter) PURE;
  STDMETHOD(EnumFilters)(IEnumFilters** filters) PURE;
  STDMETHOD(FindFilterByName)(LPCWSTR name, IBaseFilter** filter) PURE;
  STDMETHOD(ConnectDirect)(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(Reconnect)(IPin* pin) PURE;
  STDMETHOD(Disconnect)(IPin* pin) PURE;
  STDMETHOD(SetDefaultSyncSource)() PURE;

 protected:
  ~IFilterGraph() = default;
};

struct IGraphBuilder : IFilterGraph {
  // Direct connections only: no filters are inserted between the pins.
  STDMETHOD(Connect)(IPin* out, IPin* in) PURE;
  STDMETHOD(Render)(IPin* out) PURE;
  STDMETHOD(RenderFile)(LPCWSTR file, LPCWSTR playList) PURE;
  STDMETHOD(AddSourceFilter)(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) PURE;
  STDMETHOD(SetLogFile)(DWORD_PTR file) PURE;
  STDMETHOD(Abort)() PURE;
  STDMETHOD(ShouldOperationContinue)() PURE;

 protected:
  ~IGraphBuilder() = default;
};

struct IFilterGraph2 : IGraphBuilder {
  STDMETHOD(ReconnectEx)(IPin* pin, const AM_MEDIA_TYPE* mt) PURE;

 protected:
  ~IFilterGraph2() = default;
};

struct IMediaEventSink : IUnknown {
  STDMETHOD(Notify)(long code, LONG_PTR param1, LONG_PTR param2) PURE;

 protected:
  ~IMediaEventSink() = default;
};

// Quality messages from renderers upstream.
enum QualityMessageType : int32_t { Famine = 0, Flood = 1 };
struct Quality {
  QualityMessageType Type;
  long Proportion;  // 1000 = as it should be
  REFERENCE_TIME Late;
  REFERENCE_TIME TimeStamp;
};
struct IQualityControl : IUnknown {
  STDMETHOD(Notify)(IBaseFilter* self, Quality q) PURE;
  STDMETHOD(SetSink)(IQualityControl* sink) PURE;

 protected:
  ~IQualityControl() = default;
};

// Scriptable control of the graph.
using OAFilterState = long;
using OAEVENT = LONG_PTR;
using OAHWND = LONG_PTR;
using OABool = long;
inline constexpr OABool OATRUE = -1;
inline constexpr OABool OAFALSE = 0;

struct IMediaControl : IDispatch {
  STDMETHOD(Run)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Stop)() PURE;
  STDMETHOD(GetState)(LONG milliseconds, OAFilterState* state) PURE;
  STDMETHOD(RenderFile)(BSTR file) PURE;
  STDMETHOD(AddSourceFilter)(BSTR file, IDispatch** filter) PURE;
  STDMETHOD(get_FilterCollection)(IDispatch** collection) PURE;
  STDMETHOD(get_RegFilterCollection)(IDispatch** collection) PURE;
  STDMETHOD(StopWhenReady)() PURE;

 protected:
  ~IMediaControl() = default;
};

struct IMediaEvent : IDispatch {
  STDMETHOD(GetEventHandle)(OAEVENT* event) PURE;
  // E_ABORT when nothing arrives within the time-out.
  STDMETHOD(GetEvent)(long* code, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) PURE;
  STDMETHOD(WaitForCompletion)(long milliseconds, long* code) PURE;
  STDMETHOD(CancelDefaultHandling)(long code) PURE;
  STDMETHOD(RestoreDefaultHandling)(long code) PURE;
  STDMETHOD(FreeEventParams)(long code, LONG_PTR param1, LONG_PTR param2) PURE;

 protected:
  ~IMediaEvent() = default;
};

struct IMediaEventEx : IMediaEvent {
  STDMETHOD(SetNotifyWindow)(OAHWND window, long message, LONG_PTR instanceData) PURE;
  STDMETHOD(SetNotifyFlags)(long flags) PURE;
  STDMETHOD(GetNotifyFlags)(long* flags) PURE;

 protected:
  ~IMediaEventEx() = default;
};
inline constexpr long AM_MEDIAEVENT_NONOTIFY = 0x01;

// Seeking.
inline constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
inline constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
inline constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
inline constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
inline constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
inline constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
inline constexpr DWORD AM_SEEKING_CanPlayBackwards = 0x40;

inline constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
inline constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
inline constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
inline constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
inline constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
inline constexpr DWORD AM_SEEKING_SeekToKeyFrame = 0x4;
inline constexpr DWORD AM_SEEKING_ReturnTime = 0x8;
inline constexpr DWORD AM_SEEKING_Segment = 0x10;
inline constexpr DWORD AM_SEEKING_NoFlush = 0x20;

// GetPositions and SetPositions take (current, stop) and (current, flags,
// stop, flags); ConvertTimeFormat (target, target format, source, source
// format). Times are in the current time format (media time: 100 ns).
#define TLX_MEDIA_SEEKING_METHODS(X)                                                     \
  X(GetCapabilities, (DWORD * a), (a))                                                   \
  X(CheckCapabilities, (DWORD * a), (a))                                                 \
  X(IsFormatSupported, (const GUID* a), (a))                                             \
  X(QueryPreferredFormat, (GUID * a), (a))                                               \
  X(GetTimeFormat, (GUID * a), (a))                                                      \
  X(IsUsingTimeFormat, (const GUID* a), (a))                                             \
  X(SetTimeFormat, (const GUID* a), (a))                                                 \
  X(GetDuration, (LONGLONG * a), (a))                                                    \
  X(GetStopPosition, (LONGLONG * a), (a))                                                \
  X(GetCurrentPosition, (LONGLONG * a), (a))                                             \
  X(ConvertTimeFormat, (LONGLONG * a, const GUID* b, LONGLONG c, const GUID* d), (a, b, c, d)) \
  X(SetPositions, (LONGLONG * a, DWORD b, LONGLONG* c, DWORD d), (a, b, c, d))           \
  X(GetPositions, (LONGLONG * a, LONGLONG* b), (a, b))                                   \
  X(GetAvailable, (LONGLONG * a, LONGLONG* b), (a, b))                                   \
  X(SetRate, (double a), (a))                                                            \
  X(GetRate, (double* a), (a))                                                           \
  X(GetPreroll, (LONGLONG * a), (a))

#define TLX_DECLARE_PURE(name, params, args) STDMETHOD(name) params PURE;
#define TLX_DECLARE_OVERRIDE(name, params, args) STDMETHODIMP name params override;

struct IMediaSeeking : IUnknown {
  TLX_MEDIA_SEEKING_METHODS(TLX_DECLARE_PURE)

 protected:
  ~IMediaSeeking() = default;
};

struct IMediaPosition : IDispatch {
  STDMETHOD(get_Duration)(REFTIME* length) PURE;
  STDMETHOD(put_CurrentPosition)(REFTIME time) PURE;
  STDMETHOD(get_CurrentPosition)(REFTIME* time) PURE;
  STDMETHOD(get_StopTime)(REFTIME* time) PURE;
  STDMETHOD(put_StopTime)(REFTIME time) PURE;
  STDMETHOD(get_PrerollTime)(REFTIME* time) PURE;
  STDMETHOD(put_PrerollTime)(REFTIME time) PURE;
  STDMETHOD(put_Rate)(double rate) PURE;
  STDMETHOD(get_Rate)(double* rate) PURE;
  STDMETHOD(CanSeekForward)(LONG* can) PURE;
  STDMETHOD(CanSeekBackward)(LONG* can) PURE;

 protected:
  ~IMediaPosition() = default;
};

// The video window and picture of a video renderer.
#define TLX_VIDEO_WINDOW_METHODS(X)                                                      \
  X(put_Caption, (BSTR a), (a))                                                          \
  X(get_Caption, (BSTR * a), (a))                                                        \
  X(put_WindowStyle, (long a), (a))                                                      \
  X(get_WindowStyle, (long* a), (a))                                                     \
  X(put_WindowStyleEx, (long a), (a))                                                    \
  X(get_WindowStyleEx, (long* a), (a))                                                   \
  X(put_AutoShow, (long a), (a))                                                         \
  X(get_AutoShow, (long* a), (a))                                                        \
  X(put_WindowState, (long a), (a))                                                      \
  X(get_WindowState, (long* a), (a))                                                     \
  X(put_BackgroundPalette, (long a), (a))                                                \
  X(get_BackgroundPalette, (long* a), (a))                                               \
  X(put_Visible, (long a), (a))                                                          \
  X(get_Visible, (long* a), (a))                                                         \
  X(put_Left, (long a), (a))                                                             \
  X(get_Left, (long* a), (a))                                                            \
  X(put_Width, (long a), (a))                                                            \
  X(get_Width, (long* a), (a))                                                           \
  X(put_Top, (long a), (a))                                                              \
  X(get_Top, (long* a), (a))                                                             \
  X(put_Height, (long a), (a))                                                           \
  X(get_Height, (long* a), (a))                                                          \
  X(put_Owner, (OAHWND a), (a))                                                          \
  X(get_Owner, (OAHWND * a), (a))                                                        \
  X(put_MessageDrain, (OAHWND a), (a))                                                   \
  X(get_MessageDrain, (OAHWND * a), (a))                                                 \
  X(get_BorderColor, (long* a), (a))                                                     \
  X(put_BorderColor, (long a), (a))                                                      \
  X(get_FullScreenMode, (long* a), (a))                                                  \
  X(put_FullScreenMode, (long a), (a))                                                   \
  X(SetWindowForeground, (long a), (a))                                                  \
  X(NotifyOwnerMessage, (OAHWND a, long b, LONG_PTR c, LONG_PTR d), (a, b, c, d))        \
  X(SetWindowPosition, (long a, long b, long c, long d), (a, b, c, d))                   \
  X(GetWindowPosition, (long* a, long* b, long* c, long* d), (a, b, c, d))               \
  X(GetMinIdealImageSize, (long* a, long* b), (a, b))                                    \
  X(GetMaxIdealImageSize, (long* a, long* b), (a, b))                                    \
  X(GetRestorePosition, (long* a, long* b, long* c, long* d), (a, b, c, d))              \
  X(HideCursor, (long a), (a))                                                           \
  X(IsCursorHidden, (long* a), (a))

#define TLX_BASIC_VIDEO_METHODS(X)                                                       \
  X(get_AvgTimePerFrame, (REFTIME * a), (a))                                             \
  X(get_BitRate, (long* a), (a))                                                         \
  X(get_BitErrorRate, (long* a), (a))                                                    \
  X(get_VideoWidth, (long* a), (a))                                                      \
  X(get_VideoHeight, (long* a), (a))                                                     \
  X(put_SourceLeft, (long a), (a))                                                       \
  X(get_SourceLeft, (long* a), (a))                                                      \
  X(put_SourceWidth, (long a), (a))                                                      \
  X(get_SourceWidth, (long* a), (a))                                                     \
  X(put_SourceTop, (long a), (a))                                                        \
  X(get_SourceTop, (long* a), (a))                                                       \
  X(put_SourceHeight, (long a), (a))                                                     \
  X(get_SourceHeight, (long* a), (a))                                                    \
  X(put_DestinationLeft, (long a), (a))                                                  \
  X(get_DestinationLeft, (long* a), (a))                                                 \
  X(put_DestinationWidth, (long a), (a))                                                 \
  X(get_DestinationWidth, (long* a), (a))                                                \
  X(put_DestinationTop, (long a), (a))                                                   \
  X(get_DestinationTop, (long* a), (a))                                                  \
  X(put_DestinationHeight, (long a), (a))                                                \
  X(get_DestinationHeight, (long* a), (a))                                               \
  X(SetSourcePosition, (long a, long b, long c, long d), (a, b, c, d))                   \
  X(GetSourcePosition, (long* a, long* b, long* c, long* d), (a, b, c, d))               \
  X(SetDefaultSourcePosition, (), ())                                                    \
  X(SetDestinationPosition, (long a, long b, long c, long d), (a, b, c, d))              \
  X(GetDestinationPosition, (long* a, long* b, long* c, long* d), (a, b, c, d))          \
  X(SetDefaultDestinationPosition, (), ())                                               \
  X(GetVideoSize, (long* a, long* b), (a, b))                                            \
  X(GetVideoPaletteEntries, (long a, long b, long* c, long* d), (a, b, c, d))            \
  X(GetCurrentImage, (long* a, long* b), (a, b))                                         \
  X(IsUsingDefaultSource, (), ())                                                        \
  X(IsUsingDefaultDestination, (), ())

struct IVideoWindow : IDispatch {
  TLX_VIDEO_WINDOW_METHODS(TLX_DECLARE_PURE)

 protected:
  ~IVideoWindow() = default;
};

struct IBasicVideo : IDispatch {
  TLX_BASIC_VIDEO_METHODS(TLX_DECLARE_PURE)

 protected:
  ~IBasicVideo() = default;
};

struct IBasicAudio : IDispatch {
  STDMETHOD(put_Volume)(long volume) PURE;  // hundredths of a decibel, -10000..0
  STDMETHOD(get_Volume)(long* volume) PURE;
  STDMETHOD(put_Balance)(long balance) PURE;
  STDMETHOD(get_Balance)(long* balance) PURE;

 protected:
  ~IBasicAudio() = default;
};

inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;
struct IAMFilterMiscFlags : IUnknown {
  STDMETHOD_(ULONG, GetMiscFlags)() PURE;

 protected:
  ~IAMFilterMiscFlags() = default;
};

struct IAMLatency : IUnknown {
  STDMETHOD(GetLatency)(REFERENCE_TIME* latency) PURE;

 protected:
  ~IAMLatency() = default;
};

inline constexpr ULONG AM_PUSHSOURCECAPS_INTERNAL_RM = 0x1;
inline constexpr ULONG AM_PUSHSOURCECAPS_NOT_LIVE = 0x2;
inline constexpr ULONG AM_PUSHSOURCECAPS_PRIVATE_CLOCK = 0x4;
struct IAMPushSource : IAMLatency {
  STDMETHOD(GetPushSourceFlags)(ULONG* flags) PURE;
  STDMETHOD(SetPushSourceFlags)(ULONG flags) PURE;
  STDMETHOD(SetStreamOffset)(REFERENCE_TIME offset) PURE;
  STDMETHOD(GetStreamOffset)(REFERENCE_TIME* offset) PURE;
  STDMETHOD(GetMaxStreamOffset)(REFERENCE_TIME* offset) PURE;
  STDMETHOD(SetMaxStreamOffset)(REFERENCE_TIME offset) PURE;

 protected:
  ~IAMPushSource() = default;
};

struct IAMGraphStreams : IUnknown {
  STDMETHOD(FindUpstreamInterface)(IPin* pin, REFIID iid, void** object, DWORD flags) PURE;
  STDMETHOD(SyncUsingStreamOffset)(BOOL use) PURE;
  STDMETHOD(SetMaxGraphLatency)(REFERENCE_TIME latency) PURE;

 protected:
  ~IAMGraphStreams() = default;
};

// Aspect-ratio control of the mixing video renderers.
inline constexpr DWORD VMR_ARMODE_NONE = 0;
inline constexpr DWORD VMR_ARMODE_LETTER_BOX = 1;
struct IVMRAspectRatioControl : IUnknown {
  STDMETHOD(GetAspectRatioMode)(DWORD* mode) PURE;
  STDMETHOD(SetAspectRatioMode)(DWORD mode) PURE;

 protected:
  ~IVMRAspectRatioControl() = default;
};
struct IVMRAspectRatioControl9 : IUnknown {
  STDMETHOD(GetAspectRatioMode)(DWORD* mode) PURE;
  STDMETHOD(SetAspectRatioMode)(DWORD mode) PURE;

 protected:
  ~IVMRAspectRatioControl9() = default;
};

struct IFileSourceFilter : IUnknown {
  STDMETHOD(Load)(LPCOLESTR file, const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* file, AM_MEDIA_TYPE* mt) PURE;

 protected:
  ~IFileSourceFilter() = default;
};

struct IFileSinkFilter : IUnknown {
  STDMETHOD(SetFileName)(LPCOLESTR file, const AM_MEDIA_TYPE* mt) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* file, AM_MEDIA_TYPE* mt) PURE;

 protected:
  ~IFileSinkFilter() = default;
};

// Streams and persistence.
union LARGE_INTEGER {
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  ULONGLONG QuadPart;
};
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

struct ISequentialStream : IUnknown {
  STDMETHOD(Read)(void* buffer, ULONG size, ULONG* read) PURE;
  STDMETHOD(Write)(const void* buffer, ULONG size, ULONG* written) PURE;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) PURE;
  STDMETHOD(SetSize)(ULARGE_INTEGER size) PURE;
  STDMETHOD(Commit)(DWORD flags) PURE;

 protected:
  ~IStream() = default;
};

struct IPersistStream : IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(IStream* stream) PURE;
  STDMETHOD(Save)(IStream* stream, BOOL clearDirty) PURE;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) PURE;

 protected:
  ~IPersistStream() = default;
};

// Property pages.
struct CAUUID {
  ULONG cElems;
  GUID* pElems;  // CoTaskMemAlloc'ed; the caller frees it
};
struct ISpecifyPropertyPages : IUnknown {
  STDMETHOD(GetPages)(CAUUID* pages) PURE;

 protected:
  ~ISpecifyPropertyPages() = default;
};

inline constexpr DWORD PROPPAGESTATUS_DIRTY = 0x1;
inline constexpr DWORD PROPPAGESTATUS_VALIDATE = 0x2;
inline constexpr DWORD PROPPAGESTATUS_CLEAN = 0x4;

struct PROPPAGEINFO {
  ULONG cb;
  LPOLESTR pszTitle;  // CoTaskMemAlloc'ed
  SIZE size;
  LPOLESTR pszDocString;
  LPOLESTR pszHelpFile;
  DWORD dwHelpContext;
};

struct IPropertyPageSite : IUnknown {
  STDMETHOD(OnStatusChange)(DWORD flags) PURE;
  STDMETHOD(GetLocaleID)(LCID* locale) PURE;
  STDMETHOD(GetPageContainer)(IUnknown** container) PURE;
  STDMETHOD(TranslateAccelerator)(MSG* msg) PURE;

 protected:
  ~IPropertyPageSite() = default;
};

struct IPropertyPage : IUnknown {
  STDMETHOD(SetPageSite)(IPropertyPageSite* site) PURE;
  STDMETHOD(Activate)(HWND parent, LPCRECT rect, BOOL modal) PURE;
  STDMETHOD(Deactivate)() PURE;
  STDMETHOD(GetPageInfo)(PROPPAGEINFO* info) PURE;
  STDMETHOD(SetObjects)(ULONG count, IUnknown** objects) PURE;
  STDMETHOD(Show)(UINT cmdShow) PURE;
  STDMETHOD(Move)(LPCRECT rect) PURE;
  STDMETHOD(IsPageDirty)() PURE;
  STDMETHOD(Apply)() PURE;
  STDMETHOD(Help)(LPCOLESTR helpDir) PURE;
  STDMETHOD(TranslateAccelerator)(MSG* msg) PURE;

 protected:
  ~IPropertyPage() = default;
};

// The device enumerator and the entries of a category.
struct IPropertyBag : IUnknown {
  // "FriendlyName" (VT_BSTR) and "CLSID" (VT_BSTR, braced form) are known.
  STDMETHOD(Read)(LPCOLESTR name, VARIANT* value, IErrorLog* log) PURE;
  STDMETHOD(Write)(LPCOLESTR name, VARIANT* value) PURE;

 protected:
  ~IPropertyBag() = default;
};

struct IMoniker : IUnknown {
  STDMETHOD(BindToObject)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;
  STDMETHOD(BindToStorage)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;

 protected:
  ~IMoniker() = default;
};

struct IEnumMoniker : IUnknown {
  STDMETHOD(Next)(ULONG count, IMoniker** monikers, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMoniker** clone) PURE;

 protected:
  ~IEnumMoniker() = default;
};

struct ICreateDevEnum : IUnknown {
  // S_FALSE and a null enumerator when the category is empty.
  STDMETHOD(CreateClassEnumerator)(REFCLSID category, IEnumMoniker** monikers, DWORD flags) PURE;

 protected:
  ~ICreateDevEnum() = default;
};

// Registration of a filter module: the filters and pins it describes.
struct AMOVIESETUP_MEDIATYPE {
  const CLSID* clsMajorType;
  const CLSID* clsMinorType;
};
struct AMOVIESETUP_PIN {
  LPCWSTR strName;
  BOOL bRendered;
  BOOL bOutput;
  BOOL bZero;
  BOOL bMany;
  const CLSID* clsConnectsToFilter;
  LPCWSTR strConnectsToPin;
  UINT nMediaTypes;
  const AMOVIESETUP_MEDIATYPE* lpMediaType;
};
struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  LPCWSTR strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
};

inline constexpr DWORD MERIT_PREFERRED = 0x800000;
inline constexpr DWORD MERIT_NORMAL = 0x600000;
inline constexpr DWORD MERIT_UNLIKELY = 0x400000;
inline constexpr DWORD MERIT_DO_NOT_USE = 0x200000;
inline constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
inline constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;

struct IAMovieSetup : IUnknown {
  STDMETHOD(Register)() PURE;
  STDMETHOD(Unregister)() PURE;

 protected:
  ~IAMovieSetup() = default;
};
