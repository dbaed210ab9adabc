// The rows of the command table as compile-time constants, in table order (each row file's
// `// table order: N` line; the build writes the list). Only a few sources include this: the
// table's one definition (command_table.cpp), the functions the build writes out for the plain
// rows (which fold each row in as constants, see table_frames.h), the program that writes them,
// and the settings layer's calls (settings/calls.cpp, built with QV_TABLE_ROWS_CONSTANT, which
// checks that every departure row has its call). Everything else reads the table through the
// declaration in command_table.h, so that editing a row recompiles those few sources and
// nothing else.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

#include "protocol/command_table.h"

namespace qv {

inline constexpr SettingRow kRows[] = {
#include "protocol/table_rows.inc"
};

inline constexpr std::size_t kRowCount = std::size(kRows);

namespace table_checks {
constexpr bool cli_names_unique() {
    for (std::size_t i = 0; i < kRowCount; ++i)
        for (std::size_t j = i + 1; j < kRowCount; ++j)
            if (std::string_view(kRows[i].cli) == kRows[j].cli) return false;
    return true;
}
// A (group, item) pair addresses one setting per direction.
constexpr bool keys_unique() {
    for (std::size_t i = 0; i < kRowCount; ++i)
        for (std::size_t j = i + 1; j < kRowCount; ++j) {
            const auto& a = kRows[i];
            const auto& b = kRows[j];
            if (a.get_key.addresses(b.get_key.group, b.get_key.item)) return false;
            if (a.set_key.addresses(b.set_key.group, b.set_key.item)) return false;
        }
    return true;
}
// A plain row says what a checked set accepts and how its getter logs the value.
constexpr bool plain_rows_complete() {
    for (const auto& r : kRows) {
        if (r.departure) continue;
        const bool checked =
            r.setter != nullptr && r.kind != Kind::ACTION && (r.flags & F_NO_RANGE) == 0;
        if (checked && r.low >= r.high) return false;
        if (r.getter != nullptr && r.value_line == nullptr) return false;
    }
    return true;
}
// A departure row describes its value.
constexpr bool departures_described() {
    for (const auto& r : kRows)
        if (r.departure && !r.described) return false;
    return true;
}
}  // namespace table_checks

static_assert(table_checks::cli_names_unique(), "every setting needs its own CLI name");
static_assert(table_checks::keys_unique(), "a get or set (group, item) pair may name only one setting");
static_assert(table_checks::plain_rows_complete(),
              "a plain row needs a range for its setter and a value line for its getter");
static_assert(table_checks::departures_described(), "a departure row needs .record(records::...)");

}  // namespace qv
