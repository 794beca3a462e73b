#include <mutex>

#include "common/chain_string.h"
#include "common/common_log.h"
#include "common/tlx_pc_cmn_help.h"
#include "win32/text.h"

namespace {

// The string that names the default help file.
constexpr UINT kIdsDefaultHelpFile = 19950;

void LogPresenter(const WCHAR* file, UINT command, DWORD_PTR data) {
  if (command != HH_HELP_CONTEXT) return;
  tlx::common::Log("help %s, topic %lu: there is no help viewer on this platform",
                   tlx::win32::NarrowText(file).c_str(), static_cast<unsigned long>(data));
}

// The count and the cookie change together; the presenter runs under the lock,
// so initialisation and uninitialisation never overlap.
struct HelpState {
  std::mutex lock;
  TlxPcCmnHelpPresenter presenter = LogPresenter;
  int count = 0;
  DWORD cookie = 0;
};

HelpState& State() {
  static HelpState state;
  return state;
}

}  // namespace

TlxPcCmnHelpPresenter TlxPcCmnSetHelpPresenter(TlxPcCmnHelpPresenter presenter) {
  HelpState& state = State();
  std::lock_guard guard(state.lock);
  const TlxPcCmnHelpPresenter previous = state.presenter;
  state.presenter = presenter != nullptr ? presenter : LogPresenter;
  return previous;
}

void TlxPcCmnHtmlHelpInitialize() {
  HelpState& state = State();
  std::lock_guard guard(state.lock);
  if (state.count == 0) state.presenter(nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&state.cookie));
  ++state.count;
}

void TlxPcCmnHtmlHelpUninitialize() {
  HelpState& state = State();
  std::lock_guard guard(state.lock);
  if (state.count == 0) return;
  if (state.count == 1) state.presenter(nullptr, HH_UNINITIALIZE, state.cookie);
  --state.count;
}

CString TlxPcCmnHelpFileOf(const TlxPcCmnRegionRow& row) {
  return row.helpFile != nullptr ? CString(row.helpFile) : tlx::common::ChainString(kIdsDefaultHelpFile);
}

void TlxPcCmnHtmlHelpContext(UINT contextId) {
  const CString file = TlxPcCmnHelpFileOf(TlxPcCmnCurrentRegionRow());
  TlxPcCmnHelpPresenter presenter;
  {
    HelpState& state = State();
    std::lock_guard guard(state.lock);
    presenter = state.presenter;
  }
  presenter(file, HH_HELP_CONTEXT, contextId);
}
