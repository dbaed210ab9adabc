// QUORVEX_SIMULATE's state=FILE: what a state file may hold, what happens when the state cannot
// be saved, and several processes sharing one file.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/sim_config.h"
#include "sim/sim_state_file.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string read_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

class StateFile : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        char pattern[] = "/tmp/quorvex-state-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        state = dir / "state.json";
        SetLog(0);
    }
    void TearDown() override {
        Disconnect();
        unsetenv("QUORVEX_SIMULATE");
        SimTest::TearDown();
        fs::remove_all(dir);
    }
    // Selects two simulated displays kept in `file`; returns what Scan returned. (Another text
    // for the same displays builds displays of its own in this process.)
    int use(const fs::path& file, std::string* errors = nullptr, const std::string& displays = "displays=2,clock=virtual") {
        setenv("QUORVEX_SIMULATE", (displays + ",state=" + file.string()).c_str(), 1);
        char serials[36];
        testing::internal::CaptureStderr();
        StdoutCapture quiet;
        const int found = Scan(serials);
        quiet.stop();
        const std::string err = testing::internal::GetCapturedStderr();
        if (errors != nullptr) *errors = err;
        return found;
    }
    // A valid state text with one value replaced; a value "@N@" becomes the bare number N.
    static std::string state_with(const std::function<void(Json&)>& change) {
        qv::sim::VirtualClock clock;
        qv::sim::SimBus bus({{}, {}}, clock);
        Json json = Json::parse(qv::sim::state_text(bus));
        change(json["displays"][0]);
        std::string text = json.dump(1);
        for (std::size_t at = text.find("\"@"); at != std::string::npos; at = text.find("\"@", at)) {
            const std::size_t end = text.find("@\"", at + 2);
            text.replace(at, end + 2 - at, text.substr(at + 2, end - at - 2));
        }
        return text;
    }

    fs::path dir, state;
};

// A state file that is not what the display can hold fails the scan with one line that names
// the file and what is wrong; nothing of it reaches the displays and nothing aborts.
TEST_F(StateFile, BadFilesFailTheScanWithOneLine) {
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> make;  // the file to use, made in this directory
        std::string says;
    };
    const auto text = [](std::string content) {
        return [content](const fs::path& d) {
            write_text(d / "bad.json", content);
            return d / "bad.json";
        };
    };
    const auto value = [&](std::function<void(Json&)> change) { return text(state_with(change)); };
    const Case cases[] = {
        {"1e10 for a 16-bit value", value([](Json& d) { d["pip_size"][0] = "@1e10@"; }),
         "displays[0].pip_size[0]: 10000000000.0 is not a whole number in -32768..32767"},
        {"70000 for a byte", value([](Json& d) { d["network"]["address"][2] = 70000; }),
         "displays[0].network.address[2]: 70000 is not a whole number in 0..255"},
        {"out of the display's range", value([](Json& d) { d["colour"]["gains"][1] = 1024; }),
         "displays[0].colour.gains[1]: 1024 is not a whole number in 0..1023"},
        {"negative for a byte", value([](Json& d) { d["presets"][3]["color_space"] = -1; }),
         "displays[0].presets[3].color_space: -1 is not"},
        {"wrong type", value([](Json& d) { d["power"]["factory_resets"] = "three"; }),
         "displays[0].power.factory_resets: \"three\" is not a whole number"},
        {"wrong type of record", value([](Json& d) { d["inputs"][1] = 7; }), "displays[0].inputs[1]: 7 is not an object"},
        {"missing field", value([](Json& d) { d["network"].erase("gateway"); }),
         "displays[0].network: \"gateway\" is missing"},
        {"list of the wrong length", value([](Json& d) { d["colour"]["offsets"] = {1, 2}; }),
         "displays[0].colour.offsets: a list of 3 values is needed"},
        {"payload not hexadecimal", value([](Json& d) { d["payloads"]["luminance"] = std::string(50, 'z'); }),
         "displays[0].payloads.luminance: not 50 hexadecimal digits"},
        {"unknown setting", value([](Json& d) { d["payloads"]["brightness"] = std::string(50, '0'); }),
         "no setting named brightness"},
        {"text too long", value([](Json& d) { d["identity"][1][0] = std::string(101, 'x'); }),
         "displays[0].identity[1][0]: a text longer than 100 bytes"},
        {"file-type code", value([](Json& d) { d["files"]["0x3"] = Json::array(); }), "0x3 is not a file-type code"},
        {"1e400", value([](Json& d) { d["colour"]["gains"][0] = "@1e400@"; }), ": a number too large"},
        {"-1e400", value([](Json& d) { d["power"]["factory_resets"] = "@-1e400@"; }), ": a number too large"},
        {"syntax", text("{\n  \"format\": \"quorvex-sim-state/1\",\n  \"displays\": [}\n"),
         ": line 3, column 16: not valid JSON"},
        {"endless nesting", text(std::string(100000, '[')), ": line 1, column 33: nested more than 32 levels deep"},
        {"an endless file", [](const fs::path&) { return fs::path("/dev/zero"); }, "is a character device, not a regular file"},
        {"a directory", [](const fs::path& d) { return d; }, "is a directory, not a regular file"},
        {"a FIFO",
         [](const fs::path& d) {
             mkfifo((d / "fifo").c_str(), 0600);
             return d / "fifo";
         },
         "is a FIFO, not a regular file"},
        {"a huge file",
         [](const fs::path& d) {
             write_text(d / "huge.json", "");
             fs::resize_file(d / "huge.json", qv::sim::kMaxStateBytes + 1);
             return d / "huge.json";
         },
         "is larger than 64 MiB"},
        {"a symbolic link",
         [](const fs::path& d) {
             write_text(d / "real.json", state_with([](Json&) {}));
             fs::create_symlink(d / "real.json", d / "link.json");
             return d / "link.json";
         },
         "is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path sub = dir / std::to_string(&c - cases);
        fs::create_directory(sub);
        const fs::path file = c.make(sub);
        std::string err;
        EXPECT_EQ(use(file, &err), RC_USB_UNAVAILABLE);
        EXPECT_NE(err.find("state file " + file.string()), std::string::npos) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

// A change that cannot be saved is refused by the display and taken back, and standard error
// says why.
TEST_F(StateFile, UnsaveableChangeIsRefusedAndTakenBack) {
    struct Case {
        const char* what;
        fs::path file;
        rlim_t file_size_limit;  // RLIM_INFINITY: none
    };
    const Case cases[] = {
        {"no directory", dir / "missing" / "state.json", RLIM_INFINITY},
        {"disk full", dir / "full.json", 4096},
    };
    signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(use(c.file), 2);
        ASSERT_EQ(Connect(0), RC_OK);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = c.file_size_limit;
        setrlimit(RLIMIT_FSIZE, &limited);
        testing::internal::CaptureStderr();
        const int rc = SetDisplayLuminance(200);
        const std::string err = testing::internal::GetCapturedStderr();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(rc, RC_DEVICE_STATUS);
        EXPECT_NE(err.find("cannot save the simulated displays' state to " + c.file.string()), std::string::npos) << err;
        int16_t luminance = 0;
        EXPECT_EQ(GetDisplayLuminance(&luminance), RC_OK);
        EXPECT_EQ(luminance, 120) << "the display went back to what it had";
        EXPECT_FALSE(fs::exists(c.file));
        Disconnect();
    }
    signal(SIGXFSZ, SIG_DFL);
}

// A symbolic link planted at the name of the temporary file is passed over; the new state
// keeps the file's mode.
TEST_F(StateFile, PlantedLinkIsNeverFollowedAndTheModeStays) {
    ASSERT_EQ(use(state), 2);
    ASSERT_EQ(Connect(0), RC_OK);
    ASSERT_EQ(SetDisplayLuminance(150), RC_OK);
    fs::permissions(state, fs::perms(0640));
    write_text(dir / "victim", "untouched");
    fs::create_symlink(dir / "victim", fs::path(state.string() + ".tmp." + std::to_string(getpid())));
    ASSERT_EQ(SetDisplayLuminance(200), RC_OK);
    EXPECT_EQ(read_text(dir / "victim"), "untouched");
    struct stat st {};
    ASSERT_EQ(lstat(state.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    qv::sim::VirtualClock clock;
    qv::sim::SimBus saved({{}, {}}, clock);
    std::string error;
    ASSERT_TRUE(qv::sim::load_state_text(read_text(state), saved, &error)) << error;
    EXPECT_EQ(saved.firmware(0).s16("luminance"), 200);
}

// Two processes change different settings of one state file at the same time, each reading
// back its own after every change: none is lost, in the file or in either process, and a third
// that read the displays before sees both changes when it reads again.
TEST_F(StateFile, TwoProcessesNeverLoseEachOthersChanges) {
    constexpr int kRounds = 100;
    const auto luminance = [](int round) { return static_cast<int16_t>(48 + round % 200); };
    const auto timezone = [](int round) { return static_cast<uint8_t>(round % 46); };
    ASSERT_EQ(use(state), 2);
    pid_t children[2];
    for (int slot = 0; slot < 2; ++slot) {
        children[slot] = fork();
        ASSERT_GE(children[slot], 0);
        if (children[slot] != 0) continue;
        // Displays of its own in this process (another text), at the addresses the Scan above
        // recorded: a Scan here would skip the display the other process holds.
        int lost = 0;
        setenv("QUORVEX_SIMULATE", ("2,clock=virtual,state=" + state.string()).c_str(), 1);
        if (qv::select_and_init_usb() != RC_OK || Connect(static_cast<int8_t>(slot)) != RC_OK) _exit(2);
        for (int round = 0; round < kRounds; ++round) {
            if (slot == 0) {
                int16_t v = 0;
                lost += SetDisplayLuminance(luminance(round)) != RC_OK || GetDisplayLuminance(&v) != RC_OK ||
                        v != luminance(round);
            } else {
                uint8_t v = 0;
                lost += SetTimezone(timezone(round)) != RC_OK || GetTimezone(&v) != RC_OK || v != timezone(round);
            }
        }
        Disconnect();
        _exit(lost == 0 ? 0 : 1);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    ASSERT_EQ(use(state), 2);
    ASSERT_EQ(Connect(0), RC_OK);
    int16_t lum = 0;
    EXPECT_EQ(GetDisplayLuminance(&lum), RC_OK);
    EXPECT_EQ(lum, luminance(kRounds - 1));
    ASSERT_EQ(Connect(1), RC_OK);
    uint8_t zone = 0;
    EXPECT_EQ(GetTimezone(&zone), RC_OK);
    EXPECT_EQ(zone, timezone(kRounds - 1));
}

}  // namespace
}  // namespace qvtest
