// The family firmware files. Each states the settings its pages accept (display_settings.h),
// sets up what its factory state needs beyond their initial values (init_<family>) and handles
// the requests that go beyond storing and returning a setting's payload (handle_<family>, true
// when it answered the request); its QV_FIRMWARE_FAMILY line registers the three.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sim/display_settings.h"
#include "sim/family_state.h"

namespace qv::sim {

// Registers a family with the firmware; one line in the family's firmware file, at the start of
// the line, which the build collects into FamilyState (a member `<family>` of type State, or
// NoState when the family keeps nothing beyond stored payloads) and into kFamilies:
//     QV_FIRMWARE_FAMILY(colour, ColourState, kColourSettings, init_colour, handle_colour);
#define QV_FIRMWARE_FAMILY(family, State, settings, init, handle)                                 \
    static_assert(std::is_same_v<decltype(FamilyState::family), State>,                          \
                  "re-run cmake: the build has not collected this registration yet");            \
    extern const FamilyFirmware family##_firmware{#family, settings, init, handle}

// Where the status byte of a reply sits for this opcode.
std::size_t status_position(uint8_t opcode);

}  // namespace qv::sim
