// Persistent simulated displays: QUORVEX_SIMULATE's state=FILE.
//
// The displays' stored settings and what their family firmware keeps (input names, the IP
// configuration, user presets, files, ...) are loaded from FILE when it exists, and written
// back after every request that changed any of them: to a temporary file beside FILE, then
// renamed over it, so a reader never sees half a state. A FILE that cannot be read is an error
// that names its line and column; it is never replaced.
#pragma once

#include <cstdint>
#include <string>

namespace qv::sim {

class SimBus;

class StateFile {
public:
    StateFile() = default;
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;
    ~StateFile();

    // Loads `path` into the bus's displays (when the file exists); false with *error when it
    // cannot be read.
    bool load(const std::string& path, SimBus& bus, std::string* error);
    // From now on, saves after every change the bus's displays go through.
    void keep(SimBus& bus);
    // Writes the state now if it differs from what the file holds.
    void save_if_changed();

private:
    // Reads (gets, the calibration-mode query, information strings, preset names, file counts
    // and download chunks) change nothing that is kept; an upload moves a file in many small
    // requests, saved together.
    static constexpr uint8_t kOpUploadChunk = 24;
    static bool is_read(uint8_t opcode);
    void after(uint8_t opcode);

    std::string path_;
    bool pending_ = false;
    SimBus* bus_ = nullptr;
    std::string saved_;  // the text the file holds
};

}  // namespace qv::sim
