#include "sim/sim_config.h"

#include <cctype>
#include <charconv>
#include <memory>

#include "sim/sim_bus.h"
#include "sim/sim_state_file.h"
#include "sim/virtual_clock.h"

namespace qv::sim {

namespace {

constexpr int kMaxSimDisplays = 4;
constexpr int kMaxCalibrationSeconds = 86400;
constexpr int kMaxRefusedChunk = 1'000'000;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool to_int(std::string_view s, int lo, int hi, int* out) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool valid_mode(std::string_view m) {
    if (m == "none") return true;
    const auto x = m.find('x');
    int w = 0;
    int h = 0;
    return x != std::string_view::npos && to_int(m.substr(0, x), 1, 9999, &w) &&
           to_int(m.substr(x + 1), 1, 9999, &h);
}

bool valid_serial(std::string_view s) {
    if (s.size() != 10) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

// "type3" -> ("type", 3); "type" -> ("type", 0).
void split_index(std::string_view key, std::string_view* base, int* index) {
    std::size_t i = key.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(key[i - 1]))) --i;
    *base = key.substr(0, i);
    *index = 0;
    if (i < key.size() && !to_int(key.substr(i), 1, kMaxSimDisplays, index)) *index = -1;
}

}  // namespace

std::string shown_text(std::string_view text) {
    constexpr std::size_t kMax = 160;
    std::string result;
    for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            static constexpr char kDigits[] = "0123456789abcdef";
            result += "\\x";
            result += kDigits[c >> 4];
            result += kDigits[c & 0xF];
        } else {
            result += static_cast<char>(c);
        }
    }
    if (text.size() > kMax) result += "... (" + std::to_string(text.size()) + " bytes)";
    return result;
}

bool parse_sim_config(std::string_view text, SimConfig* config, std::string* error) {
    SimConfig result;
    result.displays.resize(kMaxSimDisplays);
    for (int k = 0; k < kMaxSimDisplays; ++k)
        result.displays[static_cast<std::size_t>(k)].serial = "QVSIM0000" + std::to_string(k + 1);
    int count = 1;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t comma = text.find(',', pos);
        const std::string_view item = trim(text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
        pos = comma == std::string_view::npos ? text.size() + 1 : comma + 1;
        if (item.empty()) {
            *error = "empty item";
            return false;
        }
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            if (!to_int(item, 0, kMaxSimDisplays, &count)) {
                *error = "'" + shown_text(item) + "' is neither key=value nor a display count 0..4";
                return false;
            }
            continue;
        }
        const std::string_view key = trim(item.substr(0, eq));
        const std::string_view value = trim(item.substr(eq + 1));
        std::string_view base;
        int index = 0;
        split_index(key, &base, &index);
        if (index < 0) {
            *error = "display number in '" + shown_text(key) + "' must be 1..4";
            return false;
        }
        auto for_each_display = [&](auto apply) {
            if (index > 0) {
                apply(result.displays[static_cast<std::size_t>(index - 1)]);
            } else {
                for (auto& d : result.displays) apply(d);
            }
        };
        if (key == "displays") {
            if (!to_int(value, 0, kMaxSimDisplays, &count)) {
                *error = "displays must be 0..4";
                return false;
            }
        } else if (base == "type") {
            int t = 0;
            if (!to_int(value, 0, 255, &t)) {
                *error = "type must be 0..255";
                return false;
            }
            for_each_display([&](FirmwareConfig& d) { d.monitor_type = static_cast<uint8_t>(t); });
        } else if (base == "serial" && index > 0) {
            if (!valid_serial(value)) {
                *error = "serial" + std::to_string(index) + " must be exactly 10 letters, digits or '-'";
                return false;
            }
            for_each_display([&](FirmwareConfig& d) { d.serial = std::string(value); });
        } else if (base == "mode") {
            if (!valid_mode(value)) {
                *error = "mode must be WIDTHxHEIGHT or none";
                return false;
            }
            for_each_display([&](FirmwareConfig& d) { d.mode = std::string(value); });
        } else if (base == "refuse-chunk") {
            int n = 0;
            if (!to_int(value, 0, kMaxRefusedChunk, &n)) {
                *error = "refuse-chunk must be 0.." + std::to_string(kMaxRefusedChunk);
                return false;
            }
            for_each_display([&](FirmwareConfig& d) { d.refuse_chunk = n; });
        } else if (key == "clock") {
            if (value != "real" && value != "virtual") {
                *error = "clock must be real or virtual";
                return false;
            }
            result.virtual_clock = value == "virtual";
        } else if (key == "calibration-seconds") {
            int seconds = 0;
            if (!to_int(value, 0, kMaxCalibrationSeconds, &seconds)) {
                *error = "calibration-seconds must be 0.." + std::to_string(kMaxCalibrationSeconds);
                return false;
            }
            for (auto& d : result.displays) d.calibration_seconds = static_cast<uint32_t>(seconds);
        } else if (key == "state") {
            if (value.empty()) {
                *error = "state needs a file name";
                return false;
            }
            result.state_file = std::string(value);
        } else {
            *error = "unknown key '" + shown_text(key) + "'";
            return false;
        }
    }
    result.displays.resize(static_cast<std::size_t>(count));
    *config = std::move(result);
    return true;
}

UsbBackend* environment_bus(std::string_view text, std::string* error) {
    static std::string current_text;
    static std::unique_ptr<VirtualClock> virtual_clock;
    static std::unique_ptr<SimBus> bus;
    static std::unique_ptr<StateFile> state;  // after the bus: saved before the bus goes
    // A bus that a changed text replaces stays alive: a handle may still point into it.
    static std::vector<std::unique_ptr<SimBus>> retired;
    if (bus && current_text == text) return bus.get();

    SimConfig config;
    if (!parse_sim_config(text, &config, error)) return nullptr;
    if (config.virtual_clock) {
        if (!virtual_clock) virtual_clock = std::make_unique<VirtualClock>();
        install_clock(virtual_clock.get());
    } else {
        install_clock(nullptr);
    }
    auto fresh = std::make_unique<SimBus>(config.displays, config.virtual_clock ? static_cast<Clock&>(*virtual_clock)
                                                                              : real_clock());
    std::unique_ptr<StateFile> kept;
    if (!config.state_file.empty()) {
        kept = std::make_unique<StateFile>();
        if (!kept->load(config.state_file, *fresh, error)) return nullptr;
        kept->keep(*fresh);
    }
    if (state) {
        state->flush();
        state->release();
    }
    state = std::move(kept);
    if (bus) retired.push_back(std::move(bus));
    bus = std::move(fresh);
    current_text = std::string(text);
    return bus.get();
}

}  // namespace qv::sim
