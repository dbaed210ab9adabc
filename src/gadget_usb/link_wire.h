// What the library and quorvexd share of the io.quorvex.Link interface
// (quorvexd/io.quorvex.Link.varlink describes it; its version is the build's
// QUORVEX_LINK_VERSION, read from there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace qv::link {

inline constexpr int kVersion = QUORVEX_LINK_VERSION;
#define QV_LINK_INTERFACE "io.quorvex.Link"
inline constexpr const char* kInterface = QV_LINK_INTERFACE;

// Where a broker serves the displays: the system's socket, and the session's under
// $XDG_RUNTIME_DIR.
inline constexpr const char* kSystemSocket = "/run/quorvex/io.quorvex";
inline constexpr const char* kSessionSocket = "quorvex/io.quorvex";

// The sockets a client looks for a broker at, in order: QUORVEX_SOCKET alone when it is set
// (*named; nothing else is tried then), else the system's socket and, with XDG_RUNTIME_DIR,
// the session's.
inline std::vector<std::string> broker_sockets(bool* named) {
    auto value = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr ? std::string(v) : std::string();
    };
    const std::string socket = value("QUORVEX_SOCKET");
    *named = !socket.empty();
    if (*named) return {socket};
    std::vector<std::string> paths = {kSystemSocket};
    if (const std::string runtime = value("XDG_RUNTIME_DIR"); !runtime.empty())
        paths.push_back(runtime + "/" + kSessionSocket);
    return paths;
}

// The largest message either side accepts, its terminating NUL included.
inline constexpr std::size_t kMaxMessage = 128 * 1024;

// A display's lock is named by a token: 128 random bits in lowercase hex. Programs started by
// the holder present it (QUORVEX_LOCK) to share the lock.
inline constexpr std::size_t kLockTokenChars = 32;
inline constexpr const char* kLockVariable = "QUORVEX_LOCK";
inline bool lock_token(const char* text) {
    std::size_t n = 0;
    for (; text[n] != '\0'; ++n)
        if (n == kLockTokenChars || !((text[n] >= '0' && text[n] <= '9') || (text[n] >= 'a' && text[n] <= 'f')))
            return false;
    return n == kLockTokenChars;
}

// ---- base64 (RFC 4648, padded)

inline constexpr std::size_t base64_size(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

// Writes base64_size(n) characters (no terminator); returns their number.
inline std::size_t base64_encode(const uint8_t* in, std::size_t n, char* out) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t o = 0;
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8 | in[i + 2];
        out[o++] = kAlphabet[v >> 18];
        out[o++] = kAlphabet[(v >> 12) & 63];
        out[o++] = kAlphabet[(v >> 6) & 63];
        out[o++] = kAlphabet[v & 63];
    }
    if (i < n) {
        const uint32_t v = uint32_t{in[i]} << 16 | (i + 1 < n ? uint32_t{in[i + 1]} << 8 : 0);
        out[o++] = kAlphabet[v >> 18];
        out[o++] = kAlphabet[(v >> 12) & 63];
        out[o++] = i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        out[o++] = '=';
    }
    return o;
}

inline int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Decodes n characters into at most `room` bytes; returns the number of bytes, or -1 when the
// text is not base64 or does not fit.
inline long base64_decode(const char* in, std::size_t n, uint8_t* out, std::size_t room) {
    if (n % 4 != 0) return -1;
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; i += 4) {
        const bool last = i + 4 == n;
        const int pad = last ? (in[i + 3] == '=' ? (in[i + 2] == '=' ? 2 : 1) : 0) : 0;
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const int d = k >= 4 - pad ? 0 : base64_value(in[i + static_cast<std::size_t>(k)]);
            if (d < 0) return -1;
            v = v << 6 | static_cast<uint32_t>(d);
        }
        const std::size_t bytes = static_cast<std::size_t>(3 - pad);
        if (o + bytes > room) return -1;
        out[o++] = static_cast<uint8_t>(v >> 16);
        if (bytes > 1) out[o++] = static_cast<uint8_t>(v >> 8);
        if (bytes > 2) out[o++] = static_cast<uint8_t>(v);
    }
    return static_cast<long>(o);
}

}  // namespace qv::link
