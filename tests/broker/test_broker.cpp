// quorvexd from the outside: a daemon on simulated displays (virtual clock) on a socket in a
// fresh folder, reached through the library as any application reaches it, and by hand as a
// careless or hostile client would.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "broker/daemon_client.h"
#include "quorvex.h"
#include "support/sim_fixture.h"

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;
using qvtest::Daemon;
using qvtest::Raw;

// The library of this process, reaching the displays through the daemon.
class Broker : public ::testing::Test {
protected:
    void use(const Daemon& daemon) {
        qvtest::reset_library_state();
        LogMessage = 0;
        unsetenv("QUORVEX_SIMULATE");
        setenv("QUORVEX_SOCKET", daemon.socket().c_str(), 1);
    }
    void TearDown() override {
        Disconnect();
        unsetenv("QUORVEX_SOCKET");
    }
    static int scan() {
        char serials[36] = {};
        return Scan(serials);
    }
    static int luminance() {
        int16_t v = -1;
        const int rc = GetDisplayLuminance(&v);
        return rc == RC_OK ? v : rc;
    }
};

TEST_F(Broker, DescribesItselfWithTheShippedFiles) {
    Daemon daemon("displays=1,clock=virtual");
    Raw raw(daemon.socket());
    const Json info = raw.call("org.varlink.service.GetInfo")["parameters"];
    EXPECT_EQ(info["interfaces"], Json::array({"org.varlink.service", "io.quorvex.Link", "io.quorvex.Display"}));
    std::ifstream file(QUORVEXD_SOURCE "/io.quorvex.Link.varlink");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(raw.call("org.varlink.service.GetInterfaceDescription", {{"interface", "io.quorvex.Link"}})["parameters"]["description"],
              text.str());
    EXPECT_EQ(raw.call("org.varlink.service.GetInterfaceDescription", {{"interface", "io.quorvex.Nothing"}})["error"],
              "org.varlink.service.InterfaceNotFound");
    EXPECT_EQ(raw.call("io.quorvex.Link.Fly")["error"], "org.varlink.service.MethodNotFound");
    const Json refused = raw.call("io.quorvex.Link.Hello", {{"version", QUORVEX_LINK_VERSION + 1}});
    EXPECT_EQ(refused["error"], "io.quorvex.Link.VersionMismatch");
    EXPECT_EQ(refused["parameters"]["served"], QUORVEX_LINK_VERSION);
}

TEST_F(Broker, AnApplicationUsesTheDisplaysUnchanged) {
    Daemon daemon("displays=2,serial2=BROKER0002,clock=virtual");
    use(daemon);
    char serials[36] = {};
    ASSERT_EQ(Scan(serials), 2);
    EXPECT_STREQ(serials + 12, "BROKER0002");
    ASSERT_EQ(Connect(1), RC_OK);
    EXPECT_NE(g_glimmetHandle, nullptr);
    EXPECT_EQ(SetDisplayLuminance(77), RC_OK);
    EXPECT_EQ(luminance(), 77);
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(luminance(), 120);  // displays are kept apart
    EXPECT_EQ(Disconnect(), RC_OK);
    EXPECT_EQ(g_glimmetHandle, nullptr);
}

TEST_F(Broker, NoBrokerWhereOneIsNamedIsAFailureNotAFallback) {
    qvtest::reset_library_state();
    unsetenv("QUORVEX_SIMULATE");
    setenv("QUORVEX_SOCKET", "/nonexistent/quorvexd/socket", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(scan(), RC_USB_UNAVAILABLE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no display broker at QUORVEX_SOCKET='/nonexistent/quorvexd/socket'"),
              std::string::npos);
}

TEST_F(Broker, ABrokerThatGoesAwayFailsCallsAsAPulledDisplayAndTheNextScanFindsTheNextOne) {
    auto daemon = std::make_unique<Daemon>("displays=1,clock=virtual");
    use(*daemon);
    ASSERT_EQ(scan(), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    const std::string socket = daemon->socket();
    daemon.reset();
    EXPECT_EQ(luminance(), RC_EXCHANGE_FAILED);
    Daemon again("displays=1,clock=virtual");
    use(again);
    ASSERT_EQ(scan(), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(luminance(), 120);
}

TEST_F(Broker, TwoProcessesChangeOneDisplayAtOnceAndNothingIsLost) {
    Daemon daemon("displays=1,clock=virtual");
    constexpr int kRounds = 150;
    // Each process sets its own setting again and again and reads it back; a reply that went to
    // the wrong process would show as a wrong value.
    auto worker = [&](bool osd) {
        use(daemon);
        if (scan() != 1 || Connect(0) != RC_OK) _exit(10);
        for (int i = 0; i < kRounds; ++i) {
            const int16_t want = osd ? static_cast<int16_t>(5 + 5 * (i % 12)) : static_cast<int16_t>(48 + i);
            if ((osd ? SetOSDTimeout(static_cast<uint8_t>(want)) : SetDisplayLuminance(want)) != RC_OK) _exit(11);
            int16_t got = 0;
            uint8_t got8 = 0;
            const int rc = osd ? GetOSDTimeout(&got8) : GetDisplayLuminance(&got);
            if (rc != RC_OK || (osd ? got8 : got) != want) _exit(12);
        }
        _exit(0);
    };
    pid_t children[2];
    for (int k = 0; k < 2; ++k) {
        children[k] = fork();
        if (children[k] == 0) worker(k == 1);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    use(daemon);
    ASSERT_EQ(scan(), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    uint8_t osd = 0;
    EXPECT_EQ(luminance(), 48 + kRounds - 1);
    EXPECT_EQ(GetOSDTimeout(&osd), RC_OK);
    EXPECT_EQ(osd, 5 + 5 * ((kRounds - 1) % 12));
}

TEST_F(Broker, ALongCommandFailsOtherClientsAtOnceAndScansSkipTheDisplay) {
    Daemon daemon("displays=2,clock=virtual");
    use(daemon);
    ASSERT_EQ(scan(), 2);
    ASSERT_EQ(Connect(0), RC_OK);
    Raw calibrating(daemon.socket());
    const long h = calibrating.claim_first();
    const Json began = calibrating.write(h, 35);  // recalibrate: a reply in minutes
    ASSERT_EQ(began["parameters"]["result"], 0) << began;
    testing::internal::CaptureStdout();
    EXPECT_EQ(luminance(), RC_EXCHANGE_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<ERROR> RegUsbApi: Could not Write usb.\n");
    char serials[36] = {};
    ASSERT_EQ(Scan(serials), 1);
    EXPECT_STREQ(serials, "QVSIM00002");
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(luminance(), 120);  // the other display answers
    // The calibrating client goes: its reply is read and dropped, and the display comes back.
    calibrating.call("io.quorvex.Link.Close", {{"handle", h}});
    int found = 0;
    for (int i = 0; i < 200 && (found = Scan(serials)) != 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(found, 2);
}

TEST_F(Broker, ReadOnlyRefusesChangesWithAReplyStatusAndSaysWho) {
    Daemon daemon("displays=1,clock=virtual", {"--read-only"});
    use(daemon);
    ASSERT_EQ(scan(), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(SetDisplayLuminance(60), RC_DEVICE_STATUS);
    EXPECT_EQ(luminance(), 120);
    EXPECT_NE(daemon.log().find("refused command 3 to uid " + std::to_string(getuid()) + " pid " + std::to_string(getpid())),
              std::string::npos)
        << daemon.log();
}

TEST_F(Broker, NoClientCanHangOrStarveTheOthers) {
    Daemon daemon("displays=1,clock=virtual");
    daemon.wait_for_displays(1);  // its display worker connected
    const std::size_t descriptors = daemon.open_descriptors();
    {
        // Malformed and oversized messages: an error, then the connection ends.
        Raw garbage(daemon.socket());
        garbage.send_text(std::string("{not json") + '\0');
        EXPECT_EQ(garbage.receive()["error"], "org.varlink.service.InvalidParameter");
        EXPECT_EQ(garbage.receive(), nullptr);
        Raw huge(daemon.socket());
        huge.send_text("{\"method\":\"" + std::string(200 * 1024, 'x'));
        EXPECT_EQ(huge.receive()["error"], "org.varlink.service.InvalidParameter");
        EXPECT_EQ(huge.receive(), nullptr);
    }
    // One that never reads its replies, one gone in the middle of an exchange and one in the
    // middle of an upload's chunks.
    Raw deaf(daemon.socket());
    for (int i = 0; i < 400; ++i)
        deaf.send({{"method", "org.varlink.service.GetInterfaceDescription"}, {"parameters", {{"interface", "io.quorvex.Link"}}}});
    for (const int opcode : {8, 24}) {
        Raw gone(daemon.socket());
        EXPECT_EQ(gone.write(gone.claim_first(), static_cast<uint8_t>(opcode))["parameters"]["result"], 0);
    }
    for (int i = 0; i < 1000; ++i) Raw dropped(daemon.socket());
    use(daemon);
    ASSERT_EQ(scan(), 1);
    ASSERT_EQ(Connect(0), RC_OK);
    EXPECT_EQ(luminance(), 120);
    Disconnect();
    for (int i = 0; i < 100 && daemon.open_descriptors() > descriptors + 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_LE(daemon.open_descriptors(), descriptors + 1);  // this process's own connection
    EXPECT_NE(daemon.log().find("does not read its replies; disconnected"), std::string::npos);
}

}  // namespace
