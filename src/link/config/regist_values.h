// The registered base's values, read by name through the authentication
// library, and the capability records and remote-commander block made from
// them. A value the library cannot give (not bound, absent) is empty.
#pragma once

#include <cstdint>
#include <string>

#include "link/tlx_bcf.h"

namespace tlx::link {

// The value name of a registration-value type, or null.
const char* tlxRegValueName(int type);
// The text tlxRegist_GetRegValue returns for `type`.
std::string tlxRegValue(int type);

int tlxRegistCapWlan(TLX_CAP_WLAN* out);
int tlxRegistCapVideoSystem(TLX_CAP_VIDEO_SYSTEM* out);
int tlxRegistCapRcomFunc(int* out);
int tlxRegistCapLineInfo(int index, TLX_CAP_LINE_INFO* out);
int tlxRegistCapability(unsigned type, int index, void* out);

// 0 when `baseModel` ends in the suffix of the region of `optionWord`, else -1.
int tlxIsConnectableModel(const char* baseModel, uint32_t optionWord);

// The player's remote-commander model name: "tlx/ModelNameRCom", else
// "tlx/modelname_rcom".
std::string tlxRcomModelName();

// The remote-commander configuration block that the remote-commander manager
// sends for one input.
inline constexpr size_t kRcomConfigBlockSize = 272;
void tlxRcomPackConfig(const UIRCOM_CONFIG& config, uint8_t (&out)[kRcomConfigBlockSize]);

}  // namespace tlx::link
