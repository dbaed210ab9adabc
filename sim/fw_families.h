// The family firmware files. Each states the settings its pages accept (display_settings.h),
// sets up what its factory state needs beyond their initial values (init_<family>) and handles
// the requests that go beyond storing and returning a setting's payload (handle_<family>, true
// when it answered the request); <family>_firmware gathers the three for firmware.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/display_settings.h"

namespace qv::sim {

class Firmware;
struct Reply;
struct Request;

#define QV_SIM_FAMILY(name)                                                                        \
    void init_##name(Firmware& fw);                                                                \
    bool handle_##name(Firmware& fw, const Request& req, Reply& reply);                            \
    extern const FamilyFirmware name##_firmware;

QV_SIM_FAMILY(link)
QV_SIM_FAMILY(guards)
QV_SIM_FAMILY(colour)
QV_SIM_FAMILY(inputs)
QV_SIM_FAMILY(image)
QV_SIM_FAMILY(markers)
QV_SIM_FAMILY(pip)
QV_SIM_FAMILY(presets)
QV_SIM_FAMILY(power)
QV_SIM_FAMILY(clock)
QV_SIM_FAMILY(network)
QV_SIM_FAMILY(identity)
QV_SIM_FAMILY(buttons)
QV_SIM_FAMILY(test_pattern)
QV_SIM_FAMILY(transfer)

#undef QV_SIM_FAMILY

// Where the status byte of a reply sits for this opcode.
std::size_t status_position(uint8_t opcode);

}  // namespace qv::sim
