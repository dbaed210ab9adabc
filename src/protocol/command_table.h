// The settings command table: one row per display setting.
//
// Almost every exported Get.../Set... function is one get (opcode 8) or one set (opcode 3) of a
// 32-byte settings packet, differing only in group, item, value width, range and log line. Each
// such setting is one row here, written once in a per-family fragment (table/<family>.def), and
// the same rows serve three readers:
//   - the library, where the family source expands its fragment into the exported functions
//     (see table_gen.h) that run the get and set frames of frame.h;
//   - the simulated display, which maps every incoming get and every incoming set to its
//     setting through these rows (get and set group/item pairs are separate namespaces: the
//     same pair means different things as a get and as a set);
//   - the command-line tool, which lists, reads and writes settings by their CLI names.
//
// Row forms, as written in the fragments:
//   QV_RW(cli, family, kind, Getter, Setter, getGroup, getItem, setGroup, setItem,
//         low, high, step, guard, flags, "value line")          plain get and plain set
//   QV_RW_GUARDED(cli, family, kind, Getter, Setter, getGroup, getItem, setGroup, setItem,
//         low, high, step, getGuard, setGuard, flags, "value line")
//                                                       the same, where reading and changing
//                                                       the setting have different preconditions
//   QV_RO(cli, family, kind, Getter, getGroup, getItem, guard, flags, "value line")
//   QV_WO(cli, family, kind, Setter, setGroup, setItem, low, high, step, guard, flags)
//   QV_DEPARTURE(cli, family, "Getter" or nullptr, "Setter" or nullptr,
//         getGroup, getItem, setGroup, setItem, access)
// A departure row still names where the setting lives (for the simulated display and the CLI),
// but its functions are written out by hand in the family source. Absent groups are -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qv {

enum class Family : uint8_t {
    link, guards, colour, inputs, image, markers, pip, presets, power, clock, osd, network,
    identity, buttons, test_pattern, transfer
};

// How the caller's value maps to the packet.
//   U8:     get stores reply byte 7 in a uint8_t; set writes the uint8_t as a 16-bit
//           little-endian word at bytes 7-8 (byte 8 is 0).
//   S16:    int16_t at bytes 7-8, little-endian, both ways.
//   ACTION: a set with no argument; bytes 7-8 are 0.
//   RECORD: a departure with its own payload layout.
enum class Kind : uint8_t { U8, S16, ACTION, RECORD };

enum class Access : uint8_t { read, write, read_write, action };

// Preconditions that read the display's state before a command is sent.
enum class GuardId : uint8_t {
    NONE,
    IMAGE_MODE,             // the main picture reports a usable width and height
    OVERDRIVE,              // IMAGE_MODE, then picture-in-picture not on
    DCI_MAIN,               // the main picture shows a DCI timing
    CROPPED_REGION,         // a DCI image region other than 0 is selected
    MARKER_MAIN,            // markers allowed on the main picture
    MARKER_PIP,             // PIP window on, then markers allowed
    PIP_ON_EXACT,           // PIP status exactly 1
    PIP_MODE1,              // PIP mode 1
    PIP_ON,                 // PIP status non-zero
    PIP_DCI,                // the PIP source shows a DCI timing
    MONITOR_TYPE_2,         // the connected monitor type is 2
    WEB_SERVER,             // the web server is on
    WEB_SERVER_MANAGEMENT,  // the web server and web management are on
    CALIBRATION,            // calibration is enabled
    USB_BINDING,            // USB port binding status is 3
    TEST_PATTERN,           // test-pattern mode is on
};

enum RowFlags : uint16_t {
    F_NONE = 0,
    F_NO_RANGE = 1u << 0,     // the setter sends any value unchecked
    F_CHECK_FIRST = 1u << 1,  // the range check runs before the guard
    F_TRY_LINE = 1u << 2,     // the setter prints "Trying to set value %d \n" first
    F_STATUS_LINE = 1u << 3,  // a refused reply prints "RegUsbApi Status Failed." instead
};

struct SettingRow {
    const char* cli;     // stable kebab-case name, unique across the table
    Family family;
    Kind kind;
    Access access;
    const char* getter;  // exported function names (the %s of every error line), or nullptr
    const char* setter;
    int8_t get_group, get_item;  // -1 when there is no get
    int8_t set_group, set_item;  // -1 when there is no set
    int16_t low, high;           // inclusive bounds of the set value
    uint8_t step;                // the value must be a multiple of step (0: any)
    GuardId get_guard;           // precondition of the getter
    GuardId set_guard;           // precondition of the setter
    uint16_t flags;
    const char* value_line;      // printf format of the getter's value line, or nullptr
    bool departure;              // functions written out by hand in the family source
};

constexpr Access access_of(bool get, bool set) {
    return get && set ? Access::read_write : get ? Access::read : set ? Access::write : Access::action;
}

}  // namespace qv

#define QV_RW_GUARDED(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, gguard, sguard, flags, line) \
    ::qv::SettingRow{cli, ::qv::Family::fam, ::qv::Kind::kind, ::qv::Access::read_write, #G, #S,   \
                     gg, gi, sg, si, lo, hi, step, ::qv::GuardId::gguard, ::qv::GuardId::sguard,   \
                     flags, line, false},
#define QV_RW(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, guard, flags, line)              \
    QV_RW_GUARDED(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, guard, guard, flags, line)
#define QV_RO(cli, fam, kind, G, gg, gi, guard, flags, line)                                       \
    ::qv::SettingRow{cli, ::qv::Family::fam, ::qv::Kind::kind, ::qv::Access::read, #G, nullptr,    \
                     gg, gi, -1, -1, 0, 0, 0, ::qv::GuardId::guard, ::qv::GuardId::NONE, flags,    \
                     line, false},
#define QV_WO(cli, fam, kind, S, sg, si, lo, hi, step, guard, flags)                               \
    ::qv::SettingRow{cli, ::qv::Family::fam, ::qv::Kind::kind,                                      \
                     ::qv::Kind::kind == ::qv::Kind::ACTION ? ::qv::Access::action                 \
                                                            : ::qv::Access::write,                 \
                     nullptr, #S, -1, -1, sg, si, lo, hi, step, ::qv::GuardId::NONE,               \
                     ::qv::GuardId::guard, flags, nullptr, false},
#define QV_DEPARTURE(cli, fam, G, S, gg, gi, sg, si, acc)                                          \
    ::qv::SettingRow{cli, ::qv::Family::fam, ::qv::Kind::RECORD, ::qv::Access::acc, G, S, gg, gi,  \
                     sg, si, 0, 0, 0, ::qv::GuardId::NONE, ::qv::GuardId::NONE, ::qv::F_NONE,      \
                     nullptr, true},

namespace qv {

inline constexpr SettingRow kSettings[] = {
#include "protocol/table/link.def"
#include "protocol/table/guards.def"
#include "protocol/table/colour.def"
#include "protocol/table/inputs.def"
#include "protocol/table/image.def"
#include "protocol/table/markers.def"
#include "protocol/table/pip.def"
#include "protocol/table/presets.def"
#include "protocol/table/power.def"
#include "protocol/table/clock.def"
#include "protocol/table/network.def"
#include "protocol/table/identity.def"
#include "protocol/table/buttons.def"
#include "protocol/table/test_pattern.def"
};

inline constexpr std::size_t kSettingCount = sizeof(kSettings) / sizeof(kSettings[0]);

// The row whose get (opcode 8) or set (opcode 3) uses this group and item; nullptr if none.
constexpr const SettingRow* find_get_row(int group, int item) {
    for (const auto& r : kSettings)
        if (r.get_group == group && r.get_item == item) return &r;
    return nullptr;
}
constexpr const SettingRow* find_set_row(int group, int item) {
    for (const auto& r : kSettings)
        if (r.set_group == group && r.set_item == item) return &r;
    return nullptr;
}
constexpr const SettingRow* find_row(std::string_view cli) {
    for (const auto& r : kSettings)
        if (cli == r.cli) return &r;
    return nullptr;
}
constexpr std::size_t row_index(const SettingRow* r) { return static_cast<std::size_t>(r - kSettings); }

namespace table_checks {
constexpr bool cli_names_unique() {
    for (std::size_t i = 0; i < kSettingCount; ++i)
        for (std::size_t j = i + 1; j < kSettingCount; ++j)
            if (std::string_view(kSettings[i].cli) == kSettings[j].cli) return false;
    return true;
}
// A (group, item) pair addresses one setting per direction.
constexpr bool keys_unique() {
    for (std::size_t i = 0; i < kSettingCount; ++i)
        for (std::size_t j = i + 1; j < kSettingCount; ++j) {
            const auto& a = kSettings[i];
            const auto& b = kSettings[j];
            if (a.get_group >= 0 && a.get_group == b.get_group && a.get_item == b.get_item) return false;
            if (a.set_group >= 0 && a.set_group == b.set_group && a.set_item == b.set_item) return false;
        }
    return true;
}
}  // namespace table_checks

static_assert(table_checks::cli_names_unique(), "every setting needs its own CLI name");
static_assert(table_checks::keys_unique(), "a get or set (group, item) pair may name only one setting");

}  // namespace qv

#undef QV_RW_GUARDED
#undef QV_RW
#undef QV_RO
#undef QV_WO
#undef QV_DEPARTURE
