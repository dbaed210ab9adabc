// Expands a family's table fragment into its exported functions.
//
// A family source defines the guard functions its rows name (qv_guard_<GUARD>, taking the
// calling function's name and returning 0 to go on or the result code to return), then:
//     #include "protocol/table_gen.h"
//     #include "protocol/table/<family>.def"
//     #include "protocol/table_gen_end.h"
// Plain rows become extern "C" functions that run the get and set frames of frame.h;
// departure rows produce nothing here (their functions are written out in the family source).
#pragma once

#include "protocol/command_table.h"
#include "protocol/frame.h"
#include "quorvex.h"

#define QV_GEN_GET_U8(G, ROW, guard)                                                               \
    extern "C" QV_API int G(uint8_t* value) noexcept { return ::qv::run_get(ROW, guard, value); }
#define QV_GEN_GET_S16(G, ROW, guard)                                                              \
    extern "C" QV_API int G(int16_t* value) noexcept { return ::qv::run_get(ROW, guard, value); }
#define QV_GEN_SET_U8(S, ROW, guard)                                                               \
    extern "C" QV_API int S(uint8_t value) noexcept { return ::qv::run_set(ROW, guard, value); }
#define QV_GEN_SET_S16(S, ROW, guard)                                                              \
    extern "C" QV_API int S(int16_t value) noexcept { return ::qv::run_set(ROW, guard, value); }
#define QV_GEN_SET_ACTION(S, ROW, guard)                                                           \
    extern "C" QV_API int S(void) noexcept { return ::qv::run_set(ROW, guard, 0); }

#define QV_RW_GUARDED(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, gguard, sguard, flags, line) \
    namespace qv::rows {                                                                           \
    inline constexpr ::qv::SettingRow G##_row{cli, ::qv::Family::fam, ::qv::Kind::kind,            \
                                              ::qv::Access::read_write, #G, #S, gg, gi, sg, si,    \
                                              lo, hi, step, ::qv::GuardId::gguard,                 \
                                              ::qv::GuardId::sguard, flags, line, false};          \
    }                                                                                              \
    QV_GEN_GET_##kind(G, qv::rows::G##_row, qv_guard_##gguard)                                     \
    QV_GEN_SET_##kind(S, qv::rows::G##_row, qv_guard_##sguard)

#define QV_RW(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, guard, flags, line)              \
    QV_RW_GUARDED(cli, fam, kind, G, S, gg, gi, sg, si, lo, hi, step, guard, guard, flags, line)

#define QV_RO(cli, fam, kind, G, gg, gi, guard, flags, line)                                       \
    namespace qv::rows {                                                                           \
    inline constexpr ::qv::SettingRow G##_row{cli, ::qv::Family::fam, ::qv::Kind::kind,            \
                                              ::qv::Access::read, #G, nullptr, gg, gi, -1, -1, 0,  \
                                              0, 0, ::qv::GuardId::guard, ::qv::GuardId::NONE,     \
                                              flags, line, false};                                 \
    }                                                                                              \
    QV_GEN_GET_##kind(G, qv::rows::G##_row, qv_guard_##guard)

#define QV_WO(cli, fam, kind, S, sg, si, lo, hi, step, guard, flags)                               \
    namespace qv::rows {                                                                           \
    inline constexpr ::qv::SettingRow S##_row{cli, ::qv::Family::fam, ::qv::Kind::kind,            \
                                              ::qv::Access::write, nullptr, #S, -1, -1, sg, si,    \
                                              lo, hi, step, ::qv::GuardId::NONE,                   \
                                              ::qv::GuardId::guard, flags, nullptr, false};        \
    }                                                                                              \
    QV_GEN_SET_##kind(S, qv::rows::S##_row, qv_guard_##guard)

#define QV_DEPARTURE(cli, fam, G, S, gg, gi, sg, si, acc)
