// The library's exported functions of each plain row of the command table, as typed pointers.
#pragma once

#include <cstdint>

#include "protocol/command_table.h"

namespace qvctl {

struct EntryPoints {
    int (*get_u8)(uint8_t*) noexcept = nullptr;
    int (*get_s16)(int16_t*) noexcept = nullptr;
    int (*set_u8)(uint8_t) noexcept = nullptr;
    int (*set_s16)(int16_t) noexcept = nullptr;
    int (*action)() noexcept = nullptr;
};

// All null for a departure row.
const EntryPoints& entry_points(const qv::SettingRow& row);

}  // namespace qvctl
