// The display's image-processing settings. Plain settings are rows of table/image.def (the
// build writes their functions out, each under its row's mode guard); the image scaling departs
// from the frame and follows. Nothing here talks to the display before the mode read.
#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"

namespace {

// Image scaling: aspect-ratio mode in byte 7, pixel status in byte 8.
constexpr int kScalingGroupGet = 3;
constexpr int kScalingGroupSet = 2;
constexpr int kScalingItem = 0;
constexpr uint8_t kAspectLast = 7;
constexpr uint8_t kAspectNotOnOtherTypes = 3;  // offered only by monitor type 2
constexpr uint8_t kAspectPixelMode = 7;        // on monitor type 2 this mode has a pixel status
constexpr uint8_t kMonitorTypeWithPixelMode = 2;

// The timings at which monitor type 2 offers pixel status 1 in the pixel mode.
bool pixel_timing(int16_t width, int16_t height) {
    return (width == 1280 && height == 720) || (width == 1920 && height == 1080) ||
           (width == 2048 && height == 1080);
}

int refuse_scaling(const char* fn) {
    qv::log("<ERROR> %s: Validation Failed.\n", fn);
    return RC_INVALID_ARGUMENT;
}

}  // namespace

extern "C" {

QV_API int GetImageScaling(uint8_t* aspectRatio, uint8_t* pixelStatus) noexcept {
    if (aspectRatio == nullptr || pixelStatus == nullptr) return RC_INVALID_ARGUMENT;
    static constexpr const char* fn = "GetImageScaling";
    int16_t width = 0;
    int16_t height = 0;
    if (const int rc = GetImageAdjustmentMode(&width, &height); rc != RC_OK) return rc;
    uint8_t packet[qv::kSettingPacketSize];
    if (const int rc = qv::exchange_get(fn, packet, kScalingGroupGet, kScalingItem); rc != RC_OK)
        return rc;
    *aspectRatio = packet[qv::kPayload];
    // The pixel status means something only in the pixel mode of monitor type 2 at the timings
    // that offer it; otherwise the caller's byte is left as it was.
    if (gu8MonitorType == kMonitorTypeWithPixelMode && *aspectRatio == kAspectPixelMode &&
        pixel_timing(width, height))
        *pixelStatus = packet[qv::kPayload + 1];
    qv::log("Aspect Ratio = %d \n", *aspectRatio);
    qv::log("Pixel Status = %d \n", *pixelStatus);
    return RC_OK;
}

QV_API int SetImageScaling(uint8_t aspectRatio, uint8_t pixelStatus) noexcept {
    static constexpr const char* fn = "SetImageScaling";
    int16_t width = 0;
    int16_t height = 0;
    if (const int rc = GetImageAdjustmentMode(&width, &height); rc != RC_OK) return rc;
    if (const int rc = qv::validate(fn, aspectRatio, 0, kAspectLast); rc != RC_OK) return rc;
    if (gu8MonitorType != kMonitorTypeWithPixelMode) {
        if (aspectRatio == kAspectNotOnOtherTypes) return refuse_scaling(fn);
    } else if (aspectRatio == kAspectPixelMode) {
        if (height == 2160) return refuse_scaling(fn);
        if (const int rc = qv::validate(fn, pixelStatus, 0, 1); rc != RC_OK) return rc;
        if (pixelStatus == 1 && !pixel_timing(width, height)) return refuse_scaling(fn);
    }
    // Outside the pixel mode of monitor type 2 the pixel status goes out as given.
    uint8_t packet[qv::kSettingPacketSize];
    qv::build_setting_packet(packet, qv::kOpSet, kScalingGroupSet, kScalingItem);
    packet[qv::kPayload] = aspectRatio;
    packet[qv::kPayload + 1] = pixelStatus;
    return qv::exchange(fn, packet);
}

}  // extern "C"
