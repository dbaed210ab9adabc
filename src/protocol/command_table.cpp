// The command table's one definition: the rows of table/*.def, read once, behind the
// declaration of command_table.h.
#include "protocol/command_table.h"

#include "protocol/table_rows.h"

namespace qv {

constexpr std::span<const SettingRow> kSettings{kRows};

const SettingRow* find_get_row(int group, int item) {
    for (const auto& r : kRows)
        if (r.get_key.addresses(group, item)) return &r;
    return nullptr;
}

const SettingRow* find_set_row(int group, int item) {
    for (const auto& r : kRows)
        if (r.set_key.addresses(group, item)) return &r;
    return nullptr;
}

const SettingRow* find_row(std::string_view cli) {
    for (const auto& r : kRows)
        if (cli == r.cli) return &r;
    return nullptr;
}

}  // namespace qv
