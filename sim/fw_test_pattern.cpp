// The simulated display's test patterns.
//
// Three commands of their own drive the mode: opcode 17 switches it on (byte 4 = 3) or off
// (byte 4 = 0), opcode 16 shows a flat colour (byte 4 = 2, levels at bytes 7-9) and opcode 18 a
// built-in pattern (byte 4 = 1, number at byte 7; number 10 ends the built-in pattern). Colours
// and patterns are refused while the mode is off. The status is read with an ordinary get.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

namespace {

constexpr uint8_t kOpUserColour = 16;
constexpr uint8_t kOpMode = 17;
constexpr uint8_t kOpServicePattern = 18;
constexpr uint8_t kEndBuiltIn = 10;

Reply answer(const Request& req, uint8_t status) {
    Reply r = echo(req.bytes.data(), 32);
    r.bytes[6] = status;
    return r;
}

}  // namespace

// What this display accepts on the test pattern family's pages.
constexpr DisplaySetting kTestPatternSettings[] = {
    byte("test-pattern", {16, 2}, none),
};

void init_test_pattern(Firmware& fw) { fw.set_u8("test-pattern", kTestPatternOff); }

bool handle_test_pattern(Firmware& fw, const Request& req, Reply& reply) {
    const uint8_t op = req.opcode();
    if (req.bytes.size() < 32 || (op != kOpUserColour && op != kOpMode && op != kOpServicePattern))
        return false;
    TestPatternState& s = fw.state.test_pattern;
    const uint8_t status = fw.u8("test-pattern");
    const uint8_t variant = req.bytes[4];
    const auto& b = req.bytes;

    if (op == kOpMode && (variant == 3 || variant == 0)) {
        fw.set_u8("test-pattern", variant == 3 ? kTestPatternReady : kTestPatternOff);
        ++s.mode_changes;
        reply = answer(req, 0);
    } else if (op == kOpUserColour && variant == 2) {
        if (status == kTestPatternOff) {
            reply = answer(req, 1);
        } else {
            s.colour = {b[7], b[8], b[9]};
            fw.set_u8("test-pattern", kTestPatternUserColour);
            reply = answer(req, 0);
        }
    } else if (op == kOpServicePattern && variant == 1) {
        if (status == kTestPatternOff || b[7] > kEndBuiltIn) {
            reply = answer(req, 1);
        } else if (b[7] == kEndBuiltIn) {
            fw.set_u8("test-pattern", kTestPatternReady);
            reply = answer(req, 0);
        } else {
            s.pattern = b[7];
            fw.set_u8("test-pattern", kTestPatternBuiltIn);
            reply = answer(req, 0);
        }
    } else {
        reply = answer(req, 0xFF);
    }
    return true;
}

QV_FIRMWARE_FAMILY(test_pattern, TestPatternState, kTestPatternSettings, init_test_pattern,
                   handle_test_pattern);

}  // namespace qv::sim
