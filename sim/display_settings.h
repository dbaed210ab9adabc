// What the display accepts on its settings pages, stated from the display's side: for each
// setting, the (group, item) a get (opcode 8) and a set (opcode 3) address, how wide the value
// is, what a set may carry, and the value the display leaves the factory with. Each family's
// firmware file states its own settings; the firmware serves gets and sets from these
// statements alone, so a library row that addresses the wrong page or checks the wrong bounds
// meets a display that disagrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv::sim {

class Firmware;
struct Reply;
struct Request;

// A (group, item) pair on one direction's page; group -1 where the display has no such command.
struct Page {
    int8_t group = -1;
    int8_t item = -1;
    constexpr bool is(int g, int i) const { return group >= 0 && group == g && item == i; }
};
inline constexpr Page none{};

enum class Width : uint8_t {
    byte,    // value in payload byte 7 (a set carries it as a 16-bit word, byte 8 zero)
    word,    // signed 16-bit little-endian at bytes 7-8
    action,  // a set that carries nothing and stores nothing
    record,  // a layout of its own; the store keeps payload bytes 7-31 as sent
};

struct DisplaySetting {
    const char* name = nullptr;  // the setting's name (the host's CLI name)
    Page get, set;
    Width width = Width::record;
    bool checked = false;  // a set outside [low, high] or off the step is refused (status 1)
    int16_t low = 0, high = 0;
    uint8_t step = 0;  // 0: any value in range
    int16_t initial = 0;

    constexpr DisplaySetting in(int lo, int hi) const {
        DisplaySetting s = *this;
        s.checked = true;
        s.low = static_cast<int16_t>(lo);
        s.high = static_cast<int16_t>(hi);
        return s;
    }
    constexpr DisplaySetting step_of(int st) const {
        DisplaySetting s = *this;
        s.step = static_cast<uint8_t>(st);
        return s;
    }
    // Any value is kept (the display has no range for it).
    constexpr DisplaySetting any() const { return *this; }
    constexpr DisplaySetting starts(int v) const {
        DisplaySetting s = *this;
        s.initial = static_cast<int16_t>(v);
        return s;
    }
    // Whether a set's payload (bytes 7..) is one the display keeps.
    bool accepts(const uint8_t* payload) const;
};

constexpr DisplaySetting byte(const char* name, Page get, Page set) {
    return {name, get, set, Width::byte};
}
constexpr DisplaySetting word(const char* name, Page get, Page set) {
    return {name, get, set, Width::word};
}
constexpr DisplaySetting action(const char* name, Page set) { return {name, none, set, Width::action}; }
constexpr DisplaySetting record(const char* name, Page get, Page set) {
    return {name, get, set, Width::record};
}

// One family's firmware: its settings, its factory state, and its handler for what goes beyond
// storing and returning a payload (true when it answered the request).
struct FamilyFirmware {
    const char* name;
    std::span<const DisplaySetting> settings;
    void (*init)(Firmware&);
    bool (*handle)(Firmware&, const Request&, Reply&);
};

}  // namespace qv::sim
