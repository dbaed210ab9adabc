// Writes the exported functions of the command table's plain rows: one C definition for each
// getter and setter, running its row through the frames of frame.h. The build runs this program
// and compiles its output into the library; departure rows are written out by hand instead.
//
// Every row is read at compile time only (constexpr copies of its constants), so the program
// never refers to the exported functions the rows point at, which it is here to write.
#include <cstdio>
#include <utility>

#include "protocol/table_rows.h"

namespace {

const char* value_type(qv::Kind kind) { return kind == qv::Kind::S16 ? "int16_t" : "uint8_t"; }

template <std::size_t I>
void write_row(std::FILE* out) {
    constexpr bool by_hand = qv::kRows[I].departure;
    if constexpr (!by_hand) {
        constexpr const char* cli = qv::kRows[I].cli;
        constexpr const char* getter = qv::kRows[I].getter;
        constexpr const char* setter = qv::kRows[I].setter;
        constexpr qv::Kind kind = qv::kRows[I].kind;
        std::fprintf(out, "\n// %s\n", cli);
        if (getter != nullptr)
            std::fprintf(out, "QV_API int %s(%s* value) noexcept { return ::qv::table_get<%zu>(value); }\n",
                         getter, value_type(kind), I);
        if (setter != nullptr && kind == qv::Kind::ACTION)
            std::fprintf(out, "QV_API int %s(void) noexcept { return ::qv::table_set<%zu>(0); }\n", setter,
                         I);
        else if (setter != nullptr)
            std::fprintf(out, "QV_API int %s(%s value) noexcept { return ::qv::table_set<%zu>(value); }\n",
                         setter, value_type(kind), I);
    }
}

template <std::size_t... I>
void write_rows(std::FILE* out, std::index_sequence<I...>) {
    (write_row<I>(out), ...);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Written by write_table_functions from the command table; edit the rows in\n"
                 "// src/protocol/table/*.def instead.\n"
                 "#include \"protocol/table_frames.h\"\n"
                 "#include \"quorvex.h\"\n\n"
                 "extern \"C\" {\n");
    write_rows(out, std::make_index_sequence<qv::kRowCount>{});
    std::fprintf(out, "\n}  // extern \"C\"\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
