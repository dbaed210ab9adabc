#include "sim/sim_state_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "sim/sim_bus.h"
#include "sim/sim_config.h"

namespace qv::sim {

namespace {

using Json = nlohmann::json;

constexpr const char* kFormat = "quorvex-sim-state/1";

std::string to_hex(const uint8_t* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

template <class Bytes>
void from_hex(const std::string& text, Bytes& bytes) {
    if (text.size() != 2 * bytes.size()) throw std::invalid_argument("a hex field of the wrong length");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
}

}  // namespace

// What the family firmware files keep, field by field; a missing field makes a load fail.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(ColourState, colour_space_name, gamma_name, preset_names, primaries_xy,
                                   primaries_uv, gains, offsets)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(InputName, type, custom, custom_status)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(NetworkState, ip_mode, address, subnet_mask, gateway, mac)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(UserPreset, saved, color_space, luminance)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PowerState, factory_resets, processor_off)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(DisplayFile, name, data, text)

namespace {

Json display_state(Firmware& fw) {
    Json payloads = Json::object();
    for (const auto& [cli, payload] : fw.stored_payloads()) payloads[cli] = to_hex(payload.data(), payload.size());
    const FamilyState& s = fw.state;
    Json files = Json::object();
    for (const auto& [type, list] : s.transfer.files) files[std::to_string(type)] = list;
    return {{"serial", fw.serial},
            {"payloads", payloads},
            {"colour", s.colour},
            {"pip_size", {s.guards.pip_width, s.guards.pip_height}},
            {"inputs", s.inputs.names},
            {"network", s.network},
            {"identity", {s.identity.firmware_revision, s.identity.info}},
            {"presets", s.presets.user},
            {"power", s.power},
            {"test_pattern", {s.test_pattern.colour, s.test_pattern.pattern}},
            {"files", files}};
}

// Throws on a value of the wrong shape; the caller names the display.
void load_display(const Json& j, Firmware& fw) {
    for (const auto& [cli, hex] : j.at("payloads").items()) {
        auto& stored = fw.stored_payloads();
        const auto it = stored.find(cli);
        if (it == stored.end()) throw std::invalid_argument("no setting named " + shown_text(cli));
        from_hex(hex.get<std::string>(), it->second);
    }
    FamilyState& s = fw.state;
    j.at("colour").get_to(s.colour);
    std::tie(s.guards.pip_width, s.guards.pip_height) = j.at("pip_size").get<std::pair<int16_t, int16_t>>();
    j.at("inputs").get_to(s.inputs.names);
    j.at("network").get_to(s.network);
    std::tie(s.identity.firmware_revision, s.identity.info) =
        j.at("identity").get<std::pair<std::string, std::array<std::string, 4>>>();
    j.at("presets").get_to(s.presets.user);
    j.at("power").get_to(s.power);
    std::tie(s.test_pattern.colour, s.test_pattern.pattern) =
        j.at("test_pattern").get<std::pair<std::array<uint8_t, 3>, uint8_t>>();
    s.transfer.files.clear();
    for (const auto& [type, list] : j.at("files").items())
        list.get_to(s.transfer.files[static_cast<uint8_t>(std::stoi(type))]);
}

// "line L, column C" of a byte offset (from 0) in text.
std::string position_of(const std::string& text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < offset; ++i)
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

std::string state_text(SimBus& bus) {
    Json displays = Json::array();
    for (std::size_t i = 0; i < bus.display_count(); ++i) displays.push_back(display_state(bus.firmware(i)));
    return Json{{"format", kFormat}, {"displays", displays}}.dump(1) + "\n";
}

}  // namespace

bool StateFile::load(const std::string& path, SimBus& bus, std::string* error) {
    path_ = path;
    bus_ = &bus;
    const std::string where = "state file " + shown_text(path);
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        if (access(path.c_str(), F_OK) == 0) {
            *error = where + " cannot be read";
            return false;
        }
        saved_.clear();  // no file yet: the first change creates it
        return true;
    }
    std::ostringstream buffer;
    buffer << stream.rdbuf();
    const std::string text = buffer.str();
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::parse_error& e) {
        // The byte position is of the last character read, counted from 1.
        const std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
        *error = where + ": " + position_of(text, offset) + ": not valid JSON";
        return false;
    }
    try {
        if (!json.is_object() || json.value("format", "") != kFormat)
            throw std::invalid_argument(std::string("\"format\" must be \"") + kFormat + "\"");
        const Json& displays = json.at("displays");
        for (std::size_t i = 0; i < bus.display_count() && i < displays.size(); ++i) {
            try {
                load_display(displays[i], bus.firmware(i));
            } catch (const std::exception& e) {
                throw std::invalid_argument("display " + std::to_string(i + 1) + ": " + shown_text(e.what()));
            }
        }
    } catch (const std::exception& e) {
        *error = where + ": " + shown_text(e.what());
        return false;
    }
    saved_ = text;
    return true;
}

void StateFile::keep(SimBus& bus) {
    bus_ = &bus;
    for (std::size_t i = 0; i < bus.display_count(); ++i)
        bus.firmware(i).after_request = [this](uint8_t opcode) { after(opcode); };
}

bool StateFile::is_read(uint8_t opcode) {
    switch (opcode) {
        case 8: case 12: case 20: case 22: case 28: case 29: return true;
        default: return false;
    }
}

void StateFile::after(uint8_t opcode) {
    if (is_read(opcode)) return;
    if (opcode == kOpUploadChunk) {  // a file arriving: saved once, at the next change or at exit
        pending_ = true;
        return;
    }
    save_if_changed();
}

StateFile::~StateFile() {
    if (pending_) save_if_changed();
}

void StateFile::save_if_changed() {
    if (bus_ == nullptr) return;
    const std::string text = state_text(*bus_);
    pending_ = false;
    if (text == saved_) return;
    const std::string temporary = path_ + ".tmp." + std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "quorvex: cannot save the simulated displays' state to %s\n", shown_text(path_).c_str());
        return;
    }
    saved_ = text;
}

}  // namespace qv::sim
