// The simulated display's picture-in-picture window.
//
// The window's size and position are records of a selector and two 16-bit values. A preset
// size (0..2) gives the window one of three sizes; a custom size (3) takes the width and height
// the host sends. A preset position (0..3) puts the window in a corner of the 4096 x 2160
// frame, inside its margins, and keeps it there when the size changes; a custom position (4)
// takes the X and Y the host sends. Everything else PIP is a plain stored setting.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr int kFrameWidth = 4096;
constexpr int kFrameHeight = 2160;
constexpr int kMarginX = 204;
constexpr int kMarginY = 108;
constexpr uint8_t kCustomSize = 3;
constexpr uint8_t kCustomPosition = 4;

struct Size {
    int16_t width, height;
};
constexpr Size kPresetSizes[] = {{568, 300}, {1365, 720}, {2048, 1080}};

int16_t field(const Payload& p, std::size_t at) { return static_cast<int16_t>(p[at] | (p[at + 1] << 8)); }
void put_field(Payload& p, std::size_t at, int16_t v) {
    p[at] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFFu);
    p[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

// Preset positions 0..3: top left, top right, bottom left, bottom right.
void place_preset(Firmware& fw) {
    Payload& position = fw.payload("pip-position");
    const uint8_t corner = position[0];
    if (corner >= kCustomPosition) return;
    const Payload& size = fw.payload("pip-size");
    const bool right = corner == 1 || corner == 3;
    const bool bottom = corner >= 2;
    put_field(position, 1, static_cast<int16_t>(right ? kFrameWidth - kMarginX - field(size, 1) : kMarginX));
    put_field(position, 3, static_cast<int16_t>(bottom ? kFrameHeight - kMarginY - field(size, 3) : kMarginY));
}

Reply answer(const Request& req, uint8_t status) {
    Reply reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = status;
    return reply;
}

}  // namespace

// What this display accepts on the pip family's pages.
constexpr DisplaySetting kPipSettings[] = {
    byte("pip-mode", {4, 1}, {3, 1}).in(1, 2).starts(1),
    record("pip-size", {4, 2}, {3, 2}),
    record("pip-position", {4, 3}, {3, 3}),
    byte("pip-primary-input", {4, 4}, {3, 4}).in(0, 4),
    byte("pip-secondary-input", {4, 5}, {3, 5}).in(0, 4).starts(1),
    byte("pip-swap-inputs", {4, 6}, {3, 6}).in(0, 1),
    byte("pip-video-legal", {4, 7}, {3, 7}).in(0, 1),
    byte("pip-overscan", {4, 8}, {3, 8}).in(0, 1),
    byte("pip-dci", {4, 9}, {3, 9}).in(0, 2),
};

void init_pip(Firmware& fw) {
    Payload& size = fw.payload("pip-size");
    size[0] = 0;
    put_field(size, 1, kPresetSizes[0].width);
    put_field(size, 3, kPresetSizes[0].height);
    fw.payload("pip-position")[0] = 0;
    place_preset(fw);
}

bool handle_pip(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32 || req.opcode() != 3) return false;
    const DisplaySetting* setting = fw.setting_for_set(req.group(), req.item());
    const std::string_view name = setting != nullptr ? setting->name : "";
    const uint8_t selector = req.bytes[7];
    if (name == "pip-size") {
        if (selector > kCustomSize) {
            reply = answer(req, 1);
            return true;
        }
        Payload& size = fw.payload(name);
        size = {};
        size[0] = selector;
        const Size s = selector == kCustomSize
                           ? Size{static_cast<int16_t>(req.bytes[8] | (req.bytes[9] << 8)),
                                  static_cast<int16_t>(req.bytes[10] | (req.bytes[11] << 8))}
                           : kPresetSizes[selector];
        put_field(size, 1, s.width);
        put_field(size, 3, s.height);
        place_preset(fw);
        reply = answer(req, 0);
        return true;
    }
    if (name == "pip-position") {
        if (selector > kCustomPosition) {
            reply = answer(req, 1);
            return true;
        }
        Payload& position = fw.payload(name);
        position = {};
        std::copy(req.bytes.begin() + 7, req.bytes.begin() + 12, position.begin());
        place_preset(fw);
        reply = answer(req, 0);
        return true;
    }
    return false;
}

QV_FIRMWARE_FAMILY(pip, NoState, kPipSettings, init_pip, handle_pip);

}  // namespace qv::sim
