// The link library's functions as a replaceable table.
#include "link/tlx_bcf_api.h"

#include <atomic>

namespace {

constexpr TlxBcfApiTable kLinkLibrary{
    tlxInit,
    tlxCleanup,
    tlxHnetMgr_SetConnType,
    tlxRavixMgr_AuthInit,
    tlxRavixMgr_ChangeState,
    tlxRavixMgr_SetBitrate,
    tlxRavixMgr_GetBaseInfo,
    tlxRavixMgr_GetKeyKK,
    tlxTvMgr_SelectEx,
    tlxTvMgr_GetVideoIn,
    tlxTvMgr_SetPictureCtrl,
    tlxTvMgr_SetTVParams,
    tlxTvMgr_ChangeAudioBli,
    tlxEventMgrCallbackAttach,
    tlxEventMgrCallbackDetach,
    tlxUiRcomMgr_SendCommand,
    tlxUiRcomMgr_StartLearning,
    tlxUiRcomMgr_StopLearning,
    tlxUiRcomMgr_StartCapture,
    tlxUiRcomMgr_StopCapture,
    tlxUiRcomMgr_GetParameter,
};

std::atomic<const TlxBcfApiTable*> g_table{&kLinkLibrary};

}  // namespace

const TlxBcfApiTable& TlxBcfApi() { return *g_table.load(std::memory_order_acquire); }

const TlxBcfApiTable* TlxBcfInstallApi(const TlxBcfApiTable* table) {
  return g_table.exchange(table != nullptr ? table : &kLinkLibrary, std::memory_order_acq_rel);
}
