#include "sim/sim_state_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/sim_bus.h"
#include "sim/sim_config.h"

namespace qv::sim {

namespace {

using Json = nlohmann::ordered_json;

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

Json display_state(Firmware& fw) {
    Json payloads = Json::object();
    for (const auto& [index, payload] : fw.stored_payloads())
        payloads[kSettings[index].cli] = to_hex(payload.data(), payload.size());
    const FamilyState& s = fw.state;
    Json inputs = Json::array();
    for (const InputName& n : s.inputs.names)
        inputs.push_back({{"type", n.type}, {"custom", to_hex(n.custom.data(), n.custom.size())}, {"custom_status", n.custom_status}});
    Json presets = Json::array();
    for (const UserPreset& p : s.presets.user)
        presets.push_back({{"saved", p.saved}, {"color_space", p.color_space}, {"luminance", p.luminance}});
    Json files = Json::object();
    for (const auto& [type, list] : s.transfer.files) {
        Json entries = Json::array();
        for (const DisplayFile& f : list)
            entries.push_back({{"name", f.name}, {"text", f.text}, {"data", to_hex(f.data.data(), f.data.size())}});
        files[std::to_string(type)] = entries;
    }
    return {{"serial", fw.serial},
            {"payloads", payloads},
            {"colour",
             {{"colour_space_name", s.colour.colour_space_name}, {"gamma_name", s.colour.gamma_name},
              {"preset_names", s.colour.preset_names}, {"primaries_xy", s.colour.primaries_xy},
              {"primaries_uv", s.colour.primaries_uv}, {"gains", s.colour.gains}, {"offsets", s.colour.offsets}}},
            {"guards", {{"pip_width", s.guards.pip_width}, {"pip_height", s.guards.pip_height}}},
            {"inputs", inputs},
            {"network",
             {{"ip_mode", s.network.ip_mode}, {"address", s.network.address}, {"subnet_mask", s.network.subnet_mask},
              {"gateway", s.network.gateway}, {"mac", s.network.mac}}},
            {"identity", {{"firmware_revision", s.identity.firmware_revision}, {"info", s.identity.info}}},
            {"presets", presets},
            {"power", {{"factory_resets", s.power.factory_resets}, {"processor_off", s.power.processor_off}}},
            {"test_pattern", {{"colour", s.test_pattern.colour}, {"pattern", s.test_pattern.pattern}}},
            {"files", files}};
}

// Throws on a value of the wrong shape; the caller names the display.
void load_display(const Json& j, Firmware& fw) {
    for (const auto& [cli, hex] : j.at("payloads").items()) {
        const SettingRow* row = find_row(cli);
        if (row == nullptr) throw std::invalid_argument("no setting named " + shown_text(cli));
        from_hex(hex.get<std::string>(), fw.payload(*row));
    }
    FamilyState& s = fw.state;
    const Json& c = j.at("colour");
    c.at("colour_space_name").get_to(s.colour.colour_space_name);
    c.at("gamma_name").get_to(s.colour.gamma_name);
    c.at("preset_names").get_to(s.colour.preset_names);
    c.at("primaries_xy").get_to(s.colour.primaries_xy);
    c.at("primaries_uv").get_to(s.colour.primaries_uv);
    c.at("gains").get_to(s.colour.gains);
    c.at("offsets").get_to(s.colour.offsets);
    j.at("guards").at("pip_width").get_to(s.guards.pip_width);
    j.at("guards").at("pip_height").get_to(s.guards.pip_height);
    const Json& inputs = j.at("inputs");
    for (std::size_t i = 0; i < s.inputs.names.size() && i < inputs.size(); ++i) {
        InputName& n = s.inputs.names[i];
        inputs[i].at("type").get_to(n.type);
        from_hex(inputs[i].at("custom").get<std::string>(), n.custom);
        inputs[i].at("custom_status").get_to(n.custom_status);
    }
    const Json& net = j.at("network");
    net.at("ip_mode").get_to(s.network.ip_mode);
    net.at("address").get_to(s.network.address);
    net.at("subnet_mask").get_to(s.network.subnet_mask);
    net.at("gateway").get_to(s.network.gateway);
    net.at("mac").get_to(s.network.mac);
    j.at("identity").at("firmware_revision").get_to(s.identity.firmware_revision);
    j.at("identity").at("info").get_to(s.identity.info);
    const Json& presets = j.at("presets");
    for (std::size_t i = 0; i < s.presets.user.size() && i < presets.size(); ++i) {
        UserPreset& p = s.presets.user[i];
        presets[i].at("saved").get_to(p.saved);
        presets[i].at("color_space").get_to(p.color_space);
        presets[i].at("luminance").get_to(p.luminance);
    }
    j.at("power").at("factory_resets").get_to(s.power.factory_resets);
    j.at("power").at("processor_off").get_to(s.power.processor_off);
    j.at("test_pattern").at("colour").get_to(s.test_pattern.colour);
    j.at("test_pattern").at("pattern").get_to(s.test_pattern.pattern);
    s.transfer.files.clear();
    for (const auto& [type, entries] : j.at("files").items()) {
        auto& list = s.transfer.files[static_cast<uint8_t>(std::stoi(type))];
        for (const Json& e : entries) {
            DisplayFile f;
            e.at("name").get_to(f.name);
            e.at("text").get_to(f.text);
            const std::string hex = e.at("data").get<std::string>();
            f.data.resize(hex.size() / 2);
            from_hex(hex, f.data);
            list.push_back(std::move(f));
        }
    }
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

void StateFile::after(uint8_t opcode) {
    switch (opcode) {
        case kOpUploadChunk:  // a file arriving: saved once, at its end or at exit
            pending_ = true;
            return;
        case kOpFileCount:
        case kOpDownloadChunk:  // reads
            return;
        default:
            save_if_changed();
    }
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
