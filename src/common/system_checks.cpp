#include <unistd.h>

#include <atomic>

#include "common/tlx_pc_cmn_system.h"

namespace {

std::atomic<bool> g_tvTunerEnabled{false};

}  // namespace

BOOL TlxPcCmnIsWindowsVistaOrNewer() { return TRUE; }

BOOL TlxPcCmnIsDX9Installed() { return TlxPcCmnIsWindowsVistaOrNewer(); }

BOOL TlxPcCmnIsCurrentUserLocalAdministrator() { return geteuid() == 0 ? TRUE : FALSE; }

bool GetTVTunerEnabled() { return g_tvTunerEnabled.load(); }

void SetTVTunerEnabled(bool enabled) { g_tvTunerEnabled.store(enabled); }
