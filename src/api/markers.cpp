// The display's on-screen markers, over the main picture and over the picture-in-picture (PIP)
// window. Plain settings (the marker colours) are rows of table/markers.def (the build
// writes their functions out); the marker records follow, each function by name.
//
// A marker record is 12 bytes: byte 0 asks the display to clear every marker, bytes 1-11 are
// the marker switches. The display reports a switch as 0, 1 or 2; what each switch draws is the
// display's, the library knows them only by position and by which of them may be combined.
#include <cstring>

#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

// Where the records live, taken from the table rows.
const qv::SettingRow& kMainRow = *qv::find_row("markers");
const qv::SettingRow& kPipRow = *qv::find_row("pip-markers");

constexpr std::size_t kRecord = sizeof(MarkerDetails);
constexpr std::size_t kClearField = 0;
using Record = uint8_t[kRecord];

enum class Picture { main, pip };

int read_record(const char* fn, const qv::Guard& guard, const qv::SettingRow& row, MarkerDetails* details) {
    if (const int rc = qv::check_guard(&guard, fn); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, row.get_key.group, row.get_key.item); rc != RC_OK) return rc;
    std::memcpy(details, packet + qv::kPayload, kRecord);
    return RC_OK;
}

int send_record(const char* fn, const qv::SettingRow& row, const Record& record) {
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, row.set_key.group, row.set_key.item);
    std::memcpy(packet + qv::kPayload, record, kRecord);
    return qv::exchange(fn, packet);
}

int clear_markers(const char* fn, const qv::Guard& guard, const qv::SettingRow& row) {
    if (const int rc = qv::check_guard(&guard, fn); rc != RC_OK) return rc;
    Record record = {};
    record[kClearField] = 1;
    return send_record(fn, row, record);
}

int refuse(const char* fn) {
    qv::log("<ERROR> %s: Validation Failed.\n", fn);
    return RC_INVALID_ARGUMENT;
}

// Which switches may be on together, given what the display reports now. Fields 1 and 2 form
// the first group; fields 3-5 (the second group) exclude the first and, when the display
// reports 2 for one of them, need field 3; fields 7 and 8 need field 6 and exclude both groups.
// The second group's rules hold for the main picture on monitor type 2 only, for the PIP
// window on every type. A current 2 blocks switching field 11 or field 3 on, and fields 4 and 5
// on without field 3 (unless field 3 itself reads 2).
int check_combination(const char* fn, Picture picture, const Record& want, const Record& now) {
    const bool main = picture == Picture::main;
    const bool second_group_rules = !main || gu8MonitorType == 2;
    const auto on = [&want](int field) { return want[field] != 0; };

    for (int field = 1; field <= 11; ++field) {
        if (main && field == 4 && gu8MonitorType == 1) continue;  // free on monitor type 1
        if (qv::validate(fn, static_cast<int8_t>(want[field]), 0, 1) != RC_OK) return RC_INVALID_ARGUMENT;
    }
    if (on(11) && now[11] == 2) return refuse(fn);
    if (on(1) && on(2)) return refuse(fn);

    bool first_group = on(1) || (main ? on(2) : now[2] != 0);
    if (second_group_rules && (on(3) || on(4) || on(5))) {
        if (first_group) return refuse(fn);
        if (on(3) && now[3] == 2) return refuse(fn);
        if (now[3] != 2) {
            for (const int field : {4, 5})
                if (on(field) && now[field] == 2 && !on(3)) return refuse(fn);
        }
        first_group = true;
    }
    if (on(6) || on(7) || on(8)) {
        if (first_group) {
            if (second_group_rules && on(3)) return refuse(fn);
            if (on(7) || on(8)) return refuse(fn);
        } else if (!on(6)) {
            return refuse(fn);
        }
    }
    return RC_OK;
}

// Reads the current record (through its getter, with the getter's guard and lines), checks the
// wanted one against it and sends it. The main picture's clear field is neither checked nor
// sent (byte 7 of its set is always 0); the PIP window's record is sent whole, and a clear
// request there is refused (ClearPIPMarkers is the way to clear).
int set_record(const char* fn, Picture picture, int (*read_current)(MarkerDetails*), const qv::SettingRow& row,
               const MarkerDetails* details) {
    MarkerDetails current{};
    if (const int rc = read_current(&current); rc != RC_OK) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", fn);
        return rc;
    }
    Record want;
    Record now;
    std::memcpy(want, details, kRecord);
    std::memcpy(now, &current, kRecord);
    if (const int rc = check_combination(fn, picture, want, now); rc != RC_OK) return rc;
    if (picture == Picture::main) {
        want[kClearField] = 0;
    } else if (want[kClearField] != 0) {
        qv::log("<ERROR> %s: Validation Failed. Clear Markers field is set \n", fn);
        return RC_INVALID_ARGUMENT;
    }
    return send_record(fn, row, want);
}

}  // namespace

extern "C" {

QV_API int ClearMarkers(void) noexcept {
    return clear_markers("ClearMarkers", qv::guard::marker_main, kMainRow);
}

QV_API int GetMarkerDetails(MarkerDetails* details) noexcept {
    if (details == nullptr) return RC_INVALID_ARGUMENT;
    return read_record("GetMarkerDetails", qv::guard::marker_main, kMainRow, details);
}

QV_API int SetMarkerDetails(const MarkerDetails* details) noexcept {
    if (details == nullptr) return RC_INVALID_ARGUMENT;
    return set_record("SetMarkerDetails", Picture::main, GetMarkerDetails, kMainRow, details);
}

QV_API int ClearPIPMarkers(void) noexcept {
    return clear_markers("ClearPIPMarkers", qv::guard::marker_pip, kPipRow);
}

QV_API int GetPIPMarkerDetails(MarkerDetails* details) noexcept {
    if (details == nullptr) return RC_INVALID_ARGUMENT;
    return read_record("GetPIPMarkerDetails", qv::guard::marker_pip, kPipRow, details);
}

QV_API int SetPIPMarkerDetails(const MarkerDetails* details) noexcept {
    if (details == nullptr) return RC_INVALID_ARGUMENT;
    return set_record("SetPIPMarkerDetails", Picture::pip, GetPIPMarkerDetails, kPipRow, details);
}

}  // extern "C"
