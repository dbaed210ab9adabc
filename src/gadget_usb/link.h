// The process-wide connection to one display.
#pragma once

#include "gadget_usb/usb_backend.h"

namespace qv {

inline constexpr uint8_t kBaudRequestType = 0x40;  // vendor request, host to device
inline constexpr uint8_t kBaudRequest = 3;          // the bridge's set-baud-rate request
inline constexpr int kInterface = 0;

// The open device as the backend knows it (g_glimmetHandle).
UsbHandle* link_handle();

}  // namespace qv
