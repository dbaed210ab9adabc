// File transfer against the simulated display: uploads in 128-byte chunks, downloads of every
// file of a type into a host directory, and downloads from a display that sends what it should
// not (names that climb out of the directory, oversized lengths, unknown codes).
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

Bytes pattern(std::size_t n, unsigned seed = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 131 + seed * 17 + i / 256) & 0xFF);
    return b;
}

Bytes as_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

void write_host_file(const fs::path& p, const Bytes& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes read_host_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every entry below root, relative and sorted; directories end in '/'.
std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
}

std::size_t open_descriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

std::vector<qv::sim::Request> requests_of(const qv::sim::Firmware& fw, uint8_t opcode) {
    std::vector<qv::sim::Request> out;
    for (const auto& r : fw.requests())
        if (r.opcode() == opcode) out.push_back(r);
    return out;
}

std::string name_in(const qv::sim::Request& r) {
    return std::string(reinterpret_cast<const char*>(r.bytes.data() + 5));
}

class Transfer : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        char templ[] = "/tmp/qvtransferXXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
        target = root / "target";
        fs::create_directory(target);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
        SimTest::TearDown();
    }

    qv::sim::TransferState& store() { return fw(0).state.transfer; }
    // The display holds exactly these files of one type.
    void serve(uint8_t type, std::vector<std::pair<std::string, Bytes>> files) {
        auto& list = store().files[type];
        list.clear();
        for (auto& [name, data] : files) list.push_back({name, data, type == 4 || type == 5 || type == 8});
    }

    fs::path root, target;
};

// ------------------------------------------------------------------------------------ upload

TEST_F(Transfer, UploadCutsTheFileIntoChunksOnlyTheFirstFlagged) {
    connect_first();
    struct Case {
        std::size_t size;
        std::vector<int> lengths;
    };
    const Case cases[] = {
        {1, {1}}, {127, {127}}, {128, {128}}, {129, {128, 1}}, {256, {128, 128}}, {300, {128, 128, 44}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        fw(0).clear_requests();
        const Bytes content = pattern(c.size, static_cast<unsigned>(c.size));
        const fs::path file = root / "up.bin";
        write_host_file(file, content);

        int rc = 0;
        const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(1, file.c_str()); }));
        EXPECT_EQ(rc, RC_OK);
        EXPECT_EQ(out, "File size is : " + std::to_string(c.size) + " \n");

        const auto reqs = requests_of(fw(0), 24);
        ASSERT_EQ(reqs.size(), c.lengths.size());
        EXPECT_EQ(fw(0).requests().size(), reqs.size());  // nothing but upload chunks
        std::size_t offset = 0;
        for (std::size_t i = 0; i < reqs.size(); ++i) {
            const Bytes& b = reqs[i].bytes;
            ASSERT_EQ(b.size(), 184u);
            EXPECT_EQ(b[1], 0);                      // status
            EXPECT_EQ(b[2], i == 0 ? 1 : 0);         // firstChunk
            EXPECT_EQ(b[4], 1);                      // fileType
            EXPECT_EQ(b[55], c.lengths[i]);          // chunkLength
            const auto n = static_cast<std::size_t>(c.lengths[i]);
            EXPECT_TRUE(std::equal(b.begin() + 56, b.begin() + 56 + static_cast<long>(n),
                                   content.begin() + static_cast<long>(offset)));
            EXPECT_TRUE(std::all_of(b.begin() + 56 + static_cast<long>(n), b.end(), [](uint8_t v) { return v == 0; }))
                << "bytes past chunkLength must be zero";
            offset += n;
        }
        // The display stored what it received.
        const auto& stored = store().files[3];
        const auto it = std::find_if(stored.begin(), stored.end(), [](const auto& f) { return f.name == "upload1.bin"; });
        ASSERT_NE(it, stored.end());
        EXPECT_EQ(it->data, content);
    }
}

TEST_F(Transfer, UploadOfAnEmptyFileSendsNothingEvenUnconnected) {
    const fs::path file = root / "empty.txt";
    write_host_file(file, {});
    int rc = -99;
    const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(0, file.c_str()); }));
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(out, "File size is : 0 \n");
}

TEST_F(Transfer, UploadRefusesCodesThatAreNotUploadCodesSilently) {
    connect_first();
    const fs::path file = root / "some.txt";
    write_host_file(file, as_bytes("hello\n"));
    for (int code : {3, 4, 5, 6, 8, 9, 255, -1, 256, 257, 0x107}) {
        SCOPED_TRACE("code " + std::to_string(code));
        int rc = 0;
        const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(code, file.c_str()); }));
        EXPECT_EQ(rc, RC_FAILED);
        EXPECT_EQ(out, "");
    }
    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(1, (root / "missing.bin").c_str()); }));
    EXPECT_EQ(rc, RC_FAILED);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(fw(0).requests().empty());
}

TEST_F(Transfer, UploadRefusedMidwayKeepsTheAcceptedPartOnTheDisplay) {
    connect_first();
    const Bytes content = pattern(300);
    const fs::path file = root / "part.bin";
    write_host_file(file, content);
    store().faults.refuse_chunk = 2;
    store().faults.refuse_status = 5;

    const std::size_t fds = open_descriptors();
    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(1, file.c_str()); }));
    EXPECT_EQ(rc, RC_DEVICE_STATUS);
    EXPECT_EQ(out, "File size is : 300 \n<ERROR> SendFileToDisplay: RegUsbApi Status Failed.\n");
    EXPECT_EQ(requests_of(fw(0), 24).size(), 2u);
    EXPECT_EQ(open_descriptors(), fds) << "the host file must be closed";
    EXPECT_EQ(read_host_file(file), content);
    const auto& stored = store().files[3];
    const auto it = std::find_if(stored.begin(), stored.end(), [](const auto& f) { return f.name == "upload1.bin"; });
    ASSERT_NE(it, stored.end());
    EXPECT_EQ(it->data, Bytes(content.begin(), content.begin() + 128));
}

TEST_F(Transfer, UploadWithoutADisplayFailsTheExchange) {
    const fs::path file = root / "x.txt";
    write_host_file(file, as_bytes("abc"));
    const std::size_t fds = open_descriptors();
    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = SendFileToDisplay(7, file.c_str()); }));
    EXPECT_EQ(rc, RC_EXCHANGE_FAILED);
    EXPECT_EQ(out, "File size is : 3 \n<ERROR> SendFileToDisplay: RegUsbApi Failed.\n");
    EXPECT_EQ(open_descriptors(), fds);
}

// ------------------------------------------------------------------------------------ download

TEST_F(Transfer, DownloadWritesEveryFileOfTheTypeByteForByte) {
    connect_first();
    const Bytes b = pattern(128, 2), c = pattern(300, 3);
    serve(3, {{"a.bin", {}}, {"b.bin", b}, {"c.bin", c}});
    write_host_file(target / "a.bin", as_bytes("stale content that must go"));

    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(3, target.c_str()); }));
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(out, "!!!!Number of files to get iss : 3 \n");
    EXPECT_EQ(read_host_file(target / "a.bin"), Bytes{});
    EXPECT_EQ(read_host_file(target / "b.bin"), b);
    EXPECT_EQ(read_host_file(target / "c.bin"), c);
    EXPECT_EQ(tree(root), (std::vector<std::string>{"target/", "target/a.bin", "target/b.bin", "target/c.bin"}));

    // One 100 ms pause after every chunk, the last one included, and no other pause.
    EXPECT_EQ(clock.count_pauses(100000), 5u);
    EXPECT_EQ(clock.pauses().size(), 5u);

    const auto& all = fw(0).requests();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0].opcode(), 28);
    EXPECT_EQ(all[0].bytes[4], 3);
    struct Expect {
        int index, first;
        std::string carried_name;  // name in bytes 5.. of the request: the previous reply's
    };
    const Expect expect[] = {{0, 1, ""}, {1, 1, "a.bin"}, {2, 1, "b.bin"}, {2, 0, "c.bin"}, {2, 0, "c.bin"}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE("chunk request " + std::to_string(i));
        const Bytes& r = all[i + 1].bytes;
        EXPECT_EQ(r[0], 29);
        EXPECT_EQ(r[1], 1);
        EXPECT_EQ(r[2], expect[i].first);
        EXPECT_EQ(r[3], expect[i].index);
        EXPECT_EQ(r[4], 3);
        EXPECT_EQ(name_in(all[i + 1]), expect[i].carried_name);
        EXPECT_TRUE(std::all_of(r.begin() + 56, r.end(), [](uint8_t v) { return v == 0; }));
    }
    // The first request for c.bin carries the chunkLength of b.bin's only chunk.
    EXPECT_EQ(all[3].bytes[55], 128);
}

TEST_F(Transfer, DownloadJoinsDirectoryAndNameWithTwoSlashes) {
    connect_first();
    serve(8, {{"profile.xml", as_bytes("<a>\r\n</a>\n")}});
    const std::string with_slash = target.string() + "/";
    EXPECT_EQ(without_info_lines(output_of([&] { EXPECT_EQ(GetFileFromDisplay(8, with_slash.c_str()), RC_OK); })),
              "!!!!Number of files to get iss : 1 \n");
    EXPECT_EQ(read_host_file(target / "profile.xml"), as_bytes("<a>\r\n</a>\n"));
}

TEST_F(Transfer, DownloadCountRepliesDecideBeforeAnyFileIsTouched) {
    connect_first();
    struct Case {
        const char* what;
        int status, count;  // raw count reply, or -1 for the display's own answer
        int rc;
        std::string out;
    };
    const Case cases[] = {
        {"no files of the type", -1, -1, RC_DEVICE_STATUS, "!!!!No remote files to get \n"},
        {"0xFF with a count", 0xFF, 2, RC_DEVICE_STATUS, "\n     -1  2"},
        {"other status", 3, 5, RC_DEVICE_STATUS, "\n     3  5"},
        {"ok with no files", 0, 0, RC_OK, "!!!!Number of files to get iss : 0 \n"},
    };
    store().files.erase(6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fw(0).clear_requests();
        clock.clear_pauses();
        store().faults.count_status = c.status;
        store().faults.count_value = c.count;
        int rc = 0;
        const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(6, target.c_str()); }));
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(fw(0).requests().size(), 1u);
        EXPECT_TRUE(clock.pauses().empty());
        EXPECT_EQ(tree(root), std::vector<std::string>{"target/"});
    }
    // A type the display reports as empty although it holds files.
    store().faults = {};
    store().faults.hidden_types = {4};
    EXPECT_EQ(GetFileFromDisplay(4, target.c_str()), RC_DEVICE_STATUS);
    EXPECT_EQ(tree(root), std::vector<std::string>{"target/"});
}

TEST_F(Transfer, DownloadFailingMidwayLeavesWhatWasWritten) {
    connect_first();
    const Bytes x = pattern(300, 4), y = pattern(100, 5);
    serve(5, {{"x.txt", x}, {"y.txt", y}});
    store().faults.refuse_chunk = 2;  // the second chunk of x.txt
    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(5, target.c_str()); }));
    EXPECT_EQ(rc, RC_DEVICE_STATUS);
    EXPECT_EQ(out, "!!!!Number of files to get iss : 2 \n<ERROR> GetFileFromDisplay: RegUsbApi Status Failed.\n");
    EXPECT_EQ(read_host_file(target / "x.txt"), Bytes(x.begin(), x.begin() + 128));
    EXPECT_EQ(tree(root), (std::vector<std::string>{"target/", "target/x.txt"}));
    EXPECT_EQ(clock.count_pauses(100000), 1u);
}

TEST_F(Transfer, DownloadWithoutADisplayFailsTheExchange) {
    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(3, target.c_str()); }));
    EXPECT_EQ(rc, RC_EXCHANGE_FAILED);
    EXPECT_EQ(out, "<ERROR> GetFileFromDisplay: RegUsbApi Failed.\n");
    EXPECT_EQ(tree(root), std::vector<std::string>{"target/"});
}

// ------------------------------------------------------------------------------------ hostile display

Bytes name_field(std::string_view name) {
    Bytes f(50, 0);
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 50), f.begin());
    return f;
}

TEST_F(Transfer, HostileRepliesAreRefusedAndNothingLandsOutsideTheDirectory) {
    connect_first();
    fs::create_directory(target / "a");
    struct Case {
        const char* what;
        void (*arm)(qv::sim::TransferFaults&);
        Bytes content = pattern(200);
    };
    const Case cases[] = {
        {"name ..", [](auto& f) { f.name_field = name_field(".."); }},
        {"name ../x", [](auto& f) { f.name_field = name_field("../escaped"); }},
        {"name a/../../x", [](auto& f) { f.name_field = name_field("a/../../escaped"); }},
        {"name a/..", [](auto& f) { f.name_field = name_field("a/.."); }},
        {"name //../x", [](auto& f) { f.name_field = name_field("//../escaped"); }},
        {"empty name", [](auto& f) { f.name_field = name_field(""); }},
        // Read on past the field, the name would run into a harmless-looking "nnn...\nzzz".
        {"name without NUL", [](auto& f) { f.name_field = Bytes(50, 'n'); }, Bytes(10, 'z')},
        {"chunkLength 129", [](auto& f) { f.chunk_length = 129; }},
        {"chunkLength 255", [](auto& f) { f.chunk_length = 255; }},
        {"fileType 7", [](auto& f) { f.reply_file_type = 7; }},
        {"fileType 0", [](auto& f) { f.reply_file_type = 0; }},
        {"firstChunk 2", [](auto& f) { f.reply_first_chunk = 2; }},
        {"unopenable host file", [](auto& f) { f.name_field = name_field("no-such-dir/f"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve(3, {{"f.bin", c.content}});
        store().faults = {};
        c.arm(store().faults);
        clock.clear_pauses();
        fw(0).clear_requests();
        int rc = 0;
        const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(3, target.c_str()); }));
        EXPECT_EQ(rc, RC_FAILED);
        const std::string head = "!!!!Number of files to get iss : 1 \n<ERROR> GetFileFromDisplay: ";
        EXPECT_EQ(out.substr(0, head.size()), head);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
        EXPECT_EQ(tree(root), (std::vector<std::string>{"target/", "target/a/"}));
        EXPECT_TRUE(clock.pauses().empty());
        EXPECT_EQ(requests_of(fw(0), 29).size() , 1u);
    }
    // Silent when logging is off, same refusal.
    serve(3, {{"f.bin", pattern(10)}});
    store().faults = {};
    store().faults.name_field = name_field("../escaped");
    LogMessage = 0;
    int rc = 0;
    EXPECT_EQ(without_info_lines(output_of([&] { rc = GetFileFromDisplay(3, target.c_str()); })), "");
    EXPECT_EQ(rc, RC_FAILED);
    EXPECT_EQ(tree(root), (std::vector<std::string>{"target/", "target/a/"}));
}

TEST_F(Transfer, NamesThatStayInsideTheDirectoryAreWritten) {
    connect_first();
    fs::create_directory(target / "sub");
    struct Case {
        std::string name;
        std::string lands_at;  // relative to root
    };
    const Case cases[] = {
        {"sub/f", "target/sub/f"},
        {"/abs-name", "target/abs-name"},  // target///abs-name
        {"..dots", "target/..dots"},
        {"sub/./g", "target/sub/g"},
        {"x..", "target/x.."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes content = pattern(150, static_cast<unsigned>(c.name.size()));
        serve(6, {{c.name, content}});
        EXPECT_EQ(GetFileFromDisplay(6, target.c_str()), RC_OK);
        EXPECT_EQ(read_host_file(root / c.lands_at), content);
    }
    EXPECT_FALSE(fs::exists("/abs-name"));
}

TEST_F(Transfer, ComposedPathMayFillButNotExceed256Bytes) {
    connect_first();
    // directory + "//" + name + NUL: 256 bytes for "f.bin", 257 for "ff.bin".
    const std::size_t dir_length = 256 - 2 - 5 - 1;
    const std::size_t pad = dir_length - root.string().size() - 1;
    ASSERT_LT(pad, 255u);
    const fs::path deep = root / std::string(pad, 'd');
    ASSERT_EQ(deep.string().size(), dir_length);
    fs::create_directory(deep);
    serve(3, {{"f.bin", pattern(20)}, {"ff.bin", pattern(30)}});

    int rc = 0;
    const std::string out = without_info_lines(output_of([&] { rc = GetFileFromDisplay(3, deep.c_str()); }));
    EXPECT_EQ(rc, RC_FAILED);
    EXPECT_NE(out.find("<ERROR> GetFileFromDisplay: "), std::string::npos);
    EXPECT_EQ(read_host_file(deep / "f.bin"), pattern(20));
    EXPECT_EQ(tree(root), (std::vector<std::string>{std::string(pad, 'd') + "/", std::string(pad, 'd') + "/f.bin",
                                                    "target/"}));
}

// ------------------------------------------------------------------------------------ round trip

TEST_F(Transfer, UploadedFilesComeBackByteForByte) {
    connect_first();
    Bytes binary(600);
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<uint8_t>(i);
    const Bytes text = as_bytes("line one\r\nline two\n\n\tend without newline");
    struct Case {
        int upload, download;
        const char* name;
        const Bytes* content;
    };
    const Case cases[] = {
        {0, 4, "upload0.txt", &text}, {1, 3, "upload1.bin", &binary},
        {2, 5, "upload2.txt", &text}, {7, 8, "upload7.txt", &text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path src = root / "src";
        write_host_file(src, *c.content);
        EXPECT_EQ(SendFileToDisplay(c.upload, src.c_str()), RC_OK);
        const fs::path dir = root / ("down" + std::to_string(c.download));
        fs::create_directory(dir);
        clock.clear_pauses();
        EXPECT_EQ(GetFileFromDisplay(c.download, dir.c_str()), RC_OK);
        EXPECT_EQ(read_host_file(dir / c.name), *c.content);
        // A second upload of the same code replaces the first on the display.
        const Bytes shorter(c.content->begin(), c.content->begin() + 5);
        write_host_file(src, shorter);
        EXPECT_EQ(SendFileToDisplay(c.upload, src.c_str()), RC_OK);
        EXPECT_EQ(GetFileFromDisplay(c.download, dir.c_str()), RC_OK);
        EXPECT_EQ(read_host_file(dir / c.name), shorter);
    }
}

}  // namespace
}  // namespace qvtest
