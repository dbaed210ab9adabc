// The table fragments expanded once more, here into the addresses of the functions they name:
// a row whose function is missing from the library is a compile or link error of the tool.
#include "table_entries.h"

#include <string_view>
#include <type_traits>

#include "quorvex.h"

namespace qvctl {

namespace {

template <class Want, class Got>
constexpr Want pick(Got f) {
    if constexpr (std::is_same_v<Want, Got>)
        return f;
    else
        return nullptr;
}

using GetU8 = decltype(EntryPoints::get_u8);
using GetS16 = decltype(EntryPoints::get_s16);
using SetU8 = decltype(EntryPoints::set_u8);
using SetS16 = decltype(EntryPoints::set_s16);
using Action = decltype(EntryPoints::action);

struct Expanded {
    const char* cli;
    EntryPoints entry;
};

#define QV_GETTERS(G) pick<GetU8>(&G), pick<GetS16>(&G)
#define QV_SETTERS(S) pick<SetU8>(&S), pick<SetS16>(&S), pick<Action>(&S)
#define QV_RW_GUARDED(cli, fam, kind, G, S, ...) {cli, {QV_GETTERS(G), QV_SETTERS(S)}},
#define QV_RW(cli, fam, kind, G, S, ...) {cli, {QV_GETTERS(G), QV_SETTERS(S)}},
#define QV_RO(cli, fam, kind, G, ...) {cli, {QV_GETTERS(G), nullptr, nullptr, nullptr}},
#define QV_WO(cli, fam, kind, S, ...) {cli, {nullptr, nullptr, QV_SETTERS(S)}},
#define QV_DEPARTURE(cli, ...) {cli, {}},

// Same fragments, same order as the table itself (checked below).
constexpr Expanded kExpanded[] = {
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

#undef QV_GETTERS
#undef QV_SETTERS
#undef QV_RW_GUARDED
#undef QV_RW
#undef QV_RO
#undef QV_WO
#undef QV_DEPARTURE

constexpr bool same_rows() {
    if (sizeof kExpanded / sizeof kExpanded[0] != qv::kSettingCount) return false;
    for (std::size_t i = 0; i < qv::kSettingCount; ++i)
        if (std::string_view(kExpanded[i].cli) != qv::kSettings[i].cli) return false;
    return true;
}
static_assert(same_rows(), "the tool expands the table fragments in the table's own order");

}  // namespace

const EntryPoints& entry_points(const qv::SettingRow& row) { return kExpanded[qv::row_index(&row)].entry; }

}  // namespace qvctl
