// quorvexctl's names, values, errors and exit statuses, run as a user runs it.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "run_tool.h"

namespace cli_test {
namespace {

constexpr const char* kSim = "displays=2,type2=1,clock=virtual";

Result run(const std::vector<std::string>& args, const std::string& simulate = kSim) {
    return quorvexctl(args, simulate);
}

// Keeps one run's changes for the next: the simulated displays live in a state file.
struct Persistent {
    TempDir dir;
    std::string simulate = std::string(kSim) + ",state=" + (dir / "state.json");
    Result operator()(const std::vector<std::string>& args) const { return run(args, simulate); }
};

// (What each entry holds is the Python package's settings data, checked to be this list.)
TEST(CliList, JsonListsEverySettingOnce) {
    const Result r = run({"list", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> names;
    for (const auto& s : r.json()) EXPECT_TRUE(names.insert(s["name"].get<std::string>()).second) << s["name"];
    EXPECT_TRUE(names.count("date-time") && names.count("ip-config") && names.count("input-name"));
    // Nothing is left to the library alone any more.
    EXPECT_EQ(run({"list"}).out.find("library only"), std::string::npos);
}

TEST(CliList, PrerequisitesComeBeforeWhatTheyGuard) {
    const auto list = run({"list", "--json"}).json();
    auto position = [&](const std::string& name) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i]["name"] == name) return i;
        ADD_FAILURE() << name << " not listed";
        return std::size_t{0};
    };
    EXPECT_LT(position("pip"), position("pip-mode"));
    EXPECT_LT(position("pip-mode"), position("pip-size"));
    EXPECT_LT(position("web-server"), position("ws-management"));
    EXPECT_LT(position("ws-management"), position("ws-identify-support"));
    EXPECT_LT(position("usb-port-binding"), position("usb-binding"));
    EXPECT_LT(position("dci-image-region"), position("show-cropped-region"));
    for (const auto& s : list)
        if (s["name"] == "pip-mode") {
            EXPECT_EQ(s["needs"], "picture-in-picture on");
        }
}

TEST(CliValues, PlainSettingsRoundTripAndRefuseWhatIsNotADecimalInRange) {
    Persistent tool;
    EXPECT_EQ(tool({"set", "luminance", "200"}).status, 0);
    EXPECT_EQ(tool({"get", "luminance"}).out, "luminance = 200\n");
    EXPECT_EQ(tool({"set", "osd-timeout", "0015"}).status, 0) << "leading zeros are decimal";
    EXPECT_EQ(tool({"get", "--json", "osd-timeout"}).json()["osd-timeout"], 15);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"set", "luminance", "251"}, {"set", "luminance", "0x64"}, {"set", "luminance", "+100"},
          {"set", "luminance", "1e2"}, {"set", "luminance", ""}, {"set", "osd-timeout", "12"}, {"set", "luminance", "100", "5"}}) {
        const Result r = tool(bad);
        EXPECT_EQ(r.status, 2) << bad[2];
        EXPECT_NE(r.err.find(bad[1] == "luminance" ? "48..250" : "5..60 (multiples of 5)"), std::string::npos) << r.err;
    }
    EXPECT_EQ(tool({"get", "luminance"}).out, "luminance = 200\n") << "refused values change nothing";
}

TEST(CliValues, RecordsAreWrittenFieldByFieldOverTheCurrentRecord) {
    Persistent tool;
    const auto before = tool({"get", "--json", "date-time"}).json()["date-time"];
    ASSERT_EQ(tool({"set", "date-time", "year=2026", "month=12"}).status, 0);
    const auto after = tool({"get", "--json", "date-time"}).json()["date-time"];
    EXPECT_EQ(after["year"], 2026);
    EXPECT_EQ(after["month"], 12);
    for (const char* kept : {"day", "hour", "minute", "timezone", "time-format", "extra-flag"}) EXPECT_EQ(after[kept], before[kept]);
    EXPECT_EQ(tool({"get", "date-time"}).out.rfind("date-time = month=12 day=", 0), 0u);

    EXPECT_EQ(tool({"set", "web-server", "1"}).status, 0);
    ASSERT_EQ(tool({"set", "ip-config", "ip-address=10.0.0.5", "subnet-mask=255.0.0.0"}).status, 0);
    const auto ip = tool({"get", "--json", "ip-config"}).json()["ip-config"];
    EXPECT_EQ(ip["ip-address"], "10.0.0.5");
    EXPECT_EQ(ip["subnet-mask"], "255.0.0.0");
    EXPECT_EQ(ip["gateway"], "192.168.1.1");

    ASSERT_EQ(tool({"set", "input-name", "input=3", "name=Edit Bay"}).status, 0);
    const auto names = tool({"get", "--json", "input-name"}).json()["input-name"];
    EXPECT_EQ(names[3]["name"], "Edit Bay");
    EXPECT_EQ(names[3]["custom-name-status"], 1);
    // Only the selector: the entry is written back as the display holds it.
    ASSERT_EQ(tool({"set", "input-name", "input=3"}).status, 0);
    EXPECT_EQ(tool({"get", "--json", "input-name"}).json()["input-name"], names);

    struct Bad {
        std::vector<std::string> args;
        const char* says;
    };
    for (const Bad& bad : {Bad{{"set", "date-time", "month=13"}, "1..12"},
                           Bad{{"set", "date-time", "mnth=1"}, "no writable field"},
                           Bad{{"set", "date-time", "2026"}, "field=value"},
                           Bad{{"set", "ip-config", "ip-address=10.0.0.300"}, "IPv4"},
                           Bad{{"set", "ip-config", "mac=00:11"}, "no writable field"},
                           Bad{{"set", "input-name", "name=X"}, "input="},
                           Bad{{"set", "rgb-adjust", "red-gain=1024"}, "0..1023"}}) {
        const Result r = tool(bad.args);
        EXPECT_EQ(r.status, 2) << bad.args[2];
        EXPECT_NE(r.err.find(bad.says), std::string::npos) << r.err;
    }
}

TEST(CliValues, ActionsAndReadOnlySettingsTakeNoValue) {
    for (const char* name : {"factory-reset", "internal-processor-power-off"}) {
        const Result r = run({"set", name, "0"});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.err.find("action"), std::string::npos) << r.err;
    }
    EXPECT_EQ(run({"set", "backlight-hours", "5"}).status, 2);
    EXPECT_EQ(run({"get", "factory-reset"}).status, 2);
    EXPECT_EQ(run({"get", "no-such-setting"}).status, 2);
}

TEST(CliStatus, EachFailureHasItsOwnExitStatus) {
    // 3: no display, no display at that slot or serial.
    EXPECT_EQ(run({"info"}, "displays=0,clock=virtual").status, 3);
    const Result slot = run({"--display", "2", "info"});
    EXPECT_EQ(slot.status, 3);
    EXPECT_NE(slot.err.find("slot 2"), std::string::npos);
    EXPECT_EQ(run({"--serial", "NOSUCHDISP", "info"}).status, 3);
    EXPECT_EQ(run({"--serial", "QVSIM00002", "--json", "info"}).json()["slot"], 1);
    // 4: the display's mode or monitor type refuses, and the message says what is needed.
    const Result pip = run({"set", "pip-mode", "1"});
    EXPECT_EQ(pip.status, 4);
    EXPECT_NE(pip.err.find("needs picture-in-picture on"), std::string::npos) << pip.err;
    const Result type = run({"-d", "1", "get", "usb-c-input-config"});
    EXPECT_EQ(type.status, 4);
    EXPECT_NE(type.err.find("monitor type 2"), std::string::npos) << type.err;
    // 5: the display failed.
    TempDir empty;
    EXPECT_EQ(run({"get-files", "6", empty.path().string()}).status, 5) << "the display holds no files of type 6";
    // 2: the argument parser's own errors are usage errors too, said in full with what is valid;
    // so is a simulated bus the library refuses (no USB is involved).
    struct Usage {
        std::vector<std::string> args;
        std::string says;
        std::string simulate = kSim;
    };
    for (const Usage& bad :
         {Usage{{"frobnicate-the-display-settings-all-of-them-now-please"},
                "'frobnicate-the-display-settings-all-of-them-now-please' is not a verb (verbs: scan, info,"},
          Usage{{"lsit"}, "did you mean 'list'?"},
          Usage{{"get", "--jsno", "luminance"}, "'--jsno' is not an option of quorvexctl get; did you mean '--json'?"},
          Usage{{"--no-such-option", "list"}, "(options: --help"},
          Usage{{"info", "extra"}, "info does not take 'extra'"},
          Usage{{"--display", "7", "info"}, "0 to 2"},
          Usage{{"-d", "1", "--serial", "QVSIM00002", "info"}, "--display and --serial"},
          Usage{{"get"}, "names"},
          Usage{{}, "say what to do"},
          Usage{{"info"}, "configuration (QUORVEX_SIMULATE or --simulate) is not valid", "displays=9"}}) {
        const Result r = run(bad.args, bad.simulate);
        EXPECT_EQ(r.status, 2) << (bad.args.empty() ? "(nothing)" : bad.args[0]) << ": " << r.err;
        EXPECT_NE(r.err.find(bad.says), std::string::npos) << r.err;
    }
}

TEST(CliStatus, TheHostRefusingAFileIs7WithThePathAndTheReason) {
    TempDir dir;
    std::ofstream(dir / "p.json") << "old";
    const std::string long_directory = "/" + std::string(204, 'd');
    struct Refusal {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Refusal& refused :
         {Refusal{{"send-file", "1", dir / "missing"}, dir / "missing: No such file or directory"},
          Refusal{{"send-file", "1", dir.path().string()}, dir.path().string() + ": Is a directory"},
          Refusal{{"get-files", "3", dir / "p.json"}, dir / "p.json: Not a directory"},
          Refusal{{"get-files", "3", "/proc/self"}, "cannot write into /proc/self: "},
          Refusal{{"get-files", "3", long_directory}, "File name too long (the directory's path is 205 bytes"},
          Refusal{{"dump", "/dev/full"}, "dump: cannot write /dev/full: No space left on device"},
          Refusal{{"dump", dir / "none/p.json"}, dir / "none/p.json: No such file or directory"}}) {
        const Result r = run(refused.args);
        EXPECT_EQ(r.status, 7) << refused.args[0] << " " << refused.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(refused.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_file(dir / "p.json"), "old");
    EXPECT_NE(run({"get-files", "3", long_directory.substr(1)}).err.find("No such file"), std::string::npos)
        << "204 bytes fit";
}

TEST(CliOptions, GlobalOptionsMayFollowTheVerb) {
    EXPECT_TRUE(run({"list", "--json"}).json().is_array());
    Persistent tool;
    ASSERT_EQ(tool({"set", "luminance", "150", "--display", "1"}).status, 0);
    EXPECT_EQ(tool({"get", "luminance", "-d", "1"}).out, "luminance = 150\n");
    EXPECT_NE(tool({"get", "luminance"}).out, "luminance = 150\n");
    const Result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("library v1.0"), std::string::npos);
    EXPECT_EQ(run({"--help"}).status, 0);
}

TEST(CliOutput, ResultsGoToStandardOutputAloneAndAFailedWriteFails) {
    const Result text = quorvexctl({"--simulate", "displays=2,serial2=CLITEST002,type2=1,clock=virtual", "--display", "1", "info"}, "");
    EXPECT_EQ(text.out, "Serial number: CLITEST002\nMonitor type:  1\nSDK version:   v1.0\nFirmware:      2.14.07\n");
    const Result info = run({"--json", "info"});
    ASSERT_EQ(info.status, 0);
    EXPECT_EQ(info.json()["serial"], "QVSIM00001");  // no library line mixed in
    EXPECT_NE(run({"--verbose", "get", "luminance"}).err.find("Luminance value received"), std::string::npos);
    // A full device or a reader that went away: status 1, and nothing more said about it.
    for (const char* gone : {"/dev/full", kClosedPipe}) {
        const Result r = quorvexctl({"list"}, kSim, gone);
        EXPECT_EQ(r.status, 1) << gone;
        EXPECT_EQ(r.err, "") << gone;
    }
}

TEST(CliOutput, HugeMalformedInputIsEchoedBounded) {
    const std::string huge(100 * 1024, 'x');
    const Result r = run({"info"}, huge);
    EXPECT_EQ(r.status, 2);
    EXPECT_LT(r.err.size(), 1000u) << "stderr holds " << r.err.size() << " bytes";
    const Result name = run({"get", std::string(5000, 'n')});
    EXPECT_EQ(name.status, 2);
    EXPECT_LT(name.err.size(), 400u);
}

TEST(CliActions, VerbsReachTheDisplaysActions) {
    Persistent tool;
    EXPECT_EQ(tool({"factory-reset"}).status, 0) << "no terminal: no question";
    EXPECT_EQ(tool({"factory-reset", "--yes"}).status, 0);
    EXPECT_EQ(tool({"power-off-processor"}).status, 0);
    EXPECT_EQ(tool({"lock-menu", "7"}).status, 0);
    EXPECT_EQ(tool({"lock-menu", "256"}).status, 2);
    EXPECT_EQ(tool({"preset", "save", "2"}).status, 0);
    EXPECT_EQ(tool({"preset", "load", "2"}).status, 0);
    EXPECT_EQ(tool({"preset", "load", "5"}).status, 2);
    EXPECT_EQ(tool({"preset", "keep", "1"}).status, 2);
    EXPECT_EQ(tool({"clear-markers"}).status, 0);
    EXPECT_EQ(tool({"test-pattern", "on"}).status, 0);
    EXPECT_EQ(tool({"test-pattern", "color", "255", "0", "128"}).status, 0);
    EXPECT_EQ(tool({"test-pattern", "color", "256", "0", "0"}).status, 2);
    EXPECT_EQ(tool({"test-pattern", "pattern", "9"}).status, 0);
    EXPECT_EQ(tool({"get", "test-pattern"}).out, "test-pattern = 1\n");
    EXPECT_EQ(tool({"test-pattern", "off"}).status, 0);

    EXPECT_EQ(tool({"calibrate", "validate-xml"}).status, 0);
    EXPECT_EQ(tool({"calibrate", "position-colorimeter"}).status, 0);
    EXPECT_EQ(tool({"calibrate", "mode"}).status, 0);
    ASSERT_EQ(tool({"set", "calibration", "1"}).status, 0);
    ASSERT_EQ(tool({"set", "external-instrument", "1"}).status, 0);
    for (const char* run_now : {"recalibrate", "xml", "align"}) EXPECT_EQ(tool({"calibrate", run_now}).status, 0) << run_now;
    EXPECT_EQ(tool({"calibrate", "configure", "1", "6", "4", "6", "250"}).status, 0);
    EXPECT_EQ(tool({"calibrate", "configure", "9", "1", "1", "1", "100"}).status, 2);
    EXPECT_EQ(tool({"calibrate", "recalibrate", "now"}).status, 2);

    const auto status = tool({"status", "--json"}).json();
    EXPECT_EQ(status["image-size"]["width"], 3840);
    EXPECT_EQ(status["marker-support"], true);
}

}  // namespace
}  // namespace cli_test
