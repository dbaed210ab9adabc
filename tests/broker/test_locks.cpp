// Locks, read-only clients and change events on quorvexd, from the outside: clients of
// io.quorvex.Display by hand, and programs linked to the library (in child processes, the C
// example among them) reaching the display through the daemon.
#include <grp.h>

#include "broker/daemon_client.h"
#include "quorvex.h"
#include "support/sim_fixture.h"

namespace {

using qvtest::Daemon;
using qvtest::Json;
using qvtest::Raw;

constexpr const char* kSerial = "QVSIM00001";
const Json kDone = {{"parameters", Json::object()}};

Json call(Raw& raw, const char* method, const Json& parameters = Json::object()) {
    return raw.call(std::string("io.quorvex.Display.") + method, parameters);
}
std::string display_error(const char* name) { return std::string("io.quorvex.Display.") + name; }

void wait_ready(Raw& raw) {
    for (int i = 0; i < 2000; ++i) {
        const Json d = call(raw, "List")["parameters"]["displays"];
        if (d.size() == 1 && d[0]["state"] == "ready") return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the display never became ready";
}

void subscribe(Raw& watcher, Raw& other) {
    watcher.give_up_after(20);
    watcher.send({{"method", "io.quorvex.Display.Subscribe"}, {"more", true}});
    call(other, "List");  // answered after the subscription is in place
}

// The next event of this type.
Json next(Raw& watcher, const char* type) {
    for (;;) {
        const Json reply = watcher.receive();
        if (!reply.is_object()) return reply;
        if (reply["parameters"]["event"]["type"] == type) return reply["parameters"]["event"];
    }
}

// A program linked to the library, in a child process, through the daemon (with QUORVEX_LOCK
// when `lock` is given): the result of setting the luminance, or of Scan when that fails, and
// what it wrote on standard error.
int library_set(const Daemon& daemon, const char* lock, int16_t luminance, std::string* err = nullptr) {
    int out[2];
    if (pipe(out) != 0) return -1000;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 2);
        qvtest::reset_library_state();
        LogMessage = 0;
        unsetenv("QUORVEX_SIMULATE");
        setenv("QUORVEX_SOCKET", daemon.socket().c_str(), 1);
        if (lock != nullptr) setenv("QUORVEX_LOCK", lock, 1);
        char serials[36] = {};
        int rc = Scan(serials);
        if (rc >= 0) rc = Connect(0);
        if (rc == RC_OK) rc = SetDisplayLuminance(luminance);
        _exit(-rc);
    }
    close(out[1]);
    std::string text;
    char chunk[256];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (err != nullptr) *err = text;
    return WIFEXITED(status) ? -WEXITSTATUS(status) : -1000;
}

TEST(Locks, ALockRefusesOtherClientsUntilItsHolderGoes) {
    Daemon daemon("displays=1,clock=virtual");
    Raw watcher(daemon.socket()), other(daemon.socket()), helper(daemon.socket());
    auto holder = std::make_unique<Raw>(daemon.socket());
    wait_ready(other);
    subscribe(watcher, other);
    const Json me = {{"uid", getuid()}, {"pid", getpid()}};

    const std::string token = call(*holder, "Lock")["parameters"].value("token", "");
    ASSERT_EQ(token.size(), 32u);
    Json taken = me;
    taken.update({{"type", "lock-taken"}, {"serial", kSerial}});
    EXPECT_EQ(next(watcher, "lock-taken"), taken);
    EXPECT_EQ(call(*holder, "Lock")["parameters"]["token"], token);  // taken again: the same
    EXPECT_EQ(call(other, "List")["parameters"]["displays"][0]["lockedBy"], me);

    // Other clients read; their changes are refused, naming the holder.
    const Json locked = {{"error", display_error("Locked")}, {"parameters", me}};
    EXPECT_EQ(call(other, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    for (const char* method : {"Set", "Lock", "Unlock"})
        EXPECT_EQ(call(other, method, {{"values", {{"luminance", 90}}}}), locked) << method;
    // Library programs: refused as the display refuses a command, unless started under the lock;
    // a token of no lock ends the session at once.
    std::string err;
    const struct {
        const char* lock;
        int rc;
        const char* says;
    } programs[] = {
        {nullptr, RC_DEVICE_STATUS, ""},
        {token.c_str(), RC_OK, ""},
        {"00000000000000000000000000000000", RC_USB_UNAVAILABLE, "refused: the lock in QUORVEX_LOCK is not held"},
        {"my-lock", RC_USB_UNAVAILABLE, "refused: QUORVEX_LOCK is not a lock token"},
    };
    for (const auto& p : programs) {
        EXPECT_EQ(library_set(daemon, p.lock, 100, &err), p.rc) << (p.lock ? p.lock : "no lock");
        EXPECT_NE(err.find(p.says), std::string::npos) << err;
    }
    EXPECT_NE(daemon.log().find("on the display QVSIM00001: locked by uid " + std::to_string(getuid()) + " pid " +
                                std::to_string(getpid())),
              std::string::npos)
        << daemon.log();
    // A Display client presenting the token changes as the holder.
    EXPECT_EQ(call(other, "UseLock", {{"token", std::string(32, '0')}})["error"], display_error("NoSuchLock"));
    EXPECT_EQ(call(helper, "UseLock", {{"token", token}}), Json({{"parameters", {{"serial", kSerial}}}}));
    EXPECT_EQ(call(helper, "Set", {{"values", {{"luminance", 90}}}}), kDone);

    // The holder's connection drops: the lock is gone.
    holder.reset();
    Json released = me;
    released.update({{"type", "lock-released"}, {"serial", kSerial}});
    EXPECT_EQ(next(watcher, "lock-released"), released);
    EXPECT_EQ(call(other, "Set", {{"values", {{"luminance", 110}}}}), kDone);
    EXPECT_EQ(call(other, "List")["parameters"]["displays"][0].count("lockedBy"), 0u);
    EXPECT_EQ(library_set(daemon, nullptr, 100), RC_OK);

    // Root may force a lock open; nobody else.
    ASSERT_EQ(call(helper, "Lock")["parameters"].count("token"), 1u);
    const Json forced = call(other, "Unlock", {{"force", true}});
    if (getuid() == 0)
        EXPECT_EQ(forced, kDone);
    else
        EXPECT_EQ(forced["error"], display_error("NotAllowed")) << forced;
}

TEST(Locks, AReadOnlyGroupReadsButChangesNothing) {
    const group* mine = getgrgid(getgid());
    ASSERT_NE(mine, nullptr);
    Daemon daemon("displays=1,clock=virtual", {"--read-only-group", mine->gr_name});
    Raw raw(daemon.socket());
    wait_ready(raw);
    EXPECT_EQ(call(raw, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    for (const char* method : {"Set", "Lock"})
        EXPECT_EQ(call(raw, method, {{"values", {{"luminance", 90}}}}), Json({{"error", display_error("ReadOnly")}, {"parameters", Json::object()}}));
    EXPECT_EQ(library_set(daemon, nullptr, 100), RC_DEVICE_STATUS);
    EXPECT_NE(daemon.log().find(std::string("group ") + mine->gr_name + " reads only"), std::string::npos) << daemon.log();
}

// Every change is told with who made it: a Display client (its context too), and the C example
// linked to the library, unchanged, through the daemon.
TEST(Events, AChangeIsToldWithWhoMadeIt) {
    Daemon daemon("displays=1,clock=virtual");
    Raw watcher(daemon.socket()), client(daemon.socket());
    wait_ready(client);
    subscribe(watcher, client);
    ASSERT_EQ(call(client, "Get", {{"names", {"luminance"}}})["parameters"]["values"]["luminance"], 120);
    ASSERT_EQ(call(client, "Set", {{"values", {{"luminance", 90}}}, {"context", "grading suite"}}), kDone);
    const auto changed = [](int value, int old, pid_t pid) {
        return Json({{"type", "setting-changed"}, {"serial", kSerial}, {"name", "luminance"}, {"value", value},
                     {"old", old}, {"uid", getuid()}, {"pid", pid}});
    };
    Json expected = changed(90, 120, getpid());
    expected["context"] = "grading suite";
    EXPECT_EQ(next(watcher, "setting-changed"), expected);

    const pid_t example = fork();
    if (example == 0) {
        setenv("QUORVEX_SOCKET", daemon.socket().c_str(), 1);
        unsetenv("QUORVEX_SIMULATE");
        execl(QUORVEX_EXAMPLE_LUMINANCE, "luminance", nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(example, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // It sets 120 and puts the 90 it found back.
    EXPECT_EQ(next(watcher, "setting-changed"), changed(120, 90, example));
    EXPECT_EQ(next(watcher, "setting-changed"), changed(90, 120, example));
}

}  // namespace
