// Serial-bridge port I/O: status-byte stripping, read attempts and pauses, write limits, and
// the baud-rate divisor as the bridge receives it.
#include <algorithm>
#include <climits>
#include <numeric>
#include <string>
#include <vector>

#include "gadget_usb/baud.h"
#include "support/sim_fixture.h"

namespace qvtest {
namespace {

using Bytes = std::vector<uint8_t>;

// A bridge transfer: each 64-byte packet starts with 01 60, data bytes count up from `first`.
Bytes framed(const std::vector<int>& packet_data_sizes, uint8_t first = 1) {
    Bytes t;
    uint8_t next = first;
    for (int n : packet_data_sizes) {
        t.push_back(0x01);
        t.push_back(0x60);
        for (int i = 0; i < n; ++i) t.push_back(next++);
    }
    return t;
}

Bytes counting(int n, uint8_t first = 1) {
    Bytes b(static_cast<std::size_t>(n));
    std::iota(b.begin(), b.end(), first);
    return b;
}

class PortIo : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect_first();
        SetLog(0);
    }
    qv::sim::Bridge& bridge() { return bus->bridge(0); }
};

TEST_F(PortIo, StripsStatusBytesOfEveryPacket) {
    // A packet holding its status bytes only, and more than two packets (all other shapes
    // are covered by EveryDataLengthAtEverySize below).
    for (const std::vector<int>& packets : {std::vector<int>{62, 0}, std::vector<int>{62, 62, 62, 5}}) {
        const int delivered = std::accumulate(packets.begin(), packets.end(), 0);
        bridge().push_raw_transfer(framed(packets));
        Bytes buffer(300, 0xEE);
        EXPECT_EQ(read_data_logic(buffer.data(), 300, 10000), delivered);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + delivered), counting(delivered));
        EXPECT_EQ(buffer[static_cast<std::size_t>(delivered)], 0xEE) << "nothing written past the data";
    }
}

// One read after another on the same bridge. A transfer that brings fewer than 2 bytes leaves
// the status check looking at bytes the bridge did not send: they read as 0 at the start of
// every read, and the retry after a refused status sees what the first transfer left.
TEST_F(PortIo, StatusBytesRetriesAndShortTransfers) {
    using K = qv::sim::InFault::Kind;
    const qv::sim::InFault wrong{K::wrong_status};
    const qv::sim::InFault nothing{K::error_no_status, qv::USB_ERROR_TIMEOUT};
    Bytes status_00 = framed({4});
    status_00[1] = 0x00;
    struct Step {
        const char* what;
        std::vector<qv::sim::InFault> faults;
        std::vector<Bytes> transfers;
        std::vector<int> results;  // one read each
    } const steps[] = {
        {"second status byte 00 is accepted", {}, {status_00}, {4}},
        {"wrong status bytes are read once more", {wrong}, {framed({10})}, {10}},
        {"and refused a second time", {wrong, wrong}, {}, {-1}},
        {"nothing pending: status bytes only", {}, {}, {0}},
        {"a good read, then no bytes at all: its 01 60 is not seen, nothing printed",
         {}, {framed({8})}, {8}},
        {"no bytes at all", {nothing}, {}, {-127}},
        {"31 61 twice", {}, {{0x31, 0x61}, {0x31, 0x61}}, {-1}},
        {"one byte reads as 01 00, whatever the last read left: accepted, no second transfer",
         {}, {{0x01}, framed({5})}, {0, 5}},
        {"31 61 then 01: the retry reads 01 61 and is refused", {}, {{0x31, 0x61}, {0x01}}, {-1}},
        {"31 00 then 01: the retry reads 01 00, exactly two transfers taken",
         {}, {{0x31, 0x00}, {0x01}, framed({3})}, {0, 3}},
        {"after nothing at all: refused, and not read again", {nothing}, {framed({4})}, {-127, 4}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        for (const qv::sim::InFault& f : step.faults) bridge().faults.in.push_back(f);
        for (const Bytes& t : step.transfers) bridge().push_raw_transfer(t);
        for (int want : step.results) {
            uint8_t buffer[16];
            EXPECT_EQ(output_of([&] { EXPECT_EQ(read_data_logic(buffer, 16, 10000), want); }), "");
        }
        EXPECT_EQ(bridge().pending(), 0u);
        EXPECT_TRUE(bridge().faults.in.empty());
    }
}

// Every length of a last packet's data (1 to 62), alone and after a full packet, at
// every size the caller may ask for: the data arrive contiguous and in order, cut at the size,
// and nothing is written past them.
TEST_F(PortIo, EveryDataLengthAtEverySize) {
    std::string first_fault;
    int reads = 0;
    for (int full = 0; full <= 1; ++full) {
        for (int last = 1; last <= 62; ++last) {
            const std::vector<int> sizes = full == 0 ? std::vector<int>{last} : std::vector<int>{62, last};
            const int total = 62 * full + last;
            for (int size = 1; size <= total + 1 && first_fault.empty(); ++size) {
                bridge().push_raw_transfer(framed(sizes));
                Bytes buffer(static_cast<std::size_t>(size) + 1, 0xEE);
                const int got = read_data_logic(buffer.data(), size, 10000);
                const int want = std::min(total, size);
                ++reads;
                if (got != want || Bytes(buffer.begin(), buffer.begin() + want) != counting(want) ||
                    buffer[static_cast<std::size_t>(want)] != 0xEE)
                    first_fault = std::to_string(full) + " full packets + " + std::to_string(last) +
                                  " bytes, size " + std::to_string(size) + ": delivered " + std::to_string(got);
            }
        }
    }
    EXPECT_EQ(first_fault, "");
    EXPECT_GT(reads, 7000);
}

TEST_F(PortIo, BulkReadErrorAfterValidStatusPrintsWhateverTheLogSwitch) {
    bridge().faults.in.push_back({qv::sim::InFault::Kind::error_with_status, qv::USB_ERROR_PIPE});
    uint8_t buffer[16];
    const std::string out = output_of([&] { EXPECT_EQ(read_data_logic(buffer, 16, 10000), qv::USB_ERROR_PIPE); });
    EXPECT_EQ(out, "usb bulk read failed\n");
}

TEST_F(PortIo, SizeZeroAndNegativeSize) {
    SetLog(1);
    uint8_t buffer[4];
    bridge().push_raw({1, 2, 3});
    const std::string out = output_of([&] { EXPECT_EQ(read_data_logic(buffer, 0, 10000), 0); });
    EXPECT_EQ(out, "Returning bytes from buffer: 0 - remaining: 0\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(read_data_logic(buffer, -1, 10000), qv::USB_ERROR_INVALID_PARAM); }), "");
    EXPECT_EQ(bridge().pending(), 3u) << "neither touched the bus";
}

TEST_F(PortIo, ReadPortStopsAtTheFirstAttemptWithData) {
    bridge().push_raw_transfer(framed({0}));  // status only: one attempt, one pause
    bridge().push_raw_transfer(framed({20}));
    Bytes packet(32, 0xEE);
    uint16_t count = 32;
    SetLog(1);
    const std::string out = output_of([&] { EXPECT_EQ(ReadPort(packet.data(), &count, 10000), 0); });
    EXPECT_EQ(count, 20) << "a short reply ends the read with its own count";
    EXPECT_EQ(clock.pauses(), std::vector<uint64_t>{1000000});
    EXPECT_EQ(out, "<INFO> ReadPort: Read '20' bytes from Quorvex device\n");
    EXPECT_EQ(packet[20], 0xEE);
}

TEST_F(PortIo, ReadPortGivesUpAfterTimeoutSecondsOfNothing) {
    struct Case {
        int64_t timeout;
        std::size_t attempts;
    } const cases[] = {{10000, 10}, {1200000, 1200}, {3600000, 3600}, {999, 0}, {1999, 1}};
    for (const Case& c : cases) {
        clock.clear_pauses();
        Bytes packet(32, 0xEE);
        uint16_t count = 32;
        EXPECT_EQ(ReadPort(packet.data(), &count, c.timeout), RC_FAILED);
        EXPECT_EQ(clock.count_pauses(1000000), c.attempts) << c.timeout;
        EXPECT_EQ(clock.pauses().size(), c.attempts);
        EXPECT_EQ(count, 32);
        EXPECT_EQ(packet, Bytes(32, 0xEE)) << "a failed read leaves the packet untouched";
    }
}

TEST_F(PortIo, EveryKindOfEmptyAttemptCostsOneSecond) {
    using K = qv::sim::InFault::Kind;
    bridge().faults.in = {{K::error_with_status, qv::USB_ERROR_IO}, {K::wrong_status}, {K::wrong_status},
                          {K::error_no_status, qv::USB_ERROR_TIMEOUT}};
    bridge().push_raw_transfer(framed({0}));
    bridge().push_raw_transfer(framed({8}));
    uint8_t packet[32];
    uint16_t count = 32;
    StdoutCapture quiet;
    EXPECT_EQ(ReadPort(packet, &count, 10000), 0);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(clock.count_pauses(1000000), 4u);
}

TEST_F(PortIo, ReadSizeFollowsTheBaudRate) {
    baudrate = 9600;  // q = 18
    bridge().push_raw_transfer(framed({32}));
    Bytes packet(32, 0);
    uint16_t count = 32;
    EXPECT_EQ(ReadPort(packet.data(), &count, 10000), 0);
    EXPECT_EQ(count, 18);

    baudrate = 300;  // q = 0: one byte at a time
    bridge().push_raw_transfer(framed({32}));
    count = 32;
    EXPECT_EQ(ReadPort(packet.data(), &count, 10000), 0);
    EXPECT_EQ(count, 1);
}

TEST_F(PortIo, ReadPortWantingZeroNeverSucceeds) {
    SetLog(1);
    uint8_t packet[4];
    uint16_t count = 0;
    bridge().push_raw({1, 2});
    const std::string out = output_of([&] { EXPECT_EQ(ReadPort(packet, &count, 3000), RC_FAILED); });
    EXPECT_EQ(out, "Returning bytes from buffer: 0 - remaining: 0\n"
                   "Returning bytes from buffer: 0 - remaining: 0\n"
                   "Returning bytes from buffer: 0 - remaining: 0\n");
    EXPECT_EQ(clock.count_pauses(1000000), 3u);
}

TEST_F(PortIo, BadArgumentsAreRefusedWithoutTouchingTheBus) {
    SetLog(1);
    uint8_t packet[4];
    uint16_t count = 4;
    uint16_t huge = 32768;
    bridge().push_raw({1, 2});
    EXPECT_EQ(output_of([&] { EXPECT_EQ(ReadPort(nullptr, &count, 10000), RC_INVALID_ARGUMENT); }),
              "<ERROR> ReadPort: Invalid Arguments.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(ReadPort(packet, nullptr, 10000), RC_INVALID_ARGUMENT); }),
              "<ERROR> ReadPort: Invalid Arguments.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(ReadPort(packet, &huge, 10000), RC_INVALID_ARGUMENT); }),
              "<ERROR> ReadPort: Invalid Arguments.\n");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(read_data_logic(nullptr, 16, 10000), RC_INVALID_ARGUMENT); }), "");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(read_data_logic(nullptr, 0, 10000), RC_INVALID_ARGUMENT); }), "");
    EXPECT_EQ(output_of([&] { EXPECT_EQ(WritePort(nullptr, 4), RC_INVALID_ARGUMENT); }), "");
    EXPECT_EQ(bridge().pending(), 2u);
    EXPECT_TRUE(fw().requests().empty());
    EXPECT_TRUE(clock.pauses().empty());
    EXPECT_EQ(count, 4);
}

TEST_F(PortIo, WriteLengthLimit) {
    SetLog(1);
    Bytes packet(516, 0);
    packet[0] = 99;  // an opcode the display does not know; the write is what counts here
    EXPECT_EQ(output_of([&] { EXPECT_EQ(WritePort(packet.data(), 515), 0); }),
              "<INFO> WritePort:Usb write success ,written '515' bytes\n");
    EXPECT_EQ(fw().requests().back().bytes.size(), 515u);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(WritePort(packet.data(), 516), RC_FAILED); }),
              "<ERROR> WritePort: Length overflow 516\n");
    EXPECT_EQ(fw().requests().size(), 1u);
}

TEST_F(PortIo, WriteErrorsAndShortWrites) {
    SetLog(1);
    uint8_t packet[32] = {8};
    bridge().faults.write_error = qv::USB_ERROR_TIMEOUT;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(WritePort(packet, 32), qv::USB_ERROR_TIMEOUT); }),
              "<ERROR> WritePort: Write failed. Error -7\n");
    bridge().faults.short_write = 20;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(WritePort(packet, 32), 0); }),
              "<INFO> WritePort:Usb write success ,written '20' bytes\n");
}

// Before any Scan or Connect the real USB backend is the one in place, untouched: a port
// function that reached it without a device would crash. Each refuses first.
class PortBeforeConnect : public ::testing::Test {
protected:
    void SetUp() override {
        reset_library_state();
        qv::install_usb_backend(nullptr);
    }
    void TearDown() override { reset_library_state(); }
};

TEST_F(PortBeforeConnect, EveryPortFunctionRefuses) {
    uint8_t packet[32] = {8};
    uint16_t count = 32;
    StdoutCapture capture;
    EXPECT_EQ(read_data_logic(packet, 32, 10000), RC_FAILED);
    EXPECT_EQ(read_data_logic(packet, 0, 10000), RC_FAILED);
    EXPECT_EQ(ReadPort(packet, &count, 10000), RC_FAILED);
    EXPECT_EQ(WritePort(packet, 32), RC_FAILED);
    EXPECT_EQ(RegUsbApi(packet, 32), RC_FAILED);
    EXPECT_EQ(read_data_logic(nullptr, 32, 10000), RC_INVALID_ARGUMENT);
    EXPECT_EQ(ReadPort(nullptr, &count, 10000), RC_INVALID_ARGUMENT);
    EXPECT_EQ(ReadPort(packet, nullptr, 10000), RC_INVALID_ARGUMENT);
    EXPECT_EQ(WritePort(nullptr, 32), RC_INVALID_ARGUMENT);
    EXPECT_EQ(WritePort(packet, 0), RC_INVALID_ARGUMENT);
    EXPECT_EQ(RegUsbApi(nullptr, 32), RC_FAILED);
    EXPECT_EQ(capture.stop(),
              "<ERROR> read_data_logic: Uninitialised usb interface\n"
              "<ERROR> read_data_logic: Uninitialised usb interface\n"
              "<ERROR> ReadPort: Uninitialised usb interface\n"
              "<ERROR> WritePort: Uninitialised usb interface\n"
              "<ERROR> ReadPort: Invalid Arguments.\n"
              "<ERROR> ReadPort: Invalid Arguments.\n");
    EXPECT_EQ(count, 32);
    EXPECT_EQ(packet[0], 8);
    EXPECT_FALSE(qv::usb_initialised()) << "USB was never started";
}

// ---- the baud-rate divisor (how it reaches the bridge at Connect is the umockdev tests')

class Baud : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        make_bus(1);
        bus_num[0] = 1;
        dev_num[0] = 2;
    }
};

TEST(BaudRule, WorkedValuesAndRatesOfZeroOrLess) {
    const struct { int wanted; uint16_t value; int achieved; } cases[] = {
        {115200, 26, 115385},  {57600, 0xC034, 57554},   {19200, 0x809C, 19200}, {9600, 0x4138, 9600},
        {921600, 0x8003, 923077}, {1000000, 3, 1000000}, {2000000, 2, 1500000},  {3000000, 0, 3000000},
        {0, 0xAAAA, -1},       {-9600, 0xAAAA, -1},  // refused, nothing written
    };
    for (const auto& c : cases) {
        uint16_t value = 0xAAAA, index = 0xBBBB;
        EXPECT_EQ(qv::convert_baudrate(c.wanted, &value, &index), c.achieved) << c.wanted;
        EXPECT_EQ(value, c.value) << c.wanted;
        EXPECT_EQ(index, c.achieved < 0 ? 0xBBBB : 0) << c.wanted;
    }
}

TEST_F(Baud, ToleranceMessages) {
    const std::string unsupported = "Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4\n";
    baudrate = 115200;
    std::string out = output_of([&] { Connect(0); });
    EXPECT_EQ(out.find("baudrate"), std::string::npos) << "115385 is within 5 %";

    baudrate = 2000000;
    out = output_of([&] { EXPECT_EQ(Connect(0), RC_OK); });
    EXPECT_NE(out.find(unsupported), std::string::npos);
    EXPECT_EQ(bus->controls().back().value, 2);

    // Reads at such a rate ask for one byte at a time, or for a negative size that no read
    // can satisfy: the monitor type read at connect then fails.
    for (auto [silly, rc] : {std::pair{0, RC_OK}, std::pair{-5, RC_OK}, std::pair{INT_MIN, RC_MONITOR_TYPE_FAILED}}) {
        baudrate = silly;
        out = output_of([&, rc = rc] { EXPECT_EQ(Connect(0), rc) << silly; });
        EXPECT_NE(out.find("Silly baudrate <= 0.\n" + unsupported), std::string::npos) << out;
        EXPECT_EQ(bus->controls().back().value, 0);
        EXPECT_EQ(bus->controls().back().index, 0);
    }
    SetLog(0);
    baudrate = 2000000;
    out = output_of([&] { Connect(0); });
    EXPECT_EQ(out, "Moniter Type is 2\n") << "the bridge lines follow the log switch";
}

TEST_F(Baud, ExtremeRatesStillConnect) {
    for (int rate : {INT_MAX, 24000001, 1, 183}) {
        baudrate = rate;
        StdoutCapture quiet;
        EXPECT_EQ(Connect(0), RC_OK) << rate;
    }
}

TEST_F(Baud, FailedBaudRequestIsReportedAndTheConnectionGoesOn) {
    bus->display(0).faults.control_error = qv::USB_ERROR_PIPE;
    const std::string out = output_of([&] { EXPECT_EQ(Connect(0), RC_OK); });
    EXPECT_NE(out.find("\nSetting new baudrate failed\n"), std::string::npos);
}

TEST(BaudRule, EncodedDivisorsDecodeBackToTheAchievedRate) {
    for (int rate = 300; rate <= 3000000; rate = rate * 5 / 4 + 7) {
        uint16_t value = 0;
        uint16_t index = 0;
        const int achieved = qv::convert_baudrate(rate, &value, &index);
        EXPECT_EQ(index, 0) << rate;
        EXPECT_EQ(qv::decode_baud_divisor(value, index), achieved) << rate;
    }
}

}  // namespace
}  // namespace qvtest
