// The display's firmware as the simulated display runs it, independent of any transport: it
// takes one request packet and gives one reply. Values are stored per setting, as each family's
// firmware file states its settings (display_settings.h), so a get and a set that use different
// (group, item) pairs reach the same value. Each family's firmware file also answers what goes
// beyond storing and returning a payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gadget_usb/clock.h"
#include "protocol/command_table.h"
#include "sim/display_settings.h"
#include "sim/family_state.h"  // FamilyState: written by the build from the firmware files

namespace qv::sim {

struct Reply {
    std::vector<uint8_t> bytes;  // empty: the display sends nothing
    uint64_t delay_us = 0;       // the reply is ready only after this much simulated time
    bool hold_in = false;        // an IN transfer waits for it (within its timeout)
};

struct FirmwareConfig {
    std::string serial = "QVSIM00001";  // 10 characters
    uint8_t monitor_type = 2;
    std::string mode = "3840x2160";     // active timing of the main picture, or "none"
    // When set, the calibration commands (runs, alignment, colorimeter positioning, the XML
    // calibration) answer after this many seconds, and the IN transfer waits for the answer.
    std::optional<uint32_t> calibration_seconds = std::nullopt;
    int refuse_chunk = 0;               // refuse the n-th chunk request with status 2 (TransferFaults)
};

// A request as it arrived, for tests to look at.
struct Request {
    std::vector<uint8_t> bytes;
    uint8_t opcode() const { return bytes.empty() ? 0 : bytes[0]; }
    uint8_t group() const { return bytes.size() > 4 ? bytes[4] : 0; }
    uint8_t item() const { return bytes.size() > 5 ? bytes[5] : 0; }
    bool is_get(int g, int i) const { return opcode() == 8 && group() == g && item() == i; }
    bool is_set(int g, int i) const { return opcode() == 3 && group() == g && item() == i; }
};

using Payload = std::array<uint8_t, 25>;  // bytes 7..31 of a settings packet

// The status of a request whose change the display could not keep (its state was not saved).
inline constexpr uint8_t kNotKeptStatus = 0xFE;

class Firmware {
public:
    Firmware(FirmwareConfig config, Clock& clock);

    // One request (one bulk OUT transfer) in, one reply out.
    Reply handle(const uint8_t* request, std::size_t length);

    // Stored values, by table row or setting name.
    Payload& payload(const SettingRow& row) { return payload(row.cli); }
    Payload& payload(std::string_view cli);
    uint8_t u8(std::string_view cli) { return payload(cli)[0]; }
    int16_t s16(std::string_view cli);
    void set_u8(std::string_view cli, uint8_t v);
    void set_s16(std::string_view cli, int16_t v);

    // The display's setting a get or a set with this group and item addresses; nullptr if none.
    const DisplaySetting* setting_for_get(int group, int item) const;
    const DisplaySetting* setting_for_set(int group, int item) const;

    // Make the display refuse commands: every request with this opcode (and group and item,
    // -1 for any) gets `status` in its status byte; `times` < 0 means for ever.
    void refuse(int opcode, int group, int item, uint8_t status, int times = -1);
    void clear_refusals() { refusals_.clear(); }

    // Every setting the display states, family by family.
    const std::vector<const DisplaySetting*>& settings() const { return settings_; }

    // The requests received since the last clear, the most recent kRequestRecord of them: a
    // program that runs on the simulated display for days keeps a bounded record.
    static constexpr std::size_t kRequestRecord = 4096;
    const std::deque<Request>& requests() const { return requests_; }
    void clear_requests() { requests_.clear(); }
    // Requests of one kind since the last clear.
    std::size_t count_requests(int opcode, int group = -1, int item = -1) const;

    std::string serial;
    uint8_t monitor_type;
    uint64_t reply_delay_us = 0;  // added to every reply's delay (a slow display)
    std::optional<uint32_t> calibration_seconds;  // see FirmwareConfig
    // How long a calibration command works before it answers: its own time, or the configured
    // seconds (then the IN transfer waits for the answer).
    void calibration_time(Reply& reply, uint64_t own_us) const {
        reply.delay_us = calibration_seconds ? uint64_t{*calibration_seconds} * 1'000'000u : own_us;
        reply.hold_in = calibration_seconds.has_value();
    }
    Clock& clock;
    FamilyState state;  // what the family firmware files keep beyond stored payloads
    // Called around every request with its bytes (the persistent state file loads and saves
    // there). A false from `before_request` refuses the request, a false from `after_request`
    // means the display took back what the request changed: either way the reply carries
    // kNotKeptStatus.
    std::function<bool(const uint8_t*, std::size_t)> before_request;
    std::function<bool(const uint8_t*, std::size_t)> after_request;
    std::map<std::string, Payload, std::less<>>& stored_payloads() { return store_; }

private:
    struct Refusal {
        int opcode, group, item;
        uint8_t status;
        int times;
    };
    Reply answer(const uint8_t* request, std::size_t length);
    bool handle_table(const Request& req, Reply& reply);
    std::vector<const DisplaySetting*> settings_;
    std::map<std::string, Payload, std::less<>> store_;
    std::vector<Refusal> refusals_;
    std::deque<Request> requests_;
};

// Helpers for the family firmware files.
// A reply that starts as a copy of the request (the display answers in the request's layout).
Reply echo(const uint8_t* request, std::size_t length);
inline void put_le16(std::vector<uint8_t>& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFFu);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace qv::sim
