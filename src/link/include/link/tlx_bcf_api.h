// The link library's functions as a table of pointers: the player's parts
// that steer the base station call them through TlxBcfApi(), so a test can put
// a scripted stand-in in place of the library with TlxBcfInstallApi.
// The table and its installation live in libTlxBcfApi.so, one copy per
// process, whichever libraries call through it.
#pragma once

#include "link/tlx_bcf.h"

struct TlxBcfApiTable {
  int (*tlxInit)(int* option);
  int (*tlxCleanup)();
  int (*tlxHnetMgr_SetConnType)(int type);
  int (*tlxRavixMgr_AuthInit)();
  int (*tlxRavixMgr_ChangeState)(int state);
  int (*tlxRavixMgr_SetBitrate)(int bitrate, int* out);
  int (*tlxRavixMgr_GetBaseInfo)(TLX_BASE_INFO* out);
  int (*tlxRavixMgr_GetKeyKK)(char* out, int size);
  int (*tlxTvMgr_SelectEx)(int input, int mode, int channel, int p4, int p5);
  int (*tlxTvMgr_GetVideoIn)();
  int (*tlxTvMgr_SetPictureCtrl)(int v1, int v2, int v3, int v4, int v5);
  int (*tlxTvMgr_SetTVParams)(int kind, const char* text);
  int (*tlxTvMgr_ChangeAudioBli)();
  int (*tlxEventMgrCallbackAttach)(TLX_EVENT_CALLBACK callback, void* context, unsigned eventMask);
  int (*tlxEventMgrCallbackDetach)(TLX_EVENT_CALLBACK callback);
  int (*tlxUiRcomMgr_SendCommand)(int cmdId, const char* data, int len);
  int (*tlxUiRcomMgr_StartLearning)(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user);
  int (*tlxUiRcomMgr_StopLearning)(int wait);
  int (*tlxUiRcomMgr_StartCapture)();
  int (*tlxUiRcomMgr_StopCapture)();
  int (*tlxUiRcomMgr_GetParameter)(int id, char* out, int outLen);
};

// The table in use: the link library's own exports unless another was
// installed. Safe from any thread.
const TlxBcfApiTable& TlxBcfApi();

// Puts `table` in use (null: the link library's own exports again) and
// returns the table that was in use. The table must outlive its use; install
// it before the callers start and take it out after they end.
const TlxBcfApiTable* TlxBcfInstallApi(const TlxBcfApiTable* table);
