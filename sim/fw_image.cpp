// The simulated display's image-processing settings. All of them are plain stored values (the
// image scaling keeps its aspect-ratio mode in byte 7 and its pixel status in byte 8); this file
// gives them the values a display leaves the factory with.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_image(Firmware& fw) {
    fw.payload("image-scaling")[0] = 0;  // aspect-ratio mode
    fw.payload("image-scaling")[1] = 0;  // pixel status
    fw.set_u8("dci-image-region", 0);
    fw.set_u8("show-cropped-region", 0);
    fw.set_u8("cropped-region-opacity", 50);
    fw.set_u8("video-legal", 0);
    fw.set_u8("overscan", 0);
    fw.set_u8("blue-channel", 0);
    fw.set_u8("overdrive", 1);
    fw.set_u8("deinterlacer", 1);
    fw.set_u8("cadence-detection", 1);
}

bool handle_image(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

}  // namespace qv::sim
