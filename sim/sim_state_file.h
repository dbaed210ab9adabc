// Persistent simulated displays: QUORVEX_SIMULATE's state=FILE.
//
// The displays' stored settings and what their family firmware keeps (input names, the IP
// configuration, user presets, files, ...) are loaded from FILE when it exists, and written
// back after every request that changed any of them.
//
// Reading: FILE must be a regular file (never a symbolic link, a FIFO, a device or a directory)
// of at most kMaxStateBytes; its values are checked against what the display holds, and a FILE
// that fails any check is an error naming its line and column (for JSON syntax) or the path of
// the bad field (displays[0].colour.gains[1]). A FILE in error is never replaced.
//
// Several processes share one FILE without losing each other's changes. A request that
// changes something runs under an exclusive flock of FILE.lock: what another process saved
// since is loaded first, then the request is carried out and the whole state saved. A read
// reloads FILE when another process changed it. An upload's chunks change only this process's
// copy of the file arriving; it is saved with its last (short) chunk, or with the next other
// request, or at exit, so a long upload never holds the lock. They share the displays' claims
// too: one process at a time claims a display, as on USB (SimBus::share_claims: byte K of
// FILE.lock, which the whole-file flock above leaves alone), and whether it is plugged in
// (FILE.unplugged.K exists while display K is out).
//
// Saving writes a new file FILE.tmp.PID (FILE.tmp.PID.N when that name is taken) beside FILE,
// created exclusively and never through a symbolic link, with FILE's mode, and renames it over
// FILE, so a reader never sees half a state. When the state cannot be saved, the display takes
// the change back and answers the request with kNotKeptStatus; standard error says why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace qv::sim {

class SimBus;

// The largest state file read or written.
inline constexpr std::size_t kMaxStateBytes = 64u << 20;

// The whole state of the bus's displays as the file holds it.
std::string state_text(SimBus& bus);
// Loads a state text into the bus's displays; false with *error (one line, naming the line and
// column or the field) when the text is not a valid state. Exceptions never leave it.
bool load_state_text(std::string_view text, SimBus& bus, std::string* error);

class StateFile {
public:
    StateFile() = default;
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;
    ~StateFile();

    // Loads `path` into the bus's displays (when the file exists); false with *error when it
    // cannot be read.
    bool load(const std::string& path, SimBus& bus, std::string* error);
    // From now on, keeps every change the bus's displays go through.
    void keep(SimBus& bus);
    // Saves an upload not yet saved; false when it could not be (standard error says why).
    bool flush();
    // Stops keeping: the bus's displays no longer call back.
    void release();

private:
    using Json = nlohmann::json;
    static bool is_read(uint8_t opcode);
    bool before(std::size_t display, const uint8_t* request, std::size_t length);
    bool after(std::size_t display, const uint8_t* request, std::size_t length);
    // Reads FILE; loads it when another process changed it. false with *error when it cannot.
    bool refresh(std::string* error);
    bool lock(std::string* error);
    void unlock();
    bool write(const std::string& text, std::string* error);
    // Applies a state to the displays; `keep_uploads` keeps the files this process is receiving.
    void apply(const Json& state, bool keep_uploads);
    bool save_locked();

    std::string path_;
    SimBus* bus_ = nullptr;
    int lock_fd_ = -1;
    bool locked_ = false;
    std::vector<bool> uploading_;  // by display: an upload not yet saved
    std::string saved_;            // the text FILE holds as this process last read or wrote it
    Json baseline_;                // the same, parsed: what a change that cannot be kept returns to
};

}  // namespace qv::sim
