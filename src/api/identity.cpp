// The display's identity, counters and status readouts. Plain readouts are rows of
// table/identity.def (the build writes their functions out); the functions that depart from
// the frame follow, each by name.
#include <cstddef>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

// The firmware revision: 7 bytes at bytes 7-13 of the reply, NULs included.
constexpr std::size_t kRevisionBytes = 7;

// The information strings come in their own 103-byte packet: opcode 20, status at byte 1, the
// string selector at byte 2, and the display's text from byte 3 (100 bytes, NUL-terminated when
// shorter).
constexpr uint16_t kInfoPacketSize = 103;
constexpr uint8_t kOpInfoString = 20;
constexpr std::size_t kInfoStatus = 1;
constexpr std::size_t kInfoSelector = 2;
constexpr std::size_t kInfoText = 3;

enum InfoSelector : uint8_t { kCustomerAsset = 0, kDeploymentDate = 1, kDeploymentLocation = 2, kDisplayName = 3 };

// Reads one information string into the caller's buffer of `size` bytes: at most size-1
// characters, the rest NUL-filled. A longer text from the display is cut without notice.
int get_info_string(const char* fn, uint8_t selector, char* text, std::size_t size, const char* value_line) {
    uint8_t packet[kInfoPacketSize];
    std::memset(packet, 0, sizeof packet);
    packet[0] = kOpInfoString;
    packet[kInfoSelector] = selector;
    if (const int rc = qv::exchange(fn, packet, kInfoPacketSize, kInfoStatus, qv::StatusLine::status); rc != RC_OK)
        return rc;
    qv::copy_text_field(text, packet + kInfoText, size - 1);
    qv::log(value_line, text);
    return RC_OK;
}

}  // namespace

extern "C" {

QV_API int GetFirmwareRevision(char* revision) noexcept {
    if (revision == nullptr) return RC_INVALID_ARGUMENT;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get("GetFirmwareRevision", packet, 11, 1); rc != RC_OK) return rc;
    std::memcpy(revision, packet + qv::kPayload, kRevisionBytes);
    revision[kRevisionBytes] = '\0';
    qv::log("Firmware Revision is %s \n", revision);
    return RC_OK;
}

QV_API int GetCustomerIDAsset(char* text) noexcept {
    if (text == nullptr) return RC_INVALID_ARGUMENT;
    return get_info_string("GetCustomerIDAsset", kCustomerAsset, text, 19, "Customer Asset ID is %s \n");
}

QV_API int GetDeploymentDate(char* text) noexcept {
    if (text == nullptr) return RC_INVALID_ARGUMENT;
    return get_info_string("GetDeploymentDate", kDeploymentDate, text, 11, "DeploymentDate = %s \n");
}

QV_API int GetDeploymentLocation(char* text) noexcept {
    if (text == nullptr) return RC_INVALID_ARGUMENT;
    return get_info_string("GetDeploymentLocation", kDeploymentLocation, text, 19, "Deployment location is %s \n");
}

QV_API int GetDisplayName(char* text) noexcept {
    if (text == nullptr) return RC_INVALID_ARGUMENT;
    return get_info_string("GetDisplayName", kDisplayName, text, 19, "Display name is %s \n");
}

}  // extern "C"
