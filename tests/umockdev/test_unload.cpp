// Unloading the library gives back what it took of libusb: the default context that every Scan
// initialises (with its event descriptors and its hot-plug thread) and the handle of a display
// left connected. The library is loaded with dlopen on the emulated bus; after each unload the
// process holds the same descriptors and threads as before the load.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "quorvex.h"
#include "sim/umockdev/usb_testbed.h"
#include "sim/virtual_clock.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

bool library_mapped() {
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)), {});
    return text.find(fs::path(QUORVEX_LIBRARY).filename().string()) != std::string::npos;
}

// The library's entry points in one loaded copy.
struct Loaded {
    void* handle = dlopen(QUORVEX_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F* get(const char* name) { return reinterpret_cast<F*>(dlsym(handle, name)); }
};

// Loads the library, connects the display and unloads it with the display still connected.
void connected_then_unloaded(UsbTestbed& usb) {
    Loaded lib;
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    *lib.get<uint8_t>("LogMessage") = 0;
    char serials[36] = {};
    std::fflush(stdout);
    ASSERT_EQ(lib.get<int(char*)>("Scan")(serials), 1);  // "Moniter Type is 2" each connect
    ASSERT_EQ(lib.get<int(int8_t)>("Connect")(0), RC_OK);
    std::fflush(stdout);
    EXPECT_EQ(usb.open_device_files(), 1);
    EXPECT_EQ(dlclose(lib.handle), 0);
    EXPECT_FALSE(library_mapped()) << "the library stayed loaded: its release never ran";
    EXPECT_EQ(usb.open_device_files(), 0);
}

TEST(Unload, GivesBackLibusbContextAndHandle) {
    UsbTestbed& usb = UsbTestbed::instance();
    if (!usb.emulating()) {
        if (std::getenv("QUORVEX_UMOCKDEV_REQUIRED") != nullptr) FAIL() << "not running under umockdev-wrapper";
        GTEST_SKIP() << "run under umockdev-wrapper to emulate the USB bus";
    }
    qv::sim::VirtualClock clock;
    usb.reset(&clock);
    usb.add_root_hub(1);
    usb.add_display(1, 1, 2, qv::sim::FirmwareConfig{});

    // The first round also starts what the emulation itself keeps for the process.
    connected_then_unloaded(usb);
    const std::size_t descriptors = UsbTestbed::stable_entries("/proc/self/fd");
    const std::size_t threads = UsbTestbed::stable_entries("/proc/self/task");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        connected_then_unloaded(usb);
        EXPECT_EQ(UsbTestbed::settled_entries("/proc/self/fd", descriptors), descriptors);
        EXPECT_EQ(UsbTestbed::settled_entries("/proc/self/task", threads), threads);
    }
    usb.reset(nullptr);
    UsbTestbed::shutdown();
}

}  // namespace
}  // namespace qvtest
