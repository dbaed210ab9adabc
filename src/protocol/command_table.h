// The settings command table: one row per display setting.
//
// Almost every exported Get.../Set... function is one get (opcode 8) or one set (opcode 3) of a
// 32-byte settings packet, differing only in group, item, value width, range and log line. Each
// such setting is one row, written once in a per-family fragment (table/<family>.def) and read
// once, into the table's one definition (table_rows.h; the build finds the fragments and the
// families their rows name). Everything else comes from that table:
//   - the library's exported functions of the plain rows, which the build writes out from
//     the rows (codegen/write_table_functions.cpp) and which run the frames of table_frames.h;
//   - the simulated display, which maps every incoming get and every incoming set to its
//     setting (get and set group/item pairs are separate namespaces: the same pair means
//     different things as a get and as a set);
//   - the command-line tool, which lists, reads and writes settings by their CLI names and
//     calls the plain rows through their typed entry points.
//
// A row is built with named steps:
//     setting("osd-timeout", Family::osd)
//         .get(QV_FN(GetOSDTimeout), 7, 2).set(QV_FN(SetOSDTimeout), 7, 2)
//         .in(5, 60).multiple_of(5).line("OSD Timeout is  %d \n"),
// The value width comes from the functions' own types as the public header declares them
// (uint8_t: U8, int16_t: S16, no argument: ACTION). A departure row,
//     departure("pip-size", Family::pip).get(QV_FN(GetPIPSize), 4, 2).set(QV_FN(SetPIPSize), 3, 2),
// still names where the setting lives (for the simulated display and the CLI), but its
// functions are written out by hand in the family source. QV_FN takes the function itself, so
// a row naming a function the header does not declare does not compile.
//
// The table itself is defined in command_table.cpp (the target quorvex_table, which the tool
// and the settings layer's users link beside the shared library). The checks behind each Guard are bound inside the library
// (guards.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/table/records.h"  // RecordDesc: the values of the departure rows
#include "protocol/table_families.h"  // Family, family_name: from the families the rows name
#include "quorvex.h"

namespace qv {

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
    IMAGE_MODE, OVERDRIVE, DCI_MAIN, CROPPED_REGION, MARKER_MAIN, MARKER_PIP, PIP_ON_EXACT,
    PIP_MODE1, PIP_ON, PIP_DCI, MONITOR_TYPE_2, WEB_SERVER, WEB_SERVER_MANAGEMENT,
};

struct Guard {
    GuardId id;
    const char* needs;  // what the display must be doing, for people
};

namespace guard {
inline constexpr Guard image_mode{GuardId::IMAGE_MODE, "main picture with a timing"};
inline constexpr Guard overdrive{GuardId::OVERDRIVE, "main picture with a timing, picture-in-picture off"};
inline constexpr Guard dci_main{GuardId::DCI_MAIN, "main picture in a DCI timing"};
inline constexpr Guard cropped_region{GuardId::CROPPED_REGION, "DCI image region other than 0"};
inline constexpr Guard marker_main{GuardId::MARKER_MAIN, "markers supported at the main picture's timing"};
inline constexpr Guard marker_pip{GuardId::MARKER_PIP, "picture-in-picture on, markers supported"};
inline constexpr Guard pip_on_exact{GuardId::PIP_ON_EXACT, "picture-in-picture on"};
inline constexpr Guard pip_mode1{GuardId::PIP_MODE1, "picture-in-picture mode 1"};
inline constexpr Guard pip_on{GuardId::PIP_ON, "picture-in-picture on"};
inline constexpr Guard pip_dci{GuardId::PIP_DCI, "picture-in-picture source in a DCI timing"};
inline constexpr Guard monitor_type_2{GuardId::MONITOR_TYPE_2, "monitor type 2"};
inline constexpr Guard web_server{GuardId::WEB_SERVER, "web server on"};
inline constexpr Guard web_server_management{GuardId::WEB_SERVER_MANAGEMENT,
                                             "web server and web management on"};
}  // namespace guard

enum RowFlags : uint16_t {
    F_NONE = 0,
    F_NO_RANGE = 1u << 0,     // the setter sends any value unchecked
    F_CHECK_FIRST = 1u << 1,  // the range check runs before the guard
    F_TRY_LINE = 1u << 2,     // the setter prints "Trying to set value %d \n" first
    F_STATUS_LINE = 1u << 3,  // a refused reply prints "RegUsbApi Status Failed." instead
};

// Where a setting lives on one direction's page; group -1 when that direction does not exist.
struct Key {
    int8_t group = -1;
    int8_t item = -1;
    constexpr bool addresses(int g, int i) const { return group >= 0 && group == g && item == i; }
};

// The exported functions of the plain rows, typed as the public header declares them.
using GetU8 = int (*)(uint8_t*) noexcept;
using GetS16 = int (*)(int16_t*) noexcept;
using SetU8 = int (*)(uint8_t) noexcept;
using SetS16 = int (*)(int16_t) noexcept;
using ActionFn = int (*)() noexcept;

struct SettingRow {
    const char* cli = nullptr;  // stable kebab-case name, unique across the table
    Family family = Family::link;
    Kind kind = Kind::RECORD;
    Access access = Access::read;
    const char* getter = nullptr;  // exported function names (the %s of every error line)
    const char* setter = nullptr;
    Key get_key;
    Key set_key;
    int16_t low = 0, high = 0;  // inclusive bounds of the set value
    uint8_t step = 0;           // the value must be a multiple of step (0: any)
    uint16_t flags = F_NONE;
    const Guard* get_guard = nullptr;  // precondition of the getter, nullptr for none
    const Guard* set_guard = nullptr;  // precondition of the setter
    const char* value_line = nullptr;  // printf format of the getter's value line
    bool departure = false;            // functions written out by hand in the family source
    GetU8 get_u8 = nullptr;
    GetS16 get_s16 = nullptr;
    SetU8 set_u8 = nullptr;
    SetS16 set_s16 = nullptr;
    ActionFn action = nullptr;
    const RecordDesc* record = nullptr;  // a departure's value, described (table/records.h)
    bool described = false;              // record set (a flag: GCC's UBSan build cannot compare
                                         // the address of a constant with null at compile time)
};

// An exported function with its name, as QV_FN gives it.
template <class F>
struct Named {
    const char* name;
    F fn;
};
template <class F>
Named(const char*, F) -> Named<F>;  // spelled out for compilers without aggregate deduction (clang 16)
#define QV_FN(f) ::qv::Named{#f, &f}

// The named steps a row fragment is written with.
class RowBuilder {
    // (The helpers come first: clang 16 evaluates a constant expression only with member
    // templates defined above their use.)
private:
    template <class Edit>
    constexpr RowBuilder with(Edit edit) const {
        RowBuilder b = *this;
        edit(b.r_);
        return b;
    }
    constexpr RowBuilder flag(uint16_t f) const {
        return with([&](SettingRow& r) { r.flags = static_cast<uint16_t>(r.flags | f); });
    }
    template <class Entry>
    constexpr RowBuilder reads(const char* name, int group, int item, Kind kind, Entry entry) const {
        return with([&](SettingRow& r) {
            r.getter = name;
            r.get_key = {static_cast<int8_t>(group), static_cast<int8_t>(item)};
            settle(r, kind, entry);
        });
    }
    template <class Entry>
    constexpr RowBuilder writes(const char* name, int group, int item, Kind kind, Entry entry) const {
        return with([&](SettingRow& r) {
            r.setter = name;
            r.set_key = {static_cast<int8_t>(group), static_cast<int8_t>(item)};
            settle(r, kind, entry);
        });
    }
    // A departure keeps its own layout and has no typed entry points. A plain row reads and
    // writes one width; a row that does not fails to compile here.
    template <class Entry>
    static constexpr void settle(SettingRow& r, Kind kind, Entry entry) {
        if (!r.departure) {
            if (r.getter != nullptr && r.setter != nullptr && r.kind != kind)
                throw "the getter and setter of a plain row take different widths";
            r.kind = kind;
            entry(r);
        }
        const bool get = r.getter != nullptr;
        const bool set = r.setter != nullptr;
        r.access = r.kind == Kind::ACTION ? Access::action
                   : get && set           ? Access::read_write
                   : get                  ? Access::read
                                          : Access::write;
    }

public:
    constexpr RowBuilder(const char* cli, Family family, bool departure) {
        r_.cli = cli;
        r_.family = family;
        r_.departure = departure;
    }
    constexpr operator SettingRow() const { return r_; }

    constexpr RowBuilder get(Named<GetU8> f, int group, int item) const {
        return reads(f.name, group, item, Kind::U8, [&](SettingRow& r) { r.get_u8 = f.fn; });
    }
    constexpr RowBuilder get(Named<GetS16> f, int group, int item) const {
        return reads(f.name, group, item, Kind::S16, [&](SettingRow& r) { r.get_s16 = f.fn; });
    }
    // A departure's functions, any types; a setting that travels in a packet of its own names
    // no page (group and item -1).
    template <class F>
    constexpr RowBuilder get(Named<F> f, int group = -1, int item = -1) const {
        return reads(f.name, group, item, Kind::RECORD, [](SettingRow&) {});
    }
    constexpr RowBuilder set(Named<SetU8> f, int group, int item) const {
        return writes(f.name, group, item, Kind::U8, [&](SettingRow& r) { r.set_u8 = f.fn; });
    }
    constexpr RowBuilder set(Named<SetS16> f, int group, int item) const {
        return writes(f.name, group, item, Kind::S16, [&](SettingRow& r) { r.set_s16 = f.fn; });
    }
    constexpr RowBuilder set(Named<ActionFn> f, int group, int item) const {
        return writes(f.name, group, item, Kind::ACTION, [&](SettingRow& r) { r.action = f.fn; });
    }
    template <class F>
    constexpr RowBuilder set(Named<F> f, int group = -1, int item = -1) const {
        return writes(f.name, group, item, Kind::RECORD, [](SettingRow&) {});
    }

    // Inclusive bounds of the set value, checked through s16ValidateSWord16Var.
    constexpr RowBuilder in(int low, int high) const {
        return with([&](SettingRow& r) {
            r.low = static_cast<int16_t>(low);
            r.high = static_cast<int16_t>(high);
        });
    }
    constexpr RowBuilder multiple_of(int step) const {
        return with([&](SettingRow& r) { r.step = static_cast<uint8_t>(step); });
    }
    // The getter's value line, printed from the stored value while LogMessage is 1.
    constexpr RowBuilder line(const char* format) const {
        return with([&](SettingRow& r) { r.value_line = format; });
    }
    constexpr RowBuilder guard(const Guard& g) const { return guards(g, g); }
    constexpr RowBuilder guards(const Guard& on_get, const Guard& on_set) const {
        return with([&](SettingRow& r) {
            r.get_guard = &on_get;
            r.set_guard = &on_set;
        });
    }
    // A departure's value: its record, text or integer description.
    constexpr RowBuilder record(const RecordDesc& d) const {
        return with([&](SettingRow& r) {
            r.record = &d;
            r.described = true;
        });
    }
    constexpr RowBuilder unchecked() const { return flag(F_NO_RANGE); }
    constexpr RowBuilder check_first() const { return flag(F_CHECK_FIRST); }
    constexpr RowBuilder try_line() const { return flag(F_TRY_LINE); }
    constexpr RowBuilder status_line() const { return flag(F_STATUS_LINE); }

private:
    SettingRow r_;
};

constexpr RowBuilder setting(const char* cli, Family family) { return {cli, family, false}; }
constexpr RowBuilder departure(const char* cli, Family family) { return {cli, family, true}; }

// Every row, in table order (the order a profile restores settings in), defined once from the
// row files in command_table.cpp. Code that reads the table at run time sees it through this
// declaration, so editing a row recompiles only the table's definition, the functions written
// out from it and the program that writes them (which read the rows as constants: see
// table_rows.h).
#if !defined(QV_TABLE_ROWS_CONSTANT)
extern const std::span<const SettingRow> kSettings;
#endif

// The row whose get (opcode 8) or set (opcode 3) uses this group and item; nullptr if none.
const SettingRow* find_get_row(int group, int item);
const SettingRow* find_set_row(int group, int item);
// The row of a CLI name; nullptr if none.
const SettingRow* find_row(std::string_view cli);

}  // namespace qv

#if defined(QV_TABLE_ROWS_CONSTANT)
// A source that checks its own code against the rows at compile time is built with this
// defined and sees the same rows as constants (it is recompiled when a row changes).
#include "protocol/table_rows.h"

namespace qv {
inline namespace rows_constant {
inline constexpr std::span<const SettingRow> kSettings{kRows};
}  // namespace rows_constant
}  // namespace qv
#endif
