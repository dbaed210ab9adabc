// The display's video inputs and USB binding. Plain settings are rows of table/inputs.def (the
// build writes their functions out); the functions that depart from the frame follow, each by
// name.
//
// The display carries an input's name only as a name type (0 default, 1..10 predefined, 11
// custom) plus, for a custom name, its text. The texts of the default and predefined names live
// here, in two exported tables.
#include <cstddef>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"

extern "C" {

// Exported: quorvex.h declares it QV_API.
const char* const byDefaultInputNames[5] = {
    "DisplayPort 1", "DisplayPort 2", "HDMI 1", "HDMI 2", "USB Type-C",
};

QV_API char byPredefinedInputNames[5][10][15] = {
    {"Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system", "Linux system",
     "macOS system", "", "", ""},
    {"Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system", "Linux system",
     "macOS system", "", "", ""},
    {"Workstation 1", "Workstation 2", "Laptop", "", "Windows system", "Linux system",
     "macOS system", "Master", "Playback", "Client"},
    {"Workstation 1", "Workstation 2", "Laptop", "", "Windows system", "Linux system",
     "macOS system", "Master", "Playback", "Client"},
    {"Workstation 1", "Workstation 2", "Laptop", "", "Windows system", "Linux system",
     "macOS system", "", "", ""},
};

}  // extern "C"

namespace {

constexpr uint8_t kInputs = 5;
constexpr uint8_t kNameCustom = 11;
constexpr std::size_t kNameChars = 14;  // a name buffer holds 14 characters and a NUL
constexpr uint8_t kBindingEnabled = 3;

// Where the name record lies: at byte 7 of the get, at byte 8 of the set (byte 7 then repeats
// the input number).
constexpr std::size_t kGetRecord = 7;
constexpr std::size_t kSetRecord = 8;

// A name text of the library's tables: up to its NUL, at most 14 characters, then a NUL. Bytes of
// name after the NUL are left alone.
void copy_table_name(char* name, const char* text) {
    const std::size_t n = strnlen(text, kNameChars);
    std::memcpy(name, text, n);
    name[n] = '\0';
}

// The USB binding configuration may be read or written only while the binding status is 3.
// Returns the status read's result; *enabled tells whether the status is 3.
int read_binding_enabled(bool* enabled) {
    uint8_t status = 0;
    const int rc = GetUSBPortBindingStatus(&status);
    *enabled = rc == RC_OK && status == kBindingEnabled;
    return rc;
}

}  // namespace

extern "C" {

QV_API int GetVideoInputName(uint8_t input, char* name, uint8_t* customNameStatus) noexcept {
    static constexpr const char* fn = "GetVideoInputName";
    if (s16ValidateSWord16Var(input, 0, kInputs - 1) != 0) {
        qv::log("<ERROR> %s:  Input Number Validation Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    if (name == nullptr || customNameStatus == nullptr) {
        qv::log("<ERROR> %s:  Pointer Validation Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpGet, 2, 2);
    InputNameRecord record{};
    record.InputNumber = input;
    std::memcpy(packet + kGetRecord, &record, sizeof record);
    if (const int rc = qv::exchange(fn, packet); rc != RC_OK) return rc;

    std::memcpy(&record, packet + kGetRecord, sizeof record);
    // Ten predefined names per input: a type beyond the custom name has no text to show.
    if (record.NameType > kNameCustom) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", fn);
        return RC_DEVICE_STATUS;
    }
    if (record.NameType == kNameCustom) {
        qv::copy_text_field(name, packet + kGetRecord + offsetof(InputNameRecord, CustomName), kNameChars);
    } else if (record.NameType > 0) {
        copy_table_name(name, byPredefinedInputNames[input][record.NameType - 1]);
    } else {
        copy_table_name(name, byDefaultInputNames[input]);
    }
    *customNameStatus = record.CustomNameStatus;
    qv::log("video input number =%d \nvideo input name type =%d \ncustomname = %s\ncustomname status= %d\n",
            input, record.NameType, name, *customNameStatus);
    return RC_OK;
}

QV_API int SetVideoInputName(uint8_t input, uint8_t nameType, const char* customName) noexcept {
    static constexpr const char* fn = "SetVideoInputName";
    if (const int rc = qv::validate(fn, input, 0, kInputs - 1); rc != RC_OK) return rc;
    if (const int rc = qv::validate(fn, nameType, 0, kNameCustom); rc != RC_OK) return rc;
    InputNameRecord record{};
    record.InputNumber = input;
    record.NameType = nameType;
    std::size_t custom_chars = 0;
    if (nameType == kNameCustom) {
        if (customName == nullptr) return RC_INVALID_ARGUMENT;
        // A longer name is cut to its first 14 characters; the 15th byte stays NUL.
        custom_chars = strnlen(customName, kNameChars);
        record.CustomNameStatus = 1;
    } else if (nameType > 0 && byPredefinedInputNames[input][nameType - 1][0] == '\0') {
        // The input does not offer this predefined name. Only the type is sent, never the text.
        qv::log("<ERROR> %s: Validation Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, 1, 2);
    packet[qv::kPayload] = input;
    std::memcpy(packet + kSetRecord, &record, sizeof record);
    if (custom_chars > 0)
        std::memcpy(packet + kSetRecord + offsetof(InputNameRecord, CustomName), customName, custom_chars);
    return qv::exchange(fn, packet);
}

QV_API int GetUSBBindingConfiguration(uint8_t* usb1, uint8_t* usb2) noexcept {
    if (usb1 == nullptr || usb2 == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetUSBBindingConfiguration";
    bool enabled = false;
    if (const int rc = read_binding_enabled(&enabled); rc != RC_OK) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", fn);
        return rc;
    }
    if (!enabled) {
        qv::log("<ERROR> %s: USB Binding Not Enabled.\n", fn);
        return RC_NOT_ALLOWED;
    }
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, 1, 4); rc != RC_OK) return rc;
    *usb1 = packet[qv::kPayload];
    *usb2 = packet[qv::kPayload + 1];
    qv::log("USB1 Binding Status is %d \n", *usb1);
    qv::log("USB2 Binding Status is %d \n", *usb2);
    return RC_OK;
}

// Unlike the getter, every refusal here (status unreadable, binding not enabled, a binding out of
// range) is RC_INVALID_ARGUMENT.
QV_API int SetUSBBindingConfiguration(uint8_t usb1, uint8_t usb2) noexcept {
    static constexpr const char* fn = "SetUSBBindingConfiguration";
    bool enabled = false;
    if (read_binding_enabled(&enabled) != RC_OK) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    if (!enabled) {
        qv::log("<ERROR> %s: USB Binding Not Enabled.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    if (s16ValidateSWord16Var(usb1, 0, 3) != 0) {
        qv::log("<ERROR> %s: USB 1 Binding Validation Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    if (s16ValidateSWord16Var(usb2, 0, 4) != 0) {
        qv::log("<ERROR> %s: USB 2 Binding Validation Failed.\n", fn);
        return RC_INVALID_ARGUMENT;
    }
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, 1, 4);
    packet[qv::kPayload] = usb1;
    packet[qv::kPayload + 1] = usb2;
    return qv::exchange(fn, packet);
}

}  // extern "C"
