// The frames of the plain rows of the command table, for the functions the build writes out
// from the rows (codegen/write_table_functions.cpp). Only that source includes this header: it
// reads the rows themselves, so editing a row recompiles it and not the rest of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/table_rows.h"

namespace qv {

// Each exported function of a plain row runs its row as a compile-time constant: the request is built with constant stores, and
// what a row does not use (guard, range, step, extra lines) is not there at all. Only the wire
// work is a call, into the port.

template <std::size_t I>
constexpr StatusLine refusal_line_of() {
    return (kRows[I].flags & F_STATUS_LINE) != 0 ? StatusLine::status : StatusLine::frame;
}

// A 32-byte settings request: opcode, three zero bytes, group, item, then zeros.
template <uint8_t Opcode, int Group, int Item>
[[gnu::always_inline]] inline void build_request(uint8_t* packet) {
    constexpr uint8_t header[8] = {Opcode, 0, 0, 0, static_cast<uint8_t>(Group),
                                   static_cast<uint8_t>(Item), 0, 0};
    std::memcpy(packet, header, sizeof header);
    std::memset(packet + sizeof header, 0, kSettingPacketSize - sizeof header);
}

// The exchange of a settings request and the frame's reading of its outcome (see exchange()).
template <uint8_t Opcode, StatusLine RefusalLine>
[[gnu::always_inline]] inline int exchange_request(const char* function, uint8_t* packet) {
    static_assert(read_timeout(Opcode) == kSettingExchangeTimeout);
    const LinkResult r = write_then_read_setting(packet);
    // A failed exchange is reported as such; only a reply has its status byte looked at.
    if (r != LinkResult::ok || packet[kStatusByte] != 0) [[unlikely]]
        return frame_failed(function, r, RefusalLine);
    return RC_OK;
}

// Runs a guard of a row, if it has one: 0 to go on, or the code to return. (A plain test: the
// row is a constant, so the optimiser keeps only the call of a row that has a guard. Whether a
// guard's address is null is not a constant expression under the sanitizers.)
[[gnu::always_inline]] inline int row_guard(const Guard* guard, const char* function) {
    if (guard == nullptr) return RC_OK;
    return check_guard(guard, function);
}

// The get frame of plain row I. The caller's storage is written only on success.
template <std::size_t I, class T>
[[gnu::always_inline]] inline int table_get(T* value) {
    constexpr const SettingRow& row = kRows[I];
    static_assert(!row.departure && row.getter != nullptr && row.value_line != nullptr);
    static_assert(row.kind == Kind::S16 ? sizeof(T) == 2 : sizeof(T) == 1);
    if (value == nullptr) [[unlikely]] return RC_INVALID_ARGUMENT;  // before the guard: nothing is sent
    if (const int rc = row_guard(row.get_guard, row.getter); rc != RC_OK) return rc;
    uint8_t packet[kSettingPacketSize];
    build_request<kOpGet, row.get_key.group, row.get_key.item>(packet);
    if (const int rc = exchange_request<kOpGet, refusal_line_of<I>()>(row.getter, packet); rc != RC_OK)
        return rc;
    if constexpr (row.kind == Kind::S16) {
        *value = static_cast<int16_t>(get_le16(packet + kPayload));
    } else {
        *value = packet[kPayload];
    }
    log(row.value_line, static_cast<int>(*value));
    return RC_OK;
}

// The set frame of plain row I (value 0 for an action, which sends none): the "Trying to set"
// line if the row has one, then the guard and the range check in the row's order, then the
// exchange.
template <std::size_t I>
[[gnu::always_inline]] inline int table_set(int value) {
    constexpr const SettingRow& row = kRows[I];
    static_assert(!row.departure && row.setter != nullptr);
    constexpr bool check_first = (row.flags & F_CHECK_FIRST) != 0;
    constexpr bool checked = row.kind != Kind::ACTION && (row.flags & F_NO_RANGE) == 0;
    if constexpr ((row.flags & F_TRY_LINE) != 0) log("Trying to set value %d \n", value);
    if constexpr (!check_first) {
        if (const int rc = row_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    if constexpr (checked) {
        bool ok = in_s16_range(value, row.low, row.high);
        if constexpr (row.step != 0) ok = ok && value % row.step == 0;
        if (!ok) [[unlikely]] return validation_failed(row.setter);
    }
    if constexpr (check_first) {
        if (const int rc = row_guard(row.set_guard, row.setter); rc != RC_OK) return rc;
    }
    uint8_t packet[kSettingPacketSize];
    build_request<kOpSet, row.set_key.group, row.set_key.item>(packet);
    if constexpr (row.kind != Kind::ACTION) put_le16(packet + kPayload, static_cast<uint16_t>(value));
    return exchange_request<kOpSet, refusal_line_of<I>()>(row.setter, packet);
}

}  // namespace qv
