// The simulated display's file store and its XML calibration actions.
//
// Uploads (opcode 24) arrive in chunks of up to 128 bytes, the first one flagged; the display
// keeps every chunk it accepts, so an upload that fails part way leaves the first part stored.
// A download asks for the number of files of a type (opcode 28) and then fetches each file
// chunk by chunk (opcode 29), the first request of a file flagged; each reply says whether
// another chunk of the file follows (status 1) or this was the last (status 0).
#include <algorithm>
#include <string_view>

#include "protocol/transfer_packet.h"
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

using namespace qv::transfer;

constexpr uint8_t kOk = 0;
constexpr uint8_t kRefused = 1;     // the request itself is malformed
constexpr uint8_t kNoSuchFile = 2;  // an index or a continuation the display does not know
constexpr uint8_t kNotStarted = 3;  // a later upload chunk with no upload under way
constexpr uint8_t kUnknownType = 0xFF;

bool is_text_type(uint8_t download_code) {
    return download_code == 4 || download_code == 5 || download_code == 8;
}

DisplayFile make_file(std::string name, std::string_view content) {
    return DisplayFile{std::move(name), std::vector<uint8_t>(content.begin(), content.end()), false};
}

// The armed refusal of the n-th chunk request, when this request is it.
bool chunk_refused(TransferState& s, Reply& reply) {
    if (s.faults.refuse_chunk <= 0) return false;
    if (--s.faults.refuse_chunk != 0) return false;
    reply.bytes[kStatus] = s.faults.refuse_status;
    return true;
}

void receive_chunk(TransferState& s, const Request& req, Reply& reply) {
    const uint8_t code = req.bytes[kFileType];
    const int download = download_code_of_upload(code);
    if (download < 0) {
        reply.bytes[kStatus] = kUnknownType;
        return;
    }
    const std::size_t length = req.bytes[kChunkLength];
    if (length > kChunkSize) {
        reply.bytes[kStatus] = kRefused;
        return;
    }
    if (chunk_refused(s, reply)) return;
    auto& files = s.files[static_cast<uint8_t>(download)];
    if (req.bytes[kFirstChunk] == 1) {
        const std::string name = "upload" + std::to_string(code) + (code == 1 ? ".bin" : ".txt");
        auto it = std::find_if(files.begin(), files.end(), [&](const DisplayFile& f) { return f.name == name; });
        if (it == files.end()) it = files.insert(files.end(), DisplayFile{name, {}, code != 1});
        it->data.clear();
        s.receiving = {static_cast<uint8_t>(download), static_cast<std::size_t>(it - files.begin())};
    } else if (!s.receiving || s.receiving->first != download || s.receiving->second >= files.size()) {
        reply.bytes[kStatus] = kNotStarted;
        return;
    }
    auto& data = files[s.receiving->second].data;
    if (data.size() + length > kMaxDisplayFileBytes) {
        reply.bytes[kStatus] = kRefused;
        return;
    }
    data.insert(data.end(), req.bytes.begin() + kChunkData,
                req.bytes.begin() + static_cast<std::ptrdiff_t>(kChunkData + length));
    reply.bytes[kStatus] = kOk;
}

void count_files(const TransferState& s, const Request& req, Reply& reply) {
    const uint8_t type = req.bytes[kFileType];
    if (s.faults.count_status >= 0) {
        reply.bytes[kStatus] = static_cast<uint8_t>(s.faults.count_status);
        reply.bytes[kChunkLength] = static_cast<uint8_t>(std::max(s.faults.count_value, 0));
        return;
    }
    const auto it = s.files.find(type);
    const std::size_t count = it == s.files.end() || s.faults.hidden_types.count(type) != 0 ? 0 : it->second.size();
    reply.bytes[kStatus] = count == 0 ? kUnknownType : kOk;
    reply.bytes[kChunkLength] = static_cast<uint8_t>(std::min<std::size_t>(count, 255));
}

void serve_chunk(TransferState& s, const Request& req, Reply& reply) {
    if (chunk_refused(s, reply)) return;
    const uint8_t type = req.bytes[kFileType];
    const std::size_t index = req.bytes[kFileIndex];
    const auto it = s.files.find(type);
    if (it == s.files.end() || index >= it->second.size()) {
        reply.bytes[kStatus] = kNoSuchFile;
        return;
    }
    const bool first = req.bytes[kFirstChunk] == 1;
    if (first) {
        s.serving = {type, index};
        s.serve_offset = 0;
    } else if (s.serving != std::make_pair(type, index)) {
        reply.bytes[kStatus] = kNoSuchFile;
        return;
    }
    const DisplayFile& file = it->second[index];
    const std::size_t offset = s.serve_offset;
    const std::size_t n = std::min(kChunkSize, file.data.size() - std::min(offset, file.data.size()));
    auto& b = reply.bytes;
    std::fill(b.begin() + kFileName, b.begin() + kPacketSize, 0);
    std::copy_n(file.name.begin(), std::min(file.name.size(), kFileNameSize - 1), b.begin() + kFileName);
    std::copy_n(file.data.begin() + static_cast<std::ptrdiff_t>(offset), n, b.begin() + kChunkData);
    s.serve_offset += n;
    const TransferFaults& f = s.faults;
    b[kStatus] = s.serve_offset < file.data.size() || f.endless ? kStatusMore : kOk;
    b[kFirstChunk] = first ? 1 : 0;
    b[kFileType] = type;
    b[kChunkLength] = static_cast<uint8_t>(n);

    if (offset < f.lie_from_offset) return;
    if (f.name_field)
        std::copy_n(f.name_field->begin(), std::min(f.name_field->size(), kFileNameSize), b.begin() + kFileName);
    if (f.chunk_length >= 0) b[kChunkLength] = static_cast<uint8_t>(f.chunk_length);
    if (f.reply_file_type >= 0) b[kFileType] = static_cast<uint8_t>(f.reply_file_type);
    if (f.reply_first_chunk >= 0) b[kFirstChunk] = static_cast<uint8_t>(f.reply_first_chunk);
}

// The XML calibration actions: the display works for a while, then answers with its status.
void run_action(DisplayAction& action, Reply& reply) {
    reply.bytes[kStatus] = action.status;
    reply.delay_us = action.duration_us;
    ++action.runs;
}

}  // namespace

int download_code_of_upload(int upload_code) {
    switch (upload_code) {
        case 0: return 4;
        case 1: return 3;
        case 2: return 5;
        case 7: return 8;
        default: return -1;
    }
}

void init_transfer(Firmware& fw) {
    auto& files = fw.state.transfer.files;
    std::string dump(300, '\0');
    for (std::size_t i = 0; i < dump.size(); ++i) dump[i] = static_cast<char>(i * 7 + 3);
    files[3].push_back(make_file("colorimeter_dump.bin", dump));
    files[4].push_back(make_file("calibration_report.txt",
                                 "Calibration report\nPreset 1: dE2000 avg 0.41, max 0.97\n"));
    files[5].push_back(make_file("event_log.txt",
                                 "00:00:01 power on\n00:00:03 input 1 locked 3840x2160@60\n"
                                 "00:12:40 calibration started\n00:37:02 calibration done\n"
                                 "01:02:11 preset 2 selected\n01:30:00 warm-up complete\n"
                                 "02:00:00 backlight hours 1203\n02:15:30 usb host connected\n"));
    files[8].push_back(make_file("tintwise_profile.xml",
                                 "<?xml version=\"1.0\"?>\n<calibration>\n  <target white=\"D65\" "
                                 "luminance=\"100\"/>\n</calibration>\n"));
    for (auto& [type, list] : files)
        for (DisplayFile& f : list) f.text = is_text_type(type);
}

bool handle_transfer(Firmware& fw, const Request& req, Reply& reply) {
    TransferState& s = fw.state.transfer;
    switch (req.opcode()) {
        case 24: case 28: case 29:
            if (req.bytes.size() < kPacketSize) return false;
            reply = echo(req.bytes.data(), kPacketSize);
            if (req.opcode() == 24) receive_chunk(s, req, reply);
            else if (req.opcode() == 28) count_files(s, req, reply);
            else serve_chunk(s, req, reply);
            return true;
        case 25: case 26: case 27:
            if (req.bytes.size() < 2) return false;
            reply = echo(req.bytes.data(), 2);
            run_action(req.opcode() == 25   ? s.validate_xml
                       : req.opcode() == 26 ? s.position_colorimeter
                                            : s.tintwise_calibration,
                       reply);
            if (req.opcode() != 25) fw.calibration_time(reply, reply.delay_us);
            // A calibration carried out starts the calibration hour counter again.
            if (req.opcode() == 27 && reply.bytes[kStatus] == kOk) fw.set_s16("calibration-hours", 0);
            return true;
        default:
            return false;
    }
}

QV_FIRMWARE_FAMILY(transfer, TransferState, {}, init_transfer, handle_transfer);

}  // namespace qv::sim
