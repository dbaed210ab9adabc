// The display's network settings. Plain settings are rows of table/network.def (the build writes
// their functions out); the functions that depart from the frame follow, each by name.
//
// The display serves its network page only while its built-in web server runs, so most calls
// read the web-server switch first and refuse with RC_NOT_ALLOWED when it is not exactly 1.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

constexpr int kNetworkGetGroup = 5;
constexpr int kNetworkSetGroup = 10;
constexpr int kIpConfigItem = 2;

// The IP configuration on the wire, bytes 7-25 of the settings packet, in both directions.
constexpr std::size_t kIpMode = 7;
constexpr std::size_t kIpAddress = 8;
constexpr std::size_t kSubnetMask = 12;
constexpr std::size_t kGateway = 16;
constexpr std::size_t kMac = 20;  // only in the reply; a set leaves it 0

constexpr std::size_t kAddressText = sizeof(IPConfigRecord::ipAddress);
constexpr std::size_t kMacText = 18;  // "ff.ff.ff.ff.ff.ff" and its NUL

void address_text(char* text, const uint8_t* octets) {
    std::snprintf(text, kAddressText, "%u.%u.%u.%u", static_cast<unsigned>(octets[0] & 0xFFu),
                  static_cast<unsigned>(octets[1] & 0xFFu), static_cast<unsigned>(octets[2] & 0xFFu),
                  static_cast<unsigned>(octets[3] & 0xFFu));
}

// One address field of the caller's record into four packet bytes. The field is split in place,
// as SplitIPV4 does; a field whose 16 bytes hold no NUL is taken as its 16 characters and never
// read past.
void split_field(uint8_t* field, uint8_t* octets) {
    char text[kAddressText + 1];
    std::memcpy(text, field, kAddressText);
    text[kAddressText] = '\0';
    SplitIPV4(text, octets);
    std::memcpy(field, text, kAddressText);
}

}  // namespace

extern "C" {

QV_API void SplitIPV4(char* text, uint8_t* bytes) noexcept {
    if (text == nullptr || bytes == nullptr) return;  // nothing to split, nowhere to put it
    // Parts as strtok gives them: runs of dots are one separator, leading dots are skipped, and
    // the dot after each part returned is overwritten with a NUL.
    char* save = nullptr;
    const char* part = strtok_r(text, ".", &save);
    for (int i = 0; i < 4 && part != nullptr; ++i) {
        bytes[i] = static_cast<uint8_t>(static_cast<unsigned>(std::atoi(part)) & 0xFFu);
        part = strtok_r(nullptr, ".", &save);
    }
}

QV_API int GetIPConfiguration(char* config, char* mac) noexcept {
    if (config == nullptr || mac == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetIPConfiguration";
    if (const int rc = qv::check_guard(&qv::guard::web_server, fn); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, kNetworkGetGroup, kIpConfigItem); rc != RC_OK) return rc;

    IPConfigRecord record;
    std::memset(&record, 0, sizeof record);
    record.ipMode = packet[kIpMode];
    address_text(record.ipAddress, packet + kIpAddress);
    address_text(record.subnetMask, packet + kSubnetMask);
    address_text(record.gateway, packet + kGateway);
    std::memcpy(config, &record, sizeof record);
    const uint8_t* m = packet + kMac;
    std::snprintf(mac, kMacText, "%x.%x.%x.%x.%x.%x", static_cast<unsigned>(m[0] & 0xFFu),
                  static_cast<unsigned>(m[1] & 0xFFu), static_cast<unsigned>(m[2] & 0xFFu),
                  static_cast<unsigned>(m[3] & 0xFFu), static_cast<unsigned>(m[4] & 0xFFu),
                  static_cast<unsigned>(m[5] & 0xFFu));

    qv::log("IP mode = %d \n", static_cast<int>(record.ipMode));
    qv::log("IPAddress = %s \n", record.ipAddress);
    qv::log("SubnetMask = %s \n", record.subnetMask);
    qv::log("Gateway = %s \n", record.gateway);
    qv::log("MAC Address = %s \n", mac);
    return RC_OK;
}

QV_API int SetIPConfiguration(uint8_t* config) noexcept {
    if (config == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "SetIPConfiguration";
    if (const int rc = qv::check_guard(&qv::guard::web_server, fn); rc != RC_OK) return rc;
    const uint8_t mode = config[offsetof(IPConfigRecord, ipMode)];
    if (const int rc = qv::validate(fn, mode, 0, 1); rc != RC_OK) return rc;

    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, kNetworkSetGroup, kIpConfigItem);
    packet[kIpMode] = mode;
    // With mode 0 the display takes no addresses: they stay 0 and the texts are not read.
    if (mode != 0) {
        split_field(config + offsetof(IPConfigRecord, ipAddress), packet + kIpAddress);
        split_field(config + offsetof(IPConfigRecord, subnetMask), packet + kSubnetMask);
        split_field(config + offsetof(IPConfigRecord, gateway), packet + kGateway);
    }
    return qv::exchange(fn, packet);
}

}  // extern "C"
