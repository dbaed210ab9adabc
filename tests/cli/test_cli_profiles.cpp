// Profiles, cloning, persistent simulated displays and file transfers, through quorvexctl.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run_tool.h"

namespace cli_test {
namespace {

using Json = nlohmann::ordered_json;

struct Tool {
    TempDir dir;
    std::string simulate;
    explicit Tool(const std::string& config = "displays=2,clock=virtual")
        : simulate(config + ",state=" + (dir / "state.json")) {}
    Result operator()(const std::vector<std::string>& args) const { return quorvexctl(args, simulate); }
    Json dump(int slot) const {
        const Result r = (*this)({"dump", "--display", std::to_string(slot)});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.json();
    }
};

// The writable settings of a profile: what restore and clone promise to carry over.
Json writable(const Json& profile) {
    static const Json list = quorvexctl({"list", "--json"}, "clock=virtual").json();
    Json result = Json::object();
    for (const auto& s : list)
        if (s["access"] == "read-write" && profile["settings"].contains(s["name"]))
            result[s["name"].get<std::string>()] = profile["settings"][s["name"].get<std::string>()];
    return result;
}

TEST(CliProfile, DumpHoldsEveryReadableSettingOrSaysWhyNot) {
    Tool tool;
    const Json profile = tool.dump(0);
    EXPECT_EQ(profile["format"], "quorvex-settings/1");
    EXPECT_EQ(profile["display"]["serial"], "QVSIM00001");
    EXPECT_EQ(profile["display"]["monitor_type"], 2);
    EXPECT_EQ(profile["display"]["sdk_version"], "v1.0");
    const Json list = tool({"list", "--json"}).json();
    for (const auto& s : list) {
        if (s["access"] != "read" && s["access"] != "read-write") continue;
        const std::string name = s["name"];
        EXPECT_NE(profile["settings"].contains(name), profile["skipped"].contains(name)) << name;
    }
    EXPECT_EQ(profile["skipped"]["pip-mode"], "needs picture-in-picture on");
    EXPECT_TRUE(profile["settings"]["date-time"].is_object());
    EXPECT_TRUE(profile["settings"]["display-name"].is_string());
    // To a file, the same text. A file there is replaced whole, keeping its mode, through a
    // symbolic link too, and nothing else is left in the directory.
    std::ofstream(tool.dir / "p.json") << "old";
    std::filesystem::permissions(tool.dir / "p.json", std::filesystem::perms(0640));
    std::filesystem::create_symlink("p.json", tool.dir / "link.json");
    ASSERT_EQ(tool({"dump", tool.dir / "link.json"}).status, 0);
    EXPECT_EQ(Json::parse(read_file(tool.dir / "p.json")), profile);
    EXPECT_TRUE(std::filesystem::is_symlink(tool.dir / "link.json"));
    EXPECT_EQ(std::filesystem::status(tool.dir / "p.json").permissions(), std::filesystem::perms(0640));
    for (const auto& entry : std::filesystem::directory_iterator(tool.dir.path()))
        EXPECT_TRUE(entry.path().filename() == "p.json" || entry.path().filename() == "link.json" ||
                    entry.path().filename() == "state.json.lock")  // the simulated displays' claims
            << entry.path();
}

TEST(CliProfile, RestoreBringsBackWhatADumpHeld) {
    Tool tool;
    ASSERT_EQ(tool({"set", "pip", "1"}).status, 0);
    ASSERT_EQ(tool({"set", "pip-mode", "1"}).status, 0);
    ASSERT_EQ(tool({"set", "web-server", "1"}).status, 0);
    ASSERT_EQ(tool({"dump", tool.dir / "before.json"}).status, 0);
    const Json before = Json::parse(read_file(tool.dir / "before.json"));
    EXPECT_TRUE(before["settings"].contains("pip-size")) << "PIP settings are read while PIP is on";

    for (const std::vector<std::string>& change :
         {std::vector<std::string>{"set", "luminance", "60"}, {"set", "date-time", "year=1999"},
          {"set", "ip-config", "gateway=10.1.1.1"}, {"set", "pip", "0"}, {"set", "web-server", "0"},
          {"set", "input-name", "input=0", "name=Grade"}})
        ASSERT_EQ(tool(change).status, 0) << change[1];
    ASSERT_NE(writable(tool.dump(0)), writable(before));

    const Result dry = tool({"restore", "--dry-run", tool.dir / "before.json"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_NE(dry.out.find("would set luminance 120"), std::string::npos) << dry.out;
    EXPECT_EQ(tool.dump(0)["settings"]["luminance"], 60) << "a dry run writes nothing";

    const Result restore = tool({"restore", tool.dir / "before.json"});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(writable(tool.dump(0)), writable(before));
    EXPECT_EQ(tool({"restore", tool.dir / "missing.json"}).status, 2);
}

// (Restoring onto another display, and refusing what is not a profile before writing anything,
// is the shared profile corpus's, through the tool and Python.)
TEST(CliProfile, CloneLeavesTheWritableSettingsEqual) {
    Tool other;
    ASSERT_EQ(other({"set", "osd-opacity", "40"}).status, 0);
    const Result clone = other({"clone", "0", "1", "--json"});
    EXPECT_EQ(clone.status, 0) << clone.err;
    EXPECT_TRUE(clone.json()["failed"].empty());
    EXPECT_EQ(writable(other.dump(1)), writable(other.dump(0)));
    EXPECT_EQ(other({"clone", "0", "0"}).status, 2);
    EXPECT_EQ(other({"clone", "0", "2"}).status, 3);
}

TEST(CliProfile, RestoreReportsWhatTheTargetRefusesAndExits6) {
    Tool tool("displays=2,type2=1,clock=virtual");
    ASSERT_EQ(tool({"dump", tool.dir / "type2.json"}).status, 0);
    const Result r = tool({"restore", "-d", "1", "--json", tool.dir / "type2.json"});
    EXPECT_EQ(r.status, 6);
    const Json failed = r.json()["failed"];
    ASSERT_TRUE(failed.contains("usb-c-input-config")) << failed.dump();
    EXPECT_NE(failed["usb-c-input-config"].get<std::string>().find("monitor type 2"), std::string::npos);
    EXPECT_NE(r.err.find("restore: usb-c-input-config:"), std::string::npos) << r.err;
    EXPECT_EQ(tool({"clone", "0", "1"}).status, 6);
}

TEST(CliProfile, RestoreAndApplyRefuseWhatIsNotAProfileBeforeWritingAnything) {
    Tool tool;
    for (const char* verb : {"restore", "apply"}) {
        auto restore = [&](const std::string& text) {
            std::ofstream(tool.dir / "p.json") << text;
            return tool({verb, tool.dir / "p.json"});
        };
        EXPECT_EQ(restore("{").status, 2);
        EXPECT_EQ(restore(R"({"format": "other/1", "settings": {}})").status, 2);
        EXPECT_EQ(restore(R"({"format": "quorvex-settings/1", "settings": {"no-such": 1}})").status, 2);
        EXPECT_EQ(restore(R"({"format": "quorvex-settings/1", "settings": {"luminance": 60, "osd-timeout": 7}})").status, 2);
        EXPECT_EQ(restore(R"({"format": "quorvex-settings/1", "settings": {"luminance": 60, "date-time": {"year": 1}}})").status, 2);
        EXPECT_EQ(tool.dump(0)["settings"]["luminance"], 120) << verb;
        EXPECT_EQ(tool({verb, tool.dir / "missing.json"}).status, 2);
    }
    std::ofstream(tool.dir / "p.json") << R"({"format": "quorvex-settings/1", "settings": {"luminance": 60}})";
    EXPECT_EQ(tool({"apply", tool.dir / "p.json", "--exclude", "no-such"}).status, 2);
    EXPECT_EQ(tool.dump(0)["settings"]["luminance"], 120);
}

TEST(CliProfile, ApplyWritesOnlyWhatDiffersLeavesPerDisplaySettingsAloneAndIsIdempotent) {
    Tool tool;
    for (const std::vector<std::string>& change :
         {std::vector<std::string>{"set", "pip", "1"}, {"set", "luminance", "200"},
          {"set", "osd-timeout", "45"}, {"set", "ip-config", "gateway=10.1.1.1"}, {"set", "date-time", "year=1999"}})
        ASSERT_EQ(tool(change).status, 0) << change[1];
    ASSERT_EQ(tool({"dump", "-d", "0", tool.dir / "golden.json"}).status, 0);
    const Json before = tool.dump(1);
    auto apply = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "-d", "1", "apply", tool.dir / "golden.json"});
        return tool(args);
    };
    auto names = [](const Json& report) {
        std::vector<std::string> list;
        for (const Json& s : report["settings"]) list.push_back(s["name"].get<std::string>() + " " + s["result"].get<std::string>());
        return list;
    };
    auto entry = [](const Json& report, const std::string& name) {
        for (const Json& s : report["settings"])
            if (s["name"] == name) return s;
        return Json();
    };

    const Result check = apply({"--check", "--exclude", "osd-timeout"});
    EXPECT_EQ(check.status, 8) << check.err;
    EXPECT_TRUE(check.json()["changed"]);
    // With picture-in-picture off, its settings cannot be read: they may change.
    EXPECT_EQ(entry(check.json(), "luminance"), Json::parse(R"({"name": "luminance", "from": 120, "to": 200, "result": "would change"})"));
    EXPECT_EQ(entry(check.json(), "pip-mode")["from"], nullptr);
    EXPECT_EQ(entry(check.json(), "pip-mode")["result"], "would change");
    EXPECT_TRUE(entry(check.json(), "osd-timeout").is_null());
    EXPECT_EQ(tool.dump(1), before) << "a check writes nothing";

    const Result first = apply({"--exclude", "osd-timeout"});
    EXPECT_EQ(first.status, 0) << first.err;
    const std::vector<std::string> changed = {"pip changed", "luminance changed"};
    EXPECT_EQ(names(first.json()), changed);
    const Json after = tool.dump(1);
    EXPECT_EQ(after["settings"]["luminance"], 200);
    EXPECT_EQ(after["settings"]["osd-timeout"], before["settings"]["osd-timeout"]);
    EXPECT_EQ(after["settings"]["ip-config"], before["settings"]["ip-config"]) << "the display's own address stays";
    EXPECT_EQ(after["settings"]["date-time"], before["settings"]["date-time"]);

    const Result again = apply({"--check", "--exclude", "osd-timeout"});
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_FALSE(again.json()["changed"]);
    EXPECT_TRUE(again.json()["settings"].empty());

    const Result included = apply({"--include", "ip-config"});
    EXPECT_EQ(included.status, 0) << included.err;
    const std::vector<std::string> more = {"osd-timeout changed", "ip-config changed"};
    EXPECT_EQ(names(included.json()), more);
    EXPECT_EQ(tool.dump(1)["settings"]["ip-config"]["gateway"], "10.1.1.1");
    const Result text = tool({"-d", "1", "apply", "--check", tool.dir / "golden.json"});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("apply: the display matches the profile"), std::string::npos) << text.out;

    // What the display refuses: a failed write, and exit 6.
    Tool type2("displays=2,type2=1,clock=virtual");
    ASSERT_EQ(type2({"dump", type2.dir / "type2.json"}).status, 0);
    const Result refused = type2({"-d", "1", "--json", "apply", type2.dir / "type2.json"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_NE(refused.err.find("apply: usb-c-input-config:"), std::string::npos) << refused.err;
}

TEST(CliProfile, DiffListsWhatDiffersBetweenProfilesAndTheDisplay) {
    Tool tool;
    ASSERT_EQ(tool({"dump", tool.dir / "a.json"}).status, 0);
    EXPECT_EQ(tool({"diff", tool.dir / "a.json", "display"}).status, 0);
    ASSERT_EQ(tool({"set", "luminance", "200"}).status, 0);
    const Result r = tool({"--json", "diff", tool.dir / "a.json", "display"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.json(), Json::parse(R"([{"name": "luminance", "a": 120, "b": 200}])"));
    EXPECT_EQ(tool({"diff", "display", tool.dir / "a.json"}).out, "luminance: 200 -> 120\n");
    EXPECT_EQ(tool({"diff", tool.dir / "a.json", tool.dir / "missing.json"}).status, 2);
    EXPECT_EQ(tool({"diff", "display", "display"}).status, 2);
}

TEST(CliState, ChangesLastAcrossRunsAndACorruptFileIsNeverReplaced) {
    TempDir dir;
    const std::string state = dir / "s.json";
    const std::string simulate = "displays=2,clock=virtual,state=" + state;
    ASSERT_EQ(quorvexctl({"set", "luminance", "200"}, simulate).status, 0);
    EXPECT_EQ(quorvexctl({"dump"}, simulate).json()["settings"]["luminance"], 200);
    EXPECT_EQ(quorvexctl({"-d", "1", "get", "luminance"}, simulate).out, "luminance = 120\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name == "s.json" || name == "s.json.lock") << name << ": no temporary file is left behind";
    }

    const std::string corrupt = "{\n  \"format\": \"quorvex-sim-state/1\",\n  \"displays\": [ oops ]\n}\n";
    std::ofstream(state) << corrupt;
    const Result r = quorvexctl({"set", "luminance", "100"}, simulate);
    EXPECT_EQ(r.status, 2) << "the simulated bus's configuration is refused";
    EXPECT_NE(r.err.find("line 3, column 17"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(state), corrupt);
}

TEST(CliTransfer, FilesTravelBothWaysWithOneLinePerFileWhenNotOnATerminal) {
    Tool tool;
    std::string content;
    for (int i = 0; i < 700; ++i) content += static_cast<char>(i * 7);
    std::ofstream(tool.dir / "lut.bin", std::ios::binary) << content;
    const Result sent = tool({"send-file", "1", tool.dir / "lut.bin"});
    ASSERT_EQ(sent.status, 0) << sent.err;
    // The time taken is the host's own and not the test's to predict.
    const std::string sent_line = "sent " + (tool.dir / "lut.bin") + ": 700 bytes, 6 chunks, ";
    EXPECT_EQ(sent.out.substr(0, sent_line.size()), sent_line) << sent.out;
    EXPECT_TRUE(sent.out.ends_with(" s\n")) << sent.out;

    std::filesystem::create_directory(tool.dir / "in");
    const Result got = tool({"get-files", "3", tool.dir / "in/"});
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out.find('\r'), std::string::npos) << "no progress bar when not on a terminal";
    std::size_t lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tool.dir / "in")) {
        ++lines;
        EXPECT_NE(got.out.find("received " + (tool.dir / "in") + "/" + entry.path().filename().string() + ":"),
                  std::string::npos)
            << got.out;
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(got.out.begin(), got.out.end(), '\n')), lines);
    EXPECT_EQ(got.out.find("//"), std::string::npos) << "the tool's messages join paths with one slash";
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(tool.dir / "in"))
        found = found || read_file(entry.path()) == content;
    EXPECT_TRUE(found) << "the uploaded file comes back";

    // On a terminal: a bar with the size in bytes and chunks, cleared before the file's line.
    const Result bar = quorvexctl_on_terminal({"send-file", "1", tool.dir / "lut.bin"}, tool.simulate);
    EXPECT_EQ(bar.status, 0);
    EXPECT_NE(bar.out.find("0 B/700 B  chunk 0/6"), std::string::npos) << bar.out;
    EXPECT_NE(bar.out.find("\r\x1b[Ksent "), std::string::npos) << bar.out;
    EXPECT_EQ(quorvexctl_on_terminal({"send-file", "--quiet", "1", tool.dir / "lut.bin"}, tool.simulate).out, "");
    EXPECT_EQ(tool({"send-file", "--quiet", "1", tool.dir / "lut.bin"}).out, "");
    EXPECT_EQ(tool({"send-file", "--json", "1", tool.dir / "lut.bin"}).json()["chunks"], 6);
    EXPECT_EQ(tool({"send-file", "3", tool.dir / "lut.bin"}).status, 2) << "3 is a download type";
    EXPECT_EQ(tool({"get-files", "1", tool.dir / "in"}).status, 2);
}

// A download that breaks off keeps what arrived; the tool names the file it stopped in. Here the
// display refuses the third chunk of its first file of type 3 (300 bytes).
TEST(CliTransfer, ADownloadThatFailsPartWayNamesTheFileItStoppedIn) {
    TempDir dir;
    const Result r = quorvexctl({"get-files", "--json", "3", dir.path().string()}, "clock=virtual,refuse-chunk=3");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("get-files: " + (dir / "colorimeter_dump.bin") + " may be incomplete: 256 bytes arrived"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find(R"("bytes":256,"chunks":2,)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("incomplete":true)"), std::string::npos) << r.out;
}

// A calibration run says on standard error what it waits for and for how long.
TEST(CliActions, ACalibrationRunShowsWhatItWaitsForOnATerminal) {
    Tool tool;
    const Result r = quorvexctl_on_terminal({"calibrate", "position-colorimeter"}, tool.simulate);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\rcalibrate position-colorimeter: waiting for the display to position its colorimeter (0:00)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\r\x1b[K"), std::string::npos) << "the line is cleared at the end";
    EXPECT_EQ(quorvexctl_on_terminal({"calibrate", "--quiet", "position-colorimeter"}, tool.simulate).out, "");
    EXPECT_EQ(tool({"calibrate", "position-colorimeter"}).err, "") << "not on a terminal: a line a minute";
}

}  // namespace
}  // namespace cli_test
