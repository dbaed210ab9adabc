// What each family's firmware keeps beyond the stored setting payloads. Each family owns its
// own header and struct; this file only gathers them.
#pragma once

#include "sim/fw_link.h"
#include "sim/fw_guards.h"
#include "sim/fw_colour.h"
#include "sim/fw_inputs.h"
#include "sim/fw_image.h"
#include "sim/fw_markers.h"
#include "sim/fw_pip.h"
#include "sim/fw_presets.h"
#include "sim/fw_power.h"
#include "sim/fw_clock.h"
#include "sim/fw_network.h"
#include "sim/fw_identity.h"
#include "sim/fw_buttons.h"
#include "sim/fw_test_pattern.h"
#include "sim/fw_transfer.h"

namespace qv::sim {

struct FamilyState {
    LinkState link;
    GuardsState guards;
    ColourState colour;
    InputsState inputs;
    ImageState image;
    MarkersState markers;
    PipState pip;
    PresetsState presets;
    PowerState power;
    ClockState clock;
    NetworkState network;
    IdentityState identity;
    ButtonsState buttons;
    TestPatternState test_pattern;
    TransferState transfer;
};

}  // namespace qv::sim
