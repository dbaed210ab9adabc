#include "display_worker.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "actions.h"
#include "gadget_usb/link_wire.h"
#include "metrics.h"
#include "quorvex.h"
#include "settings.h"
#include "text.h"
#include "varlink.h"

namespace quorvexd {

namespace {

namespace st = qv::settings;
namespace fs = std::filesystem;
using OJson = st::Json;  // the settings layer's (ordered) JSON

// An answer to the daemon: parameters, or an error with its parameters.
struct Answer {
    std::string error;
    OJson parameters = OJson::object();
};

Answer ok(OJson parameters = OJson::object()) { return {{}, std::move(parameters)}; }

Answer invalid(const std::string& name, const std::string& reason) {
    OJson p = {{"reason", reason}};
    if (!name.empty()) p["name"] = name;
    return {display_error::kInvalidValue, p};
}

// A library result code as the interface's error. `needs`: what the display's mode must be.
Answer failed(const std::string& name, int rc, const std::string& needs = {}) {
    OJson p = OJson::object();
    if (!name.empty()) p["name"] = name;
    switch (rc) {
        case RC_INVALID_ARGUMENT: return invalid(name, st::describe_rc(rc));
        case RC_NOT_ALLOWED:
            p["needs"] = needs.empty() ? st::describe_rc(rc) : needs;
            return {display_error::kNotAllowed, p};
        case RC_NOT_SUPPORTED:
            p["monitorType"] = std::to_string(gu8MonitorType);
            return {display_error::kNotSupported, p};
        case RC_DEVICE_STATUS:
            p["result"] = rc;
            p["reason"] = st::describe_rc(rc);
            return {display_error::kDisplayRefused, p};
        default:
            p["result"] = rc;
            p["reason"] = st::describe_rc(rc);
            return {display_error::kDisplayFailed, p};
    }
}

Answer failed(const st::Failure& f) {
    const st::Setting* s = st::find(f.setting);
    return failed(f.setting, f.rc, s == nullptr ? std::string() : s->set_needs.empty() ? s->get_needs : s->set_needs);
}

// ---- the methods

Answer get(const OJson& p) {
    const auto names = p.find("names");
    if (names == p.end() || !names->is_array()) return invalid("names", "a list of setting names is needed");
    OJson values = OJson::object();
    for (const OJson& n : *names) {
        if (!n.is_string()) return invalid("", "a setting name must be a string");
        const std::string name = n.get<std::string>();
        const st::Setting* s = st::find(name);
        if (s == nullptr) return invalid(st::shown(name), "no such setting");
        if (!s->readable) return invalid(name, "the setting cannot be read");
        OJson value;
        if (const int rc = st::read(*s, &value); rc != RC_OK) return failed(name, rc, s->get_needs);
        values[name] = std::move(value);
    }
    return ok({{"values", values}});
}

Answer set(const OJson& p) {
    const auto values = p.find("values");
    if (values == p.end() || !values->is_object()) return invalid("values", "an object of setting names and values is needed");
    // Checked whole first, then written in the settings' restore order.
    std::vector<std::pair<const st::Setting*, const OJson*>> writes;
    for (const auto& [name, value] : values->items()) {
        const st::Setting* s = st::find(name);
        if (s == nullptr) return invalid(st::shown(name), "no such setting");
        if (!s->writable || s->type == st::ValueType::action) return invalid(name, "the setting cannot be changed");
        std::string error;
        if (!st::check_value(*s, value, &error)) return invalid(name, error);
        writes.emplace_back(s, &value);
    }
    std::sort(writes.begin(), writes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [s, value] : writes)
        if (const int rc = st::write(*s, *value); rc != RC_OK) return failed(s->name, rc, s->set_needs);
    return ok();
}

Answer dump() {
    st::Profile profile;
    st::Failure failure;
    if (!st::dump(&profile, &failure)) return failed(failure);
    return ok({{"profile", st::to_json(profile)}});
}

bool profile_of(const OJson& p, st::Profile* profile, Answer* answer) {
    const auto given = p.find("profile");
    if (given == p.end() || !given->is_object()) {
        *answer = invalid("profile", "a settings profile is needed");
        return false;
    }
    std::string error;
    if (!st::parse_profile(given->dump(), profile, &error)) {
        *answer = invalid("profile", error);
        return false;
    }
    return true;
}

Answer restore(const OJson& p) {
    st::Profile profile;
    Answer answer;
    if (!profile_of(p, &profile, &answer)) return answer;
    const auto dry = p.find("dryRun");
    return ok({{"results", st::to_json(st::restore(profile, dry != p.end() && dry->is_boolean() && dry->get<bool>()))}});
}

Answer diff(const OJson& p) {
    st::Profile profile;
    Answer answer;
    if (!profile_of(p, &profile, &answer)) return answer;
    st::Profile live;
    st::Failure failure;
    if (!st::dump(&live, &failure)) return failed(failure);
    OJson differences = OJson::object();
    for (const OJson& d : st::diff(profile, live)) differences[d["name"].get<std::string>()] = {{"a", d["a"]}, {"b", d["b"]}};
    return ok({{"differences", differences}});
}

Answer run(const OJson& p) {
    const st::Action* action = st::find_action(p.value("action", ""));
    if (action == nullptr) return invalid("action", "no such action");
    std::vector<long> values;
    std::string error, bad;
    const auto given = p.find("arguments");
    if (!st::action_arguments(*action, given == p.end() ? OJson() : *given, &values, &error, &bad))
        return invalid(bad.empty() ? action->name : bad, error);
    if (const int rc = action->run(values); rc != RC_OK) return failed(action->name, rc, action->needs);
    return ok();
}

// A folder of the worker's own for the files it moves; removed with what it holds.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "quorvexd-worker-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Answer send_file(const OJson& p) {
    const auto type = p.find("fileType");
    const auto content = p.find("content");
    if (type == p.end() || !type->is_number_integer()) return invalid("fileType", "a file type is needed");
    if (content == p.end() || !content->is_string()) return invalid("content", "the file's content is needed (base64)");
    const std::string& text = content->get_ref<const std::string&>();
    std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
    const long n = qv::link::base64_decode(text.data(), text.size(), bytes.data(), bytes.size());
    if (n < 0) return invalid("content", "the content is not base64");
    Scratch scratch;
    if (scratch.path().empty()) return failed("", RC_FAILED);
    const std::string file = scratch.path() + "/upload";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), n);
        if (!out) return failed("", RC_FAILED);
    }
    if (const int rc = SendFileToDisplay(type->get<int>(), file.c_str()); rc != RC_OK) return failed("", rc);
    return ok();
}

Answer get_files(const OJson& p) {
    const auto type = p.find("fileType");
    if (type == p.end() || !type->is_number_integer()) return invalid("fileType", "a file type is needed");
    Scratch scratch;
    if (scratch.path().empty()) return failed("", RC_FAILED);
    if (const int rc = GetFileFromDisplay(type->get<int>(), scratch.path().c_str()); rc != RC_OK) return failed("", rc);
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(scratch.path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    OJson files = OJson::array();
    for (const fs::path& path : names) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() > kMaxFileBytes)
            return invalid(path.filename().string(), "the file is larger than " + std::to_string(kMaxFileBytes / 1024) +
                                                         " KiB, more than a message carries");
        std::string text(qv::link::base64_size(bytes.size()), '\0');
        qv::link::base64_encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text.data());
        files.push_back({{"name", path.filename().string()}, {"content", text}});
    }
    return ok({{"files", files}});
}

// The daemon's own request: one reading round for the metrics (with the golden profile, when
// it has one).
Answer readings(const OJson& p) {
    st::Profile golden;
    Answer answer;
    if (p.contains("profile") && !profile_of(p, &golden, &answer)) return answer;
    OJson taken;
    st::Failure failure;
    if (!st::take_readings(p.contains("profile") ? &golden : nullptr, &taken, &failure)) return failed(failure);
    return ok(taken);
}

Answer dispatch(const std::string& method, const OJson& p) {
    if (method == "Get") return get(p);
    if (method == "Set") return set(p);
    if (method == "Dump") return dump();
    if (method == "Restore") return restore(p);
    if (method == "Diff") return diff(p);
    if (method == "Run") return run(p);
    if (method == "SendFile") return send_file(p);
    if (method == "GetFiles") return get_files(p);
    if (method == "Readings") return readings(p);
    return {kMethodNotFound, {{"method", method}}};
}

bool send_all(int fd, const OJson& message) {
    std::string text = message.dump(-1, ' ', false, OJson::error_handler_t::replace);
    text.push_back('\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Connects the one display this worker is shown: {"ready": ...} or {"unready": ...}.
bool connect_display(int fd) {
    char serials[MAX_DISPLAYS * 12] = {};
    int rc = Scan(serials);
    if (rc >= 1) rc = Connect(0);
    if (rc < 0) {
        send_all(fd, {{"unready", {{"result", rc}, {"reason", st::describe_rc(rc)}}}});
        return false;
    }
    char serial[11] = {};
    if (const int s = GetDisplaySerialNumber(serial); s != RC_OK) {
        send_all(fd, {{"unready", {{"result", s}, {"reason", st::describe_rc(s)}}}});
        return false;
    }
    char revision[16] = {};
    const bool firmware = GetFirmwareRevision(revision) == RC_OK;
    return send_all(fd, {{"ready",
                          {{"serial", std::string(serial, strnlen(serial, 10))},
                           {"monitorType", std::to_string(gu8MonitorType)},
                           {"firmware", firmware ? std::string(revision, strnlen(revision, 15)) : std::string()}}}});
}

}  // namespace

int run_display_worker(int fd) {
    // The library's diagnostic lines have no reader here.
    SetLog(0);
    if (const int null = open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    if (!connect_display(fd)) return 1;
    MessageReader reader(kWorkerMessageLimit);
    std::string message;
    char buffer[65536];
    for (;;) {
        bool too_large = false;
        while (reader.next(&message, &too_large)) {
            const OJson request = OJson::parse(message, nullptr, false);
            if (!request.is_object() || !request.contains("id") || !request["method"].is_string()) return 2;
            const OJson parameters = request.value("parameters", OJson::object());
            const Answer answer = dispatch(request["method"].get<std::string>(), parameters);
            OJson reply = {{"id", request["id"]}, {"parameters", answer.parameters}};
            if (!answer.error.empty()) reply["error"] = answer.error;
            if (!send_all(fd, reply)) return 0;
        }
        if (too_large) return 2;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the daemon is done with this worker
        reader.feed(buffer, static_cast<std::size_t>(n));
    }
    Disconnect();
    return 0;
}

}  // namespace quorvexd
