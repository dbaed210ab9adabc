// The real libusb backend on the emulated kernel bus over a long run and through broken links:
// many scan/connect/disconnect cycles leave no descriptor, thread or handle behind; the display
// pulled out or stalled at any transfer of an exchange, an upload or a download fails the call
// within the protocol's time bound (a download keeps the chunks that arrived); once the display
// is back a new Scan and Connect work; and a host may go on calling the library after the
// release that runs at unload.
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "gadget_usb/usb_backend.h"
#include "umockdev/usb_fixture.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class UsbRobustness : public UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        plug_displays(1);
        char templ[] = "/tmp/qvusbrobustXXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
        fs::create_directory(target = root / "target");
        for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 13 + 1);
        std::ofstream(root / "up.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }
    void TearDown() override {
        if (!root.empty()) fs::remove_all(root);
        UsbTest::TearDown();
    }
    int run(const std::string& call) {
        if (call == "exchange") {
            char serial[11] = {};
            return GetDisplaySerialNumber(serial);
        }
        if (call == "upload") return SendFileToDisplay(1, (root / "up.bin").c_str());
        usb().with_display(0, [&](EmulatedDisplay& d) { d.firmware.state.transfer.files[3] = {{"down.bin", content, false}}; });
        return GetFileFromDisplay(3, target.c_str());
    }
    Bytes received() {
        std::ifstream in(target / "down.bin", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    Bytes content = Bytes(300);
    fs::path root, target;
};

TEST_F(UsbRobustness, ManyScanConnectDisconnectCyclesLeaveNothingOpen) {
    constexpr int kCycles = 1000;
    LogMessage = 0;
    // The first scan starts what libusb keeps for the process (its event descriptors and
    // hot-plug thread); from then on every cycle returns to the same point.
    ASSERT_EQ(scan(), 1);
    const std::size_t descriptors = UsbTestbed::stable_entries("/proc/self/fd");
    const std::size_t threads = UsbTestbed::stable_entries("/proc/self/task");
    output_of([&] {
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            char serials[36] = {};
            ASSERT_EQ(Scan(serials), 1) << cycle;
            ASSERT_EQ(Connect(0), RC_OK) << cycle;
            ASSERT_EQ(qv::libusb_open_handles(), 1u) << cycle;
            ASSERT_EQ(Disconnect(), RC_OK) << cycle;
        }
    });
    EXPECT_EQ(qv::libusb_open_handles(), 0u);
    EXPECT_EQ(usb().open_device_files(), 0);
    EXPECT_EQ(UsbTestbed::settled_entries("/proc/self/fd", descriptors), descriptors);
    EXPECT_EQ(UsbTestbed::settled_entries("/proc/self/task", threads), threads);
    EXPECT_EQ(seen(0, &EmulatedDisplay::urbs_in_flight), 0);
}

// What the library does when it is unloaded, with a display connected; the host then keeps
// calling it (from its own exit handlers, say): calls fail cleanly, and a new Scan and Connect
// start libusb again.
TEST_F(UsbRobustness, HostKeepsCallingAfterTheReleaseAtUnload) {
    connect_first();
    LogMessage = 0;
    qv::libusb_release();
    EXPECT_EQ(std::make_tuple(ConnectFlag, g_glimmetHandle, int{m_claimed_interface}),
              std::make_tuple(0, nullptr, 0));
    EXPECT_EQ(usb().open_device_files(), 0);
    EXPECT_EQ(qv::libusb_open_handles(), 0u);
    char serial[11] = "untouched";
    EXPECT_EQ(GetDisplaySerialNumber(serial), RC_EXCHANGE_FAILED);
    EXPECT_STREQ(serial, "untouched");
    EXPECT_EQ(Disconnect(), RC_OK);
    output_of([] { EXPECT_EQ(Connect(0), RC_OK) << "the slot recorded before the release"; });
    EXPECT_EQ(GetDisplaySerialNumber(serial), RC_OK);
    EXPECT_STREQ(serial, "QVUSB00001");
    qv::libusb_release();
    EXPECT_EQ(scan(), 1);
    output_of([] { EXPECT_EQ(Connect(0), RC_OK); });
    EXPECT_EQ(Disconnect(), RC_OK);
}

// The display pulled out (ENODEV: the transfer in flight completes as shut down) or its
// endpoints stalled (EPIPE) at each bulk transfer of a call. (A display that stops answering
// is the port and exchange tests': every empty attempt costs its second.)
TEST_F(UsbRobustness, LinkBreaksAtEveryTransferOfEveryKindOfCall) {
    // An exchange is one write and one read; an upload three; a download four (count, chunks).
    const std::pair<std::string, int> calls[] = {{"exchange", 2}, {"upload", 6}, {"download", 8}};
    // The longest an exchange may take (10 s read timeout): 5 s write, ten attempts of up to
    // two transfers and a 1 s pause; a download also pauses 100 ms after each of its chunks.
    constexpr uint64_t kBoundUs = (5 + 10 * (2 * 10 + 1)) * 1'000'000ull + 300'000ull;
    uint8_t address = 2;
    for (const int error : {ENODEV, EPIPE}) {
        for (const auto& [call, transfers] : calls) {
            for (int at = 1; at <= transfers; ++at) {
                SCOPED_TRACE(call + " breaks at transfer " + std::to_string(at) + " with errno " + std::to_string(error));
                connect_first();
                LogMessage = 0;
                usb().with_display(0, [&](EmulatedDisplay& d) { d.break_at_urb = at, d.break_errno = error; });
                const uint64_t start = clock.now_us();
                output_of([&] { EXPECT_EQ(run(call), RC_EXCHANGE_FAILED); });
                EXPECT_LE(clock.now_us() - start, kBoundUs);
                // Every chunk answered before the break stays in the file, under its own name.
                const int chunks = call == "download" && at > 4 ? (at - 3) / 2 : 0;
                if (chunks == 0)
                    EXPECT_TRUE(fs::is_empty(target)) << "nothing written";
                else
                    EXPECT_EQ(received(), Bytes(content.begin(), content.begin() + 128 * chunks));
                EXPECT_EQ(seen(0, &EmulatedDisplay::urbs_in_flight), 0);
                output_of([&] { EXPECT_EQ(Disconnect(), error == ENODEV ? RC_FAILED : RC_OK); });
                if (error == ENODEV) {
                    usb().replug(0, ++address);
                } else {
                    usb().with_display(0, [](EmulatedDisplay& d) { d.stalled = false; d.bridge.clear(); });
                }
                ASSERT_EQ(scan(), 1);
                EXPECT_EQ(usb().open_device_files(), 0) << "the handle of the broken link is closed";
                output_of([] { EXPECT_EQ(Connect(0), RC_OK); });
                EXPECT_EQ(run(call), RC_OK);
                if (call == "download") {
                    EXPECT_EQ(received(), content);
                } else if (call == "upload") {
                    EXPECT_EQ(seen(0, [](const EmulatedDisplay& d) { return d.firmware.state.transfer.files.at(3).back().data; }),
                              content);
                }
                EXPECT_EQ(Disconnect(), RC_OK);
                fs::remove_all(target);
                fs::create_directory(target);
            }
        }
    }
    EXPECT_EQ(usb().open_device_files(), 0);
}

}  // namespace
}  // namespace qvtest
