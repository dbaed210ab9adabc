#include "sim/sim_state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <concepts>
#include <map>
#include <optional>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "protocol/transfer_packet.h"
#include "sim/sim_bus.h"
#include "sim/sim_config.h"

namespace qv::sim {

namespace {

using Json = nlohmann::json;

constexpr const char* kFormat = "quorvex-sim-state/1";
constexpr int kMaxNesting = 32;
constexpr std::size_t kMaxDisplaysInFile = 64;

// --- Reading values: every value is checked against what the display holds. -------------

// A bad value: the message starts with the field's path.
struct BadValue : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Numbers: the inclusive range; texts and lists: the most elements.
struct Limits {
    int64_t low, high;
};

template <class T>
constexpr Limits full_range() {
    return {static_cast<int64_t>(std::numeric_limits<T>::min()), static_cast<int64_t>(std::numeric_limits<T>::max())};
}

std::string shown_json(const Json& j) { return shown_text(j.dump(-1, ' ', false, Json::error_handler_t::replace)); }

[[noreturn]] void bad(const std::string& path, const std::string& what) { throw BadValue(path + ": " + what); }

// What each kept record holds, field by field, with the limits of what the display keeps; the
// one statement of each record's layout, for writing and for reading.
template <class F> void fields(ColourState& s, F&& f) {
    f("colour_space_name", s.colour_space_name, Limits{0, 25});
    f("gamma_name", s.gamma_name, Limits{0, 25});
    f("preset_names", s.preset_names, Limits{0, 15});
    f("primaries_xy", s.primaries_xy, full_range<uint16_t>());
    f("primaries_uv", s.primaries_uv, full_range<uint16_t>());
    f("gains", s.gains, Limits{0, 1023});
    f("offsets", s.offsets, Limits{0, 1023});
}
template <class F> void fields(InputName& s, F&& f) {
    f("type", s.type, Limits{0, 11});
    f("custom", s.custom, full_range<uint8_t>());
    f("custom_status", s.custom_status, full_range<uint8_t>());
}
template <class F> void fields(NetworkState& s, F&& f) {
    f("ip_mode", s.ip_mode, Limits{0, 1});
    f("address", s.address, full_range<uint8_t>());
    f("subnet_mask", s.subnet_mask, full_range<uint8_t>());
    f("gateway", s.gateway, full_range<uint8_t>());
    f("mac", s.mac, full_range<uint8_t>());
}
template <class F> void fields(UserPreset& s, F&& f) {
    f("saved", s.saved, Limits{0, 1});
    f("color_space", s.color_space, full_range<uint8_t>());
    f("luminance", s.luminance, full_range<int16_t>());
}
template <class F> void fields(PowerState& s, F&& f) {
    f("factory_resets", s.factory_resets, Limits{0, std::numeric_limits<int>::max()});
    f("processor_off", s.processor_off, Limits{0, 1});
}
template <class F> void fields(DisplayFile& s, F&& f) {
    f("name", s.name, Limits{0, static_cast<int64_t>(transfer::kFileNameSize - 1)});
    f("data", s.data, Limits{0, static_cast<int64_t>(kMaxDisplayFileBytes)});
    f("text", s.text, Limits{0, 1});
}

template <class T>
concept Record = requires(T& t) { fields(t, [](const char*, auto&, Limits) {}); };

template <class T>
struct ListOf : std::false_type {};
template <class T, std::size_t N>
struct ListOf<std::array<T, N>> : std::true_type {
    using Element = T;
    static constexpr std::size_t size = N;  // exactly
};
template <class T>
struct ListOf<std::vector<T>> : std::true_type {
    using Element = T;
    static constexpr std::size_t size = 0;  // up to the limit
};

template <class T>
Json written(const T& value) {
    if constexpr (Record<T>) {
        Json j = Json::object();
        fields(const_cast<T&>(value), [&](const char* name, const auto& member, Limits) { j[name] = written(member); });
        return j;
    } else if constexpr (ListOf<T>::value) {
        Json j = Json::array();
        for (const auto& element : value) j.push_back(written(element));
        return j;
    } else {
        return Json(value);
    }
}

template <class T>
void read(const Json& j, const std::string& path, T& out, Limits limits);

template <std::integral T>
void read_integer(const Json& j, const std::string& path, T& out, Limits limits) {
    bool fits = false;
    int64_t value = 0;
    if (j.is_number_unsigned()) {
        const auto u = j.get<uint64_t>();
        fits = limits.high >= 0 && u <= static_cast<uint64_t>(limits.high);
        value = fits ? static_cast<int64_t>(u) : 0;
        fits = fits && value >= limits.low;
    } else if (j.is_number_integer()) {
        value = j.get<int64_t>();
        fits = value >= limits.low && value <= limits.high;
    }
    if (!fits)
        bad(path, shown_json(j) + " is not a whole number in " + std::to_string(limits.low) + ".." +
                      std::to_string(limits.high));
    out = static_cast<T>(value);
}

template <class T>
void read(const Json& j, const std::string& path, T& out, Limits limits) {
    if constexpr (std::same_as<T, bool>) {
        if (!j.is_boolean()) bad(path, shown_json(j) + " is not true or false");
        out = j.get<bool>();
    } else if constexpr (std::integral<T>) {
        read_integer(j, path, out, limits);
    } else if constexpr (std::same_as<T, std::string>) {
        if (!j.is_string()) bad(path, shown_json(j) + " is not a text");
        const auto& text = j.get_ref<const std::string&>();
        if (text.size() > static_cast<std::size_t>(limits.high))
            bad(path, "a text longer than " + std::to_string(limits.high) + " bytes");
        out = text;
    } else if constexpr (Record<T>) {
        if (!j.is_object()) bad(path, shown_json(j) + " is not an object");
        fields(out, [&](const char* name, auto& member, Limits member_limits) {
            const auto it = j.find(name);
            if (it == j.end()) bad(path, std::string("\"") + name + "\" is missing");
            read(*it, path + "." + name, member, member_limits);
        });
    } else {
        static_assert(ListOf<T>::value, "a kept value of a kind the state file cannot hold");
        using List = ListOf<T>;
        using Element = typename List::Element;
        if (!j.is_array()) bad(path, shown_json(j) + " is not a list");
        // A list of a fixed length applies the limits to each element; a list of any length
        // holds at most `limits.high` bytes, or 255 records.
        Limits element_limits = limits;
        if constexpr (List::size > 0) {
            if (j.size() != List::size) bad(path, "a list of " + std::to_string(List::size) + " values is needed");
        } else {
            const std::size_t most = Record<Element> ? 255 : static_cast<std::size_t>(limits.high);
            if (j.size() > most) bad(path, "a list of more than " + std::to_string(most) + " values");
            out.resize(j.size());
            element_limits = full_range<uint8_t>();
        }
        for (std::size_t i = 0; i < j.size(); ++i)
            read(j[i], path + "[" + std::to_string(i) + "]", out[i], element_limits);
    }
}

template <class T>
void read(const Json& j, const std::string& path, T& out) {
    read(j, path, out, full_range<T>());
}

// The field `name` of an object, or an error naming it.
const Json& member(const Json& j, const std::string& path, const char* name) {
    if (!j.is_object()) bad(path, shown_json(j) + " is not an object");
    const auto it = j.find(name);
    if (it == j.end()) bad(path, std::string("\"") + name + "\" is missing");
    return *it;
}

// One element of a list of a fixed length.
const Json& element(const Json& j, const std::string& path, std::size_t index, std::size_t size) {
    if (!j.is_array() || j.size() != size) bad(path, "a list of " + std::to_string(size) + " values is needed");
    return j[index];
}

// --- One display. ---------------------------------------------------------------------------

std::string to_hex(const uint8_t* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void read_hex(const Json& j, const std::string& path, Payload& bytes) {
    const std::string wrong = "not " + std::to_string(2 * bytes.size()) + " hexadecimal digits";
    if (!j.is_string()) bad(path, wrong);
    const auto& text = j.get_ref<const std::string&>();
    if (text.size() != 2 * bytes.size()) bad(path, wrong);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hex_digit(text[2 * i]);
        const int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) bad(path, wrong);
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
}

Json display_json(Firmware& fw) {
    Json payloads = Json::object();
    for (const auto& [cli, payload] : fw.stored_payloads()) payloads[cli] = to_hex(payload.data(), payload.size());
    const FamilyState& s = fw.state;
    Json files = Json::object();
    for (const auto& [type, list] : s.transfer.files) files[std::to_string(type)] = written(list);
    return {{"serial", fw.serial},
            {"payloads", payloads},
            {"colour", written(s.colour)},
            {"pip_size", {s.guards.pip_width, s.guards.pip_height}},
            {"inputs", written(s.inputs.names)},
            {"network", written(s.network)},
            {"identity", {s.identity.firmware_revision, s.identity.info}},
            {"presets", written(s.presets.user)},
            {"power", written(s.power)},
            {"test_pattern", {s.test_pattern.colour, s.test_pattern.pattern}},
            {"files", files}};
}

// A display's state read from the file, not yet applied.
struct Staged {
    FamilyState state;
    std::map<std::string, Payload, std::less<>> payloads;
};

void read_display(const Json& j, const std::string& path, Staged& d) {
    const std::string payloads_path = path + ".payloads";
    const Json& payloads = member(j, path, "payloads");
    if (!payloads.is_object()) bad(payloads_path, "not an object");
    for (const auto& [cli, hex] : payloads.items()) {
        const auto it = d.payloads.find(cli);
        if (it == d.payloads.end()) bad(payloads_path, "no setting named " + shown_text(cli));
        read_hex(hex, payloads_path + "." + shown_text(cli), it->second);
    }
    FamilyState& s = d.state;
    read(member(j, path, "colour"), path + ".colour", s.colour, {});
    const std::string pip = path + ".pip_size";
    read(element(member(j, path, "pip_size"), pip, 0, 2), pip + "[0]", s.guards.pip_width);
    read(element(member(j, path, "pip_size"), pip, 1, 2), pip + "[1]", s.guards.pip_height);
    read(member(j, path, "inputs"), path + ".inputs", s.inputs.names, {});
    read(member(j, path, "network"), path + ".network", s.network, {});
    const std::string identity = path + ".identity";
    read(element(member(j, path, "identity"), identity, 0, 2), identity + "[0]", s.identity.firmware_revision, Limits{0, 25});
    read(element(member(j, path, "identity"), identity, 1, 2), identity + "[1]", s.identity.info, Limits{0, 100});
    read(member(j, path, "presets"), path + ".presets", s.presets.user, {});
    read(member(j, path, "power"), path + ".power", s.power, {});
    const std::string pattern = path + ".test_pattern";
    read(element(member(j, path, "test_pattern"), pattern, 0, 2), pattern + "[0]", s.test_pattern.colour, full_range<uint8_t>());
    read(element(member(j, path, "test_pattern"), pattern, 1, 2), pattern + "[1]", s.test_pattern.pattern);
    const std::string files_path = path + ".files";
    const Json& files = member(j, path, "files");
    if (!files.is_object()) bad(files_path, "not an object");
    s.transfer.files.clear();
    for (const auto& [type, list] : files.items()) {
        int code = -1;
        if (!type.empty() && type.size() <= 3 && type.find_first_not_of("0123456789") == std::string::npos)
            code = std::stoi(type);
        if (code < 0 || code > 255 || std::to_string(code) != type)
            bad(files_path, shown_text(type) + " is not a file-type code 0..255");
        read(list, files_path + "." + type, s.transfer.files[static_cast<uint8_t>(code)], {});
    }
}

// --- The file's text. ----------------------------------------------------------------------

// "line L, column C" of a byte offset (from 0) in text.
std::string position_of(std::string_view text, std::size_t offset) {
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

// Where text first opens more than kMaxNesting objects and lists at once.
std::size_t too_deep_at(std::string_view text) {
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting) return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return text.size();
}

// The JSON parser's events, passed on to the document builder, with the position of an error
// and a bound on nesting (a document nested without end would take the memory of the host).
class BoundedParser {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    explicit BoundedParser(Json& root) : dom_(root, false) {}
    bool null() { return dom_.null(); }
    bool boolean(bool v) { return dom_.boolean(v); }
    bool number_integer(number_integer_t v) { return dom_.number_integer(v); }
    bool number_unsigned(number_unsigned_t v) { return dom_.number_unsigned(v); }
    bool number_float(number_float_t v, const string_t& s) { return dom_.number_float(v, s); }
    bool string(string_t& v) { return dom_.string(v); }
    bool binary(binary_t& v) { return dom_.binary(v); }
    bool key(string_t& v) { return dom_.key(v); }
    bool start_object(std::size_t n) { return deeper() && dom_.start_object(n); }
    bool end_object() {
        --depth_;
        return dom_.end_object();
    }
    bool start_array(std::size_t n) { return deeper() && dom_.start_array(n); }
    bool end_array() {
        --depth_;
        return dom_.end_array();
    }
    bool parse_error(std::size_t position, const std::string& /*token*/, const nlohmann::detail::exception& e) {
        position_ = position;
        number_too_large_ = e.id == 406;
        return false;
    }

    bool too_deep() const { return depth_ > kMaxNesting; }
    std::size_t position() const { return position_; }
    bool number_too_large() const { return number_too_large_; }

private:
    bool deeper() { return ++depth_ <= kMaxNesting; }
    nlohmann::detail::json_sax_dom_parser<Json> dom_;
    int depth_ = 0;
    std::size_t position_ = 0;
    bool number_too_large_ = false;
};

bool parse_state(std::string_view text, Json* json, std::string* error) {
    BoundedParser parser(*json);
    if (Json::sax_parse(text.begin(), text.end(), &parser)) return true;
    if (parser.too_deep()) {
        *error = position_of(text, too_deep_at(text)) + ": nested more than " + std::to_string(kMaxNesting) + " levels deep";
    } else {
        // The parser's position is of the last character read, counted from 1.
        const std::size_t offset = parser.position() > 0 ? parser.position() - 1 : 0;
        *error = position_of(text, offset) + (parser.number_too_large() ? ": a number too large" : ": not valid JSON");
    }
    return false;
}

// Checks a parsed state and reads it for the bus's displays; throws BadValue.
std::vector<Staged> stage(const Json& json, SimBus& bus) {
    if (!json.is_object() || json.value("format", Json()) != kFormat)
        bad("format", std::string("must be \"") + kFormat + "\"");
    const Json& displays = member(json, "the state", "displays");
    if (!displays.is_array() || displays.size() > kMaxDisplaysInFile)
        bad("displays", "not a list of at most " + std::to_string(kMaxDisplaysInFile) + " displays");
    std::vector<Staged> staged;
    for (std::size_t i = 0; i < bus.display_count() && i < displays.size(); ++i) {
        Firmware& fw = bus.firmware(i);
        staged.push_back({fw.state, fw.stored_payloads()});
        read_display(displays[i], "displays[" + std::to_string(i) + "]", staged.back());
    }
    return staged;
}

void commit(std::vector<Staged>& staged, SimBus& bus) {
    for (std::size_t i = 0; i < staged.size(); ++i) {
        Firmware& fw = bus.firmware(i);
        fw.state = std::move(staged[i].state);
        fw.stored_payloads() = std::move(staged[i].payloads);
    }
}

Json state_json(SimBus& bus) {
    Json displays = Json::array();
    for (std::size_t i = 0; i < bus.display_count(); ++i) displays.push_back(display_json(bus.firmware(i)));
    return Json{{"format", kFormat}, {"displays", displays}};
}

std::string text_of(const Json& json) { return json.dump(1, ' ', false, Json::error_handler_t::replace) + "\n"; }

// --- The file. -----------------------------------------------------------------------------

std::string file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Reads a state file of at most kMaxStateBytes: *exists false when there is none.
bool read_state_file(const std::string& path, std::string* text, bool* exists, std::string* error) {
    *exists = false;
    // Never blocks (a FIFO), never follows a symbolic link, never becomes a terminal's.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = errno == ELOOP ? "is a symbolic link" : std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        *error = std::string("cannot be read: ") + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        *error = "is " + file_kind(st.st_mode) + ", not a regular file";
        ok = false;
    } else if (static_cast<uint64_t>(st.st_size) > kMaxStateBytes) {
        *error = "is larger than " + std::to_string(kMaxStateBytes >> 20) + " MiB";
        ok = false;
    }
    text->clear();
    while (ok) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = std::string("cannot be read: ") + std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (text->size() + static_cast<std::size_t>(n) > kMaxStateBytes) {
            *error = "is larger than " + std::to_string(kMaxStateBytes >> 20) + " MiB";
            ok = false;
        } else {
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    *exists = ok;
    return ok;
}

bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void complain(const std::string& what) { std::fprintf(stderr, "quorvex: %s\n", what.c_str()); }

}  // namespace

std::string state_text(SimBus& bus) { return text_of(state_json(bus)); }

bool load_state_text(std::string_view text, SimBus& bus, std::string* error) {
    try {
        Json json;
        if (!parse_state(text, &json, error)) return false;
        std::vector<Staged> staged = stage(json, bus);
        commit(staged, bus);
        return true;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
}

bool StateFile::load(const std::string& path, SimBus& bus, std::string* error) {
    path_ = path;
    bus_ = &bus;
    uploading_.assign(bus.display_count(), false);
    const std::string where = "state file " + shown_text(path);
    try {
        bool exists = false;
        std::string text;
        if (!read_state_file(path, &text, &exists, error)) {
            *error = where + " " + *error;
            return false;
        }
        if (!exists) {  // no file yet: the first change creates it
            saved_.clear();
            baseline_ = state_json(bus);
            return true;
        }
        Json json;
        if (!parse_state(text, &json, error)) {
            *error = where + ": " + *error;
            return false;
        }
        std::vector<Staged> staged = stage(json, bus);
        commit(staged, bus);
        saved_ = std::move(text);
        baseline_ = std::move(json);
        return true;
    } catch (const std::exception& e) {
        *error = where + ": " + e.what();
        return false;
    }
}

void StateFile::keep(SimBus& bus) {
    bus_ = &bus;
    bus.share_claims(path_);  // processes sharing the displays' state share their claims too
    for (std::size_t i = 0; i < bus.display_count(); ++i) {
        Firmware& fw = bus.firmware(i);
        fw.before_request = [this, i](const uint8_t* r, std::size_t n) { return before(i, r, n); };
        fw.after_request = [this, i](const uint8_t* r, std::size_t n) { return after(i, r, n); };
    }
}

void StateFile::release() {
    if (bus_ == nullptr) return;
    for (std::size_t i = 0; i < bus_->display_count(); ++i) {
        bus_->firmware(i).before_request = nullptr;
        bus_->firmware(i).after_request = nullptr;
    }
}

StateFile::~StateFile() {
    flush();
    release();
    if (lock_fd_ >= 0) close(lock_fd_);
}

bool StateFile::is_read(uint8_t opcode) {
    // Gets, the calibration-mode query, information strings, preset names, file counts and
    // download chunks.
    switch (opcode) {
        case 8: case 12: case 20: case 22: case 28: case 29: return true;
        default: return false;
    }
}

bool StateFile::lock(std::string* error) {
    if (lock_fd_ < 0) {
        const std::string name = path_ + ".lock";
        lock_fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (lock_fd_ < 0) {
            *error = shown_text(name) + ": " + std::strerror(errno);
            return false;
        }
        struct stat st {};
        if (fstat(lock_fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            *error = shown_text(name) + " is not a regular file";
            close(lock_fd_);
            lock_fd_ = -1;
            return false;
        }
    }
    int rc = 0;
    while ((rc = flock(lock_fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        *error = shown_text(path_) + ".lock: " + std::strerror(errno);
        return false;
    }
    locked_ = true;
    return true;
}

void StateFile::unlock() {
    if (!locked_) return;
    flock(lock_fd_, LOCK_UN);
    locked_ = false;
}

bool StateFile::refresh(std::string* error) {
    bool exists = false;
    std::string text;
    if (!read_state_file(path_, &text, &exists, error)) {
        *error = "state file " + shown_text(path_) + " " + *error;
        return false;
    }
    if (!exists || text == saved_) return true;  // none yet (or removed): ours stands
    Json json;
    if (!parse_state(text, &json, error)) {
        *error = "state file " + shown_text(path_) + ": " + *error;
        return false;
    }
    try {
        apply(json, true);
    } catch (const std::exception& e) {
        *error = "state file " + shown_text(path_) + ": " + e.what();
        return false;
    }
    saved_ = std::move(text);
    baseline_ = std::move(json);
    return true;
}

void StateFile::apply(const Json& state, bool keep_uploads) {
    std::vector<std::optional<std::pair<uint8_t, DisplayFile>>> arriving(bus_->display_count());
    for (std::size_t i = 0; i < bus_->display_count(); ++i) {
        const TransferState& t = bus_->firmware(i).state.transfer;
        if (!keep_uploads || !uploading_[i] || !t.receiving) continue;
        const auto it = t.files.find(t.receiving->first);
        if (it != t.files.end() && t.receiving->second < it->second.size())
            arriving[i] = {t.receiving->first, it->second[t.receiving->second]};
    }
    std::vector<Staged> staged = stage(state, *bus_);
    commit(staged, *bus_);
    for (std::size_t i = 0; i < bus_->display_count(); ++i) {
        TransferState& t = bus_->firmware(i).state.transfer;
        if (!arriving[i]) {
            t.receiving.reset();
            uploading_[i] = false;
            continue;
        }
        // The file this process is receiving goes on arriving in the state just read.
        auto& [code, file] = *arriving[i];
        auto& list = t.files[code];
        auto same = std::find_if(list.begin(), list.end(), [&](const DisplayFile& f) { return f.name == file.name; });
        if (same == list.end()) same = list.insert(list.end(), file);
        else *same = file;
        t.receiving = {code, static_cast<std::size_t>(same - list.begin())};
    }
}

bool StateFile::write(const std::string& text, std::string* error) {
    if (text.size() > kMaxStateBytes) {
        *error = "the state would be larger than " + std::to_string(kMaxStateBytes >> 20) + " MiB";
        return false;
    }
    struct stat st {};
    const bool existed = stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    // Beside the file, under a name of this process's; a name that is taken (by anything, a
    // symbolic link included) is passed over, never opened.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path_ + ".tmp." + std::to_string(getpid()) + (attempt > 0 ? "." + std::to_string(attempt) : "");
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    bool ok = !existed || fchmod(fd, st.st_mode & 07777) == 0;
    ok = ok && write_all(fd, text);
    int saved_errno = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved_errno = errno;
    }
    if (ok && rename(temporary.c_str(), path_.c_str()) != 0) {
        ok = false;
        saved_errno = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        *error = std::strerror(saved_errno);
    }
    return ok;
}

bool StateFile::save_locked() {
    Json json = state_json(*bus_);
    std::string text = text_of(json);
    bool ok = true;
    std::string error;
    if (text != saved_) {
        if (write(text, &error)) {
            saved_ = std::move(text);
            baseline_ = std::move(json);
        } else {
            // The change is not kept: the displays go back to what the file holds.
            apply(baseline_, false);
            complain("cannot save the simulated displays' state to " + shown_text(path_) + ": " + error +
                     "; the change is undone");
            ok = false;
        }
    }
    uploading_.assign(uploading_.size(), false);
    unlock();
    return ok;
}

bool StateFile::flush() {
    if (bus_ == nullptr || std::find(uploading_.begin(), uploading_.end(), true) == uploading_.end()) return true;
    std::string error;
    try {
        if (lock(&error) && refresh(&error)) return save_locked();
    } catch (const std::exception& e) {
        error = e.what();
    }
    unlock();
    complain("cannot save the simulated displays' state: " + error);
    return false;
}

bool StateFile::before(std::size_t /*display*/, const uint8_t* request, std::size_t /*length*/) {
    const uint8_t opcode = request[0];
    if (opcode == transfer::kOpUpload) return true;  // a chunk changes only this process's copy
    std::string error;
    try {
        if (is_read(opcode)) {
            // See what another process saved; without it, what this process has.
            if (!refresh(&error)) complain("cannot read the simulated displays' state: " + error);
            return true;
        }
        if (!lock(&error)) {
            complain("cannot save the simulated displays' state to " + shown_text(path_) + ": " + error);
            return false;
        }
        if (refresh(&error)) return true;
    } catch (const std::exception& e) {
        error = e.what();
    }
    unlock();
    complain("cannot read the simulated displays' state: " + error);
    return false;
}

bool StateFile::after(std::size_t display, const uint8_t* request, std::size_t length) {
    const uint8_t opcode = request[0];
    try {
        if (opcode == transfer::kOpUpload) {
            uploading_[display] = bus_->firmware(display).state.transfer.receiving.has_value();
            // A short chunk is the last of its file: the upload is saved with it.
            const bool last = length > transfer::kChunkLength && request[transfer::kChunkLength] < transfer::kChunkSize;
            return !last || flush();
        }
        if (is_read(opcode)) return true;
        return save_locked();
    } catch (const std::exception& e) {
        unlock();
        complain("cannot save the simulated displays' state: " + std::string(e.what()));
        return false;
    }
}

}  // namespace qv::sim
