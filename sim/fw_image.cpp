// The simulated display's image-processing settings. All of them are plain stored values (the
// image scaling keeps its aspect-ratio mode in byte 7 and its pixel status in byte 8); this file
// gives them the values a display leaves the factory with.
#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

// What this display accepts on the image family's pages.
constexpr DisplaySetting kImageSettings[] = {
    byte("dci-image-region", {3, 1}, {2, 1}).in(0, 2),
    byte("show-cropped-region", {3, 2}, {2, 2}).in(0, 1),
    byte("cropped-region-opacity", {3, 3}, {2, 3}).in(10, 80).step_of(10).starts(50),
    byte("video-legal", {3, 4}, {2, 4}).in(0, 1),
    byte("overscan", {3, 5}, {2, 5}).in(0, 1),
    byte("blue-channel", {3, 6}, {2, 6}).in(0, 1),
    byte("overdrive", {3, 7}, {2, 7}).in(0, 1).starts(1),
    byte("deinterlacer", {3, 8}, {2, 8}).in(0, 1).starts(1),
    byte("cadence-detection", {3, 9}, {2, 9}).in(0, 1).starts(1),
    record("image-scaling", {3, 0}, {2, 0}),
};

void init_image(Firmware& fw) {
    fw.payload("image-scaling")[0] = 0;  // aspect-ratio mode
    fw.payload("image-scaling")[1] = 0;  // pixel status
}

bool handle_image(Firmware& /*fw*/, const Request& /*req*/, Reply& /*reply*/) { return false; }

QV_FIRMWARE_FAMILY(image, NoState, kImageSettings, init_image, handle_image);

}  // namespace qv::sim
