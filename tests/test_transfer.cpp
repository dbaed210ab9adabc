// File transfer against the simulated display: uploads in 128-byte chunks, downloads of every
// file of a type into a host directory, and a display that sends what the host must not write.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "api/transfer.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

Bytes pattern(std::size_t n, std::size_t seed = 1) {  // every byte value, NUL, CR and LF included
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 131 + seed * 17 + i / 256);
    return b;
}
Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes head(const Bytes& b, long n) { return Bytes(b.begin(), b.begin() + n); }
void write_host(const fs::path& p, const Bytes& b) { std::ofstream(p) << std::string(b.begin(), b.end()); }
Bytes read_host(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
// Every entry below root, relative and sorted; directories end in '/'.
Names tree(const fs::path& root) {
    Names out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
}
std::size_t open_descriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

class Transfer : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        char templ[] = "/tmp/qvtransferXXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        fs::create_directory(target = (root = templ) / "target");
        LogMessage = 0;  // printed() turns it on
    }
    void TearDown() override {
        qv::set_download_chunk_limit(0);
        fs::remove_all(root);
        SimTest::TearDown();
    }
    qv::sim::TransferState& store() { return fw(0).state.transfer; }
    // The display holds exactly these files of one type.
    void serve(uint8_t type, const std::vector<std::pair<std::string, Bytes>>& files) {
        store().files[type].clear();
        for (const auto& [name, data] : files) store().files[type].push_back({name, data, type != 3 && type != 6});
    }
    // Runs SendFileToDisplay or GetFileFromDisplay, checks what it printed with logging on.
    int run(int (*transfer)(int, const char*), int type, const fs::path& path, const std::string& out) {
        int rc = 0;
        EXPECT_EQ(printed([&] { rc = transfer(type, path.c_str()); }), out);
        return rc;
    }
    int upload(int type, const fs::path& p, const std::string& out) { return run(SendFileToDisplay, type, p, out); }
    int download(int type, const fs::path& p, const std::string& out) { return run(GetFileFromDisplay, type, p, out); }
    fs::path root, target;
};

TEST_F(Transfer, UploadCutsTheFileIntoChunksOnlyTheFirstFlaggedAndTheFileComesBack) {
    const fs::path file = root / "up.bin";
    write_host(file, {});
    EXPECT_EQ(upload(0, file, "File size is : 0 \n"), RC_OK);  // sends nothing, so needs no display
    connect_first();
    // Upload code, size, chunk lengths; the display serves an upload back under its own code and name.
    const std::tuple<uint8_t, std::size_t, std::vector<uint8_t>, int, const char*> cases[] = {
        {0, 128, {128}, 4, "upload0.txt"}, {1, 129, {128, 1}, 3, "upload1.bin"},
        {2, 300, {128, 128, 44}, 5, "upload2.txt"}, {7, 40, {40}, 8, "upload7.txt"}};
    for (const auto& [code, size, lengths, download_code, name] : cases) {
        SCOPED_TRACE(name);
        fw(0).clear_requests();
        const Bytes content = pattern(size, code);
        write_host(file, content);
        EXPECT_EQ(upload(code, file, "File size is : " + std::to_string(size) + " \n"), RC_OK);
        ASSERT_EQ(fw(0).requests().size(), lengths.size());
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            Bytes e(184, 0);
            e[0] = 24, e[2] = i == 0, e[4] = code, e[55] = lengths[i];
            std::copy_n(content.begin() + static_cast<long>(i * 128), lengths[i], e.begin() + 56);
            EXPECT_EQ(fw(0).requests()[i].bytes, e) << "chunk " << i;
        }
        // A directory ending in a slash makes three in a row, which the host takes as one.
        EXPECT_EQ(GetFileFromDisplay(download_code, (target.string() + "/").c_str()), RC_OK);
        EXPECT_EQ(read_host(target / name), content);
    }
}

TEST_F(Transfer, UploadRefusalsAndFailuresCloseTheFileAndTheDisplayKeepsWhatItAccepted) {
    const Bytes content = pattern(300);
    const fs::path file = root / "part.bin";
    write_host(file, content);
    const std::size_t fds = open_descriptors();
    EXPECT_EQ(upload(7, file, "File size is : 300 \n<ERROR> SendFileToDisplay: RegUsbApi Failed.\n"),
              RC_EXCHANGE_FAILED);
    connect_first();
    for (const int code : {3, 4, 5, 6, 8, 9, 255, -1, 256, 257}) EXPECT_EQ(upload(code, file, ""), RC_FAILED) << code;
    // Nothing to open, or nothing to send: refused at once. A FIFO nobody writes to would block
    // a plain open; if the call blocks after all, a writer comes along and the check fails.
    ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (root / "socket").string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const fs::path& path : {root / "missing", root, root / "fifo", root / "socket"}) {
        auto call = std::async(std::launch::async, [&] { return SendFileToDisplay(1, path.c_str()); });
        if (call.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << path << " blocked";
            close(open(path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_EQ(call.get(), RC_FAILED) << path;
    }
    close(listening);
    EXPECT_EQ(upload(0, "/dev/null", "File size is : 0 \n"), RC_OK) << "a device reads as what it gives";
    EXPECT_TRUE(fw(0).requests().empty());
    store().faults.refuse_chunk = 2;
    EXPECT_EQ(upload(1, file, "File size is : 300 \n<ERROR> SendFileToDisplay: RegUsbApi Status Failed.\n"),
              RC_DEVICE_STATUS);
    EXPECT_EQ(sent(fw(0)), (Names{"op 24", "op 24"}));
    EXPECT_EQ(open_descriptors(), fds);
    EXPECT_EQ(read_host(file), content);
    EXPECT_EQ(store().files[3].back().data, head(content, 128));
}

TEST_F(Transfer, DownloadWritesEveryFileOfTheTypeByteForByteInsideTheDirectory) {
    connect_first();
    const Names names = {"a.bin", "b.bin", "c.bin", "..dots", "x..", "..."};
    const Bytes b = pattern(128, 2), c = pattern(300, 3);
    serve(3, {{"a.bin", {}}, {"b.bin", b}, {"c.bin", c}});
    for (std::size_t i = 3; i < names.size(); ++i) store().files[3].push_back({names[i], pattern(20, i), false});
    write_host(target / "a.bin", Bytes(9, 'x'));  // truncated by the first chunk
    EXPECT_EQ(download(3, target, "!!!!Number of files to get iss : 6 \n"), RC_OK);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(read_host(target.string() + "/" + names[i]), store().files[3][i].data) << names[i];
    EXPECT_EQ(tree(root), (Names{"target/", "target/...", "target/..dots", "target/a.bin", "target/b.bin",
                                 "target/c.bin", "target/x.."}));
    EXPECT_EQ(clock.pauses(), std::vector<uint64_t>(8, 100000));  // after every chunk, the last included
    // The count query, then each chunk request over the reply before it (name and chunkLength
    // as the display last sent them, chunk data zeroed).
    const auto& all = fw(0).requests();
    ASSERT_EQ(all.size(), 9u);
    const std::tuple<uint8_t, uint8_t, uint8_t, std::string, uint8_t> expect[] = {{0, 0, 0, "", 0}, {1, 1, 0, "", 6},
        {1, 1, 1, "a.bin", 0}, {1, 1, 2, "b.bin", 128}, {1, 0, 2, "c.bin", 128}, {1, 0, 2, "c.bin", 128}};
    for (std::size_t i = 0; i < 6; ++i) {
        const auto& [status, first, index, name, length] = expect[i];
        Bytes e(184, 0);
        e[0] = i == 0 ? 28 : 29, e[1] = status, e[2] = first, e[3] = index, e[4] = 3, e[55] = length;
        std::copy(name.begin(), name.end(), e.begin() + 5);
        EXPECT_EQ(all[i].bytes, e) << "request " << i;
    }
}

TEST_F(Transfer, DownloadStopsAtTheFirstBadReplyKeepingWhatArrived) {
    EXPECT_EQ(download(3, target, "<ERROR> GetFileFromDisplay: RegUsbApi Failed.\n"), RC_EXCHANGE_FAILED);
    connect_first();
    // Raw status and count of the reply (-1: the display's own "no file of type 6"), result, output.
    const std::tuple<int, int, int, std::string> cases[] = {{-1, -1, RC_DEVICE_STATUS, "!!!!No remote files to get \n"},
        {0xFF, 2, RC_DEVICE_STATUS, "\n     -1  2"}, {3, 5, RC_DEVICE_STATUS, "\n     3  5"},
        {0, 0, RC_OK, "!!!!Number of files to get iss : 0 \n"}};
    for (const auto& [status, count, rc, out] : cases) {
        fw(0).clear_requests();
        store().faults.count_status = status, store().faults.count_value = count;
        EXPECT_EQ(download(6, target, out), rc);
        EXPECT_EQ(sent(fw(0)), Names{"op 28"});
        EXPECT_TRUE(clock.pauses().empty());
        EXPECT_EQ(tree(root), Names{"target/"});
    }
    // A chunk refused midway: the files already complete stay, and the one under way holds the
    // chunks that arrived, under its own name (truncated by its first chunk).
    store().faults = {};
    const Bytes w = pattern(100, 6), x = pattern(300, 4);
    serve(5, {{"w.txt", w}, {"x.txt", x}, {"y.txt", pattern(100, 5)}});
    write_host(target / "x.txt", bytes("an earlier x"));
    store().faults.refuse_chunk = 3;  // the second chunk of x.txt
    EXPECT_EQ(download(5, target,
                       "!!!!Number of files to get iss : 3 \n<ERROR> GetFileFromDisplay: RegUsbApi Status Failed.\n"),
              RC_DEVICE_STATUS);
    EXPECT_EQ(read_host(target / "w.txt"), w);
    EXPECT_EQ(read_host(target / "x.txt"), head(x, 128));
    EXPECT_EQ(tree(root), (Names{"target/", "target/w.txt", "target/x.txt"}));
    EXPECT_EQ(clock.pauses(), std::vector<uint64_t>(2, 100000));
    EXPECT_EQ(store().files[5][1].data, x);
}

TEST_F(Transfer, HostileRepliesAreRefusedAndNothingLandsOutsideTheDirectory) {
    connect_first();
    fs::create_directory(target / "a");
    ASSERT_EQ(mkfifo((target / "fifo").c_str(), 0600), 0);
    // What the reply carries instead of the truth: a name over the start of "f.bin", chunkLength,
    // fileType, firstChunk. The file is ten bytes of 'z'.
    struct Lie { std::string_view name = {}; int length = -1, type = -1, first = -1; };
    const std::string escapes = "File name from the display leaves the target directory.", ns(50, 'n');
    const std::pair<Lie, std::string> cases[] = {
        {{.name = "..\0"sv}, escapes}, {{.name = "../escaped\0"sv}, escapes}, {{.name = "a/f\0"sv}, escapes},
        {{.name = "/abs\0"sv}, escapes}, {{.name = "a/\0"sv}, escapes}, {{.name = "\0"sv}, escapes},
        // Read on past its field, this name would run into chunkLength (10, a newline) and the data.
        {{.name = ns}, "File name from the display is not terminated."},
        {{.length = 129}, "Chunk length 129 from the display is too long."},
        {{.length = 255}, "Chunk length 255 from the display is too long."},
        {{.type = 7}, "File type 7 from the display is not a download type."},
        {{.type = 0}, "File type 0 from the display is not a download type."},
        {{.first = 2}, "First-chunk flag 2 from the display is not 0 or 1."},
        // A directory or a FIFO in the way (the FIFO's open does not wait for a reader).
        {{.name = ".\0"sv}, "Cannot open the host file."}, {{.name = "a\0"sv}, "Cannot open the host file."},
        {{.name = "fifo\0"sv}, "Cannot open the host file."}};
    serve(3, {{"f.bin", Bytes(10, 'z')}});
    for (const auto& [lie, error] : cases) {
        SCOPED_TRACE(error);
        auto& f = store().faults = {};
        if (!lie.name.empty()) f.name_field = bytes(lie.name);
        f.chunk_length = lie.length, f.reply_file_type = lie.type, f.reply_first_chunk = lie.first;
        clock.clear_pauses();
        fw(0).clear_requests();
        const std::string out = "!!!!Number of files to get iss : 1 \n<ERROR> GetFileFromDisplay: " + error + "\n";
        EXPECT_EQ(download(3, target, out), RC_FAILED);
        EXPECT_EQ(tree(root), (Names{"target/", "target/a/", "target/fifo"}));
        EXPECT_TRUE(clock.pauses().empty());
        EXPECT_EQ(sent(fw(0)), (Names{"op 28", "op 29"}));
    }
    // The same refusal, silent with logging off.
    EXPECT_EQ(without_info_lines(output_of([&] { EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_FAILED); })), "");

    // directory + "//" + name + NUL: 256 bytes for "f.bin", 257 for "ff.bin".
    const std::string pad(256 - 2 - 5 - 1 - root.string().size() - 1, 'd');
    fs::create_directory(root / pad);
    store().faults = {};
    serve(3, {{"f.bin", pattern(20)}, {"ff.bin", pattern(30)}});
    EXPECT_EQ(download(3, root / pad, "!!!!Number of files to get iss : 2 \n"
                                      "<ERROR> GetFileFromDisplay: Host path is longer than 256 bytes.\n"),
              RC_FAILED);
    EXPECT_EQ(tree(root / pad), Names{"f.bin"});
    EXPECT_EQ(read_host(root / pad / "f.bin"), pattern(20));
}

// A display whose reply restarts a file truncates it again; one whose first reply says
// "append" adds to what the host holds; one that renames the file half way writes the rest
// under the new name: the host path is taken from every reply.
TEST_F(Transfer, ChunkFlagsAndNameOfEveryReplyKeepTheirMeaning) {
    connect_first();
    const Bytes data = pattern(300, 7);
    serve(3, {{"f.bin", data}});
    store().faults.reply_first_chunk = 1;
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), Bytes(data.begin() + 256, data.end()));
    store().faults.reply_first_chunk = 0;
    write_host(target / "f.bin", bytes("abc"));
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    Bytes appended = bytes("abc");
    appended.insert(appended.end(), data.begin(), data.end());
    EXPECT_EQ(read_host(target / "f.bin"), appended);
    fs::remove(target / "f.bin");
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), data);

    fs::remove(target / "f.bin");
    store().faults = {};
    store().faults.name_field = bytes("other.bin\0"sv);
    store().faults.lie_from_offset = 128;
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), head(data, 128));
    EXPECT_EQ(read_host(target / "other.bin"), Bytes(data.begin() + 128, data.end()));
}

// Links in the target directory are the host's own: a file under the display's name that is a
// symbolic link, or that has another name elsewhere, is neither truncated nor appended to, and
// what it points to stays as it was. A file written over keeps its permissions.
TEST_F(Transfer, DownloadNeverWritesThroughLinks) {
    connect_first();
    write_host(root / "victim", bytes("keep"));
    fs::create_symlink(root / "victim", target / "sym.bin");
    fs::create_hard_link(root / "victim", target / "hard.bin");
    const std::string refused = "!!!!Number of files to get iss : 1 \n<ERROR> GetFileFromDisplay: ";
    const std::tuple<const char*, int, std::string> cases[] = {
        {"sym.bin", -1, "Cannot open the host file.\n"}, {"sym.bin", 0, "Cannot open the host file.\n"},
        {"hard.bin", -1, "Host file has more than one link.\n"}, {"hard.bin", 0, "Host file has more than one link.\n"}};
    for (const auto& [name, first, error] : cases) {
        SCOPED_TRACE(std::string(name) + (first == 0 ? " appended" : " created"));
        serve(3, {{name, pattern(10)}});
        store().faults.reply_first_chunk = first;
        EXPECT_EQ(download(3, target, refused + error), RC_FAILED);
        EXPECT_EQ(read_host(root / "victim"), bytes("keep"));
    }
    store().faults = {};
    fs::remove(target / "sym.bin");
    fs::remove(target / "hard.bin");
    serve(3, {{"f.bin", pattern(10)}});
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), pattern(10));

    fs::permissions(target / "f.bin", fs::perms::owner_read | fs::perms::owner_write);
    serve(3, {{"f.bin", pattern(20)}});
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), pattern(20));
    EXPECT_EQ(fs::status(target / "f.bin").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// The host cannot write all of a file (here: the process may not write files over 200
// bytes): what fitted is kept, the failed writes go unreported and the download goes on to
// the display's last chunk.
TEST_F(Transfer, FileTheHostCannotWriteWhollyKeepsWhatFittedAndTheDownloadGoesOn) {
    connect_first();
    serve(3, {{"f.bin", pattern(300)}});
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = GetFileFromDisplay(3, target.c_str());  // quiet: the limit holds for stdout too
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), head(pattern(300), 200));
    EXPECT_EQ(fw(0).count_requests(29), 3u);
}

// A display that keeps announcing one more chunk stops at the limit of a download, which
// counts the chunks of all files of one call; a download within the limit is whole.
TEST_F(Transfer, EndlessFileStopsAtTheChunkLimit) {
    connect_first();
    qv::set_download_chunk_limit(40);
    serve(3, {{"f.bin", pattern(1000)}});
    store().faults.endless = true;
    EXPECT_EQ(download(3, target, "!!!!Number of files to get iss : 1 \n"
                                  "<ERROR> GetFileFromDisplay: More than 40 chunks from the display; download stopped.\n"),
              RC_FAILED);
    EXPECT_EQ(fw(0).count_requests(29), 40u);
    EXPECT_EQ(clock.pauses().size(), 40u);
    EXPECT_EQ(read_host(target / "f.bin"), pattern(1000)) << "then empty chunks";

    store().faults = {};
    serve(3, {{"f.bin", pattern(40 * 128)}});
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(read_host(target / "f.bin"), pattern(40 * 128));
    fs::remove(target / "f.bin");
    serve(3, {{"a.bin", pattern(25 * 128)}, {"b.bin", pattern(25 * 128)}});
    EXPECT_EQ(GetFileFromDisplay(3, target.c_str()), RC_FAILED);
    EXPECT_EQ(tree(root), (Names{"target/", "target/a.bin", "target/b.bin"}));
    EXPECT_EQ(read_host(target / "b.bin"), head(pattern(25 * 128), 15 * 128));
}

// Misuse a hostile caller tries: no directory or an empty one (it would name the root of
// the file system), no path, and a file too large for the protocol's signed 32-bit size
// (it would go as a wrapped length, or not at all). Nothing reaches the display.
TEST_F(Transfer, CallerMisuseIsRefusedBeforeAnyExchange) {
    connect_first();
    EXPECT_EQ(GetFileFromDisplay(3, ""), RC_INVALID_ARGUMENT);
    EXPECT_EQ(GetFileFromDisplay(3, nullptr), RC_INVALID_ARGUMENT);
    EXPECT_EQ(SendFileToDisplay(1, nullptr), RC_INVALID_ARGUMENT);
    const fs::path big = root / "big.bin";
    for (const std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 5}) {
        SCOPED_TRACE(size);
        write_host(big, {});
        fs::resize_file(big, size);  // sparse: no disk space used
        EXPECT_EQ(upload(1, big, "<ERROR> SendFileToDisplay: File is too large to send.\n"), RC_FAILED);
    }
    EXPECT_TRUE(fw(0).requests().empty());
    // The largest file the protocol carries is sent (its first chunk is refused here).
    fs::resize_file(big, (std::uintmax_t{1} << 31) - 1);
    store().faults.refuse_chunk = 1;
    EXPECT_EQ(upload(1, big, "File size is : 2147483647 \n<ERROR> SendFileToDisplay: RegUsbApi Status Failed.\n"),
              RC_DEVICE_STATUS);
    ASSERT_EQ(fw(0).requests().size(), 1u);
    EXPECT_EQ(fw(0).requests()[0].bytes[55], 128);
}

// The display answers a count query or a chunk request with each status byte in turn. Only 0
// lets a count go on (and 0 or 1 a chunk); any other ends the call with RC_DEVICE_STATUS at
// that reply, leaving on the host what came before it.
TEST_F(Transfer, EveryStatusByteOfTheDisplayEndsTheDownloadCleanly) {
    connect_first();
    serve(4, {{"t.txt", pattern(200, 3)}});
    for (int status = 0; status < 256; ++status) {
        SCOPED_TRACE(status);
        store().faults = {};
        fw(0).clear_requests();
        clock.clear_pauses();
        store().faults.count_status = status, store().faults.count_value = 1;
        const int rc = GetFileFromDisplay(4, target.c_str());
        if (status == 0) {
            EXPECT_EQ(rc, RC_OK);
            EXPECT_EQ(read_host(target / "t.txt"), pattern(200, 3));
            fs::remove(target / "t.txt");
        } else {
            EXPECT_EQ(rc, RC_DEVICE_STATUS);
            EXPECT_EQ(sent(fw(0)), Names{"op 28"});
            EXPECT_TRUE(clock.pauses().empty());
        }
        EXPECT_EQ(tree(root), Names{"target/"});
        if (status <= 1) continue;
        // The same byte in the reply to the second chunk request.
        store().faults = {};
        fw(0).clear_requests();
        store().faults.refuse_chunk = 2, store().faults.refuse_status = static_cast<uint8_t>(status);
        EXPECT_EQ(GetFileFromDisplay(4, target.c_str()), RC_DEVICE_STATUS);
        EXPECT_EQ(sent(fw(0)), (Names{"op 28", "op 29", "op 29"}));
        EXPECT_EQ(read_host(target / "t.txt"), head(pattern(200, 3), 128));
        fs::remove(target / "t.txt");
    }
}

// A display that lists as many files as its count byte allows (255), each with a name of the
// full 49 characters and chunks of the full 128 bytes: every file arrives whole, and the work
// is the files' chunks and no more.
TEST_F(Transfer, DisplayAtTheLimitsOfEveryFieldIsDownloadedWhole) {
    connect_first();
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 255; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 49 - name.size(), 'n');
        files.push_back({name, pattern(256, static_cast<std::size_t>(i))});
    }
    serve(3, files);
    ASSERT_EQ(GetFileFromDisplay(3, target.c_str()), RC_OK);
    EXPECT_EQ(tree(root).size(), 256u);
    for (const auto& [name, data] : files) ASSERT_EQ(read_host(target / name), data) << name;
    EXPECT_EQ(fw(0).count_requests(29), 2u * 255u);
    EXPECT_EQ(clock.pauses().size(), 2u * 255u);
}

}  // namespace
}  // namespace qvtest
