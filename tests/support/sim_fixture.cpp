#include "support/sim_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "gadget_usb/clock.h"

namespace qvtest {

StdoutCapture::~StdoutCapture() {
    if (saved_ >= 0) stop();
}

void StdoutCapture::start() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    dup2(fileno(file_), STDOUT_FILENO);
}

std::string StdoutCapture::stop() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    std::string text;
    std::rewind(file_);
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
    std::fclose(file_);
    file_ = nullptr;
    return text;
}

std::string without_info_lines(std::string printed) {
    for (std::size_t at = printed.find("<INFO> "); at != std::string::npos; at = printed.find("<INFO> ", at)) {
        const std::size_t end = printed.find('\n', at);
        printed.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    return printed;
}

std::vector<std::string> sent(const qv::sim::Firmware& firmware) {
    std::vector<std::string> out;
    for (const auto& r : firmware.requests()) {
        if (r.opcode() == 8 || r.opcode() == 3)
            out.push_back((r.opcode() == 8 ? "get " : "set ") + std::to_string(r.group()) + "," + std::to_string(r.item()));
        else
            out.push_back("op " + std::to_string(r.opcode()));
    }
    return out;
}

std::vector<uint8_t> packet_with(std::initializer_list<std::pair<int, uint8_t>> bytes) {
    std::vector<uint8_t> packet(32, 0);
    for (const auto& [at, value] : bytes) packet.at(static_cast<std::size_t>(at)) = value;
    return packet;
}

void reset_library_state() {
    ConnectFlag = 0;
    g_glimmetHandle = nullptr;
    m_claimed_interface = 0;
    std::memset(bus_num, 0, sizeof bus_num);
    std::memset(dev_num, 0, sizeof dev_num);
    conn_bus_num = 0;
    conn_dev_num = 0;
    baudrate = 115200;
    gu8MonitorType = 0xFF;
    LogMessage = 1;
}

void SimTest::SetUp() {
    reset_library_state();
    qv::install_clock(&clock);
}

void SimTest::TearDown() {
    // Whatever a test left open is closed on the bus it belongs to.
    if (bus) {
        const uint8_t log = LogMessage;
        LogMessage = 0;
        m_claimed_interface = 0;  // a failed release must not keep the handle alive
        Disconnect();
        LogMessage = log;
    }
    qv::install_usb_backend(nullptr);
    qv::install_clock(nullptr);
    reset_library_state();
}

qv::sim::SimBus& SimTest::make_bus(const std::vector<qv::sim::FirmwareConfig>& displays) {
    bus = std::make_unique<qv::sim::SimBus>(displays, clock);
    qv::install_usb_backend(bus.get());
    return *bus;
}

qv::sim::SimBus& SimTest::make_bus(int displays, uint8_t monitor_type) {
    std::vector<qv::sim::FirmwareConfig> configs;
    for (int i = 0; i < displays; ++i) {
        qv::sim::FirmwareConfig c;
        c.serial = "QVTEST000" + std::to_string(i + 1);
        c.monitor_type = monitor_type;
        configs.push_back(c);
    }
    return make_bus(configs);
}

void SimTest::connect_first() {
    if (!bus) make_bus(1);
    char serials[36] = {};
    StdoutCapture quiet;
    const int found = Scan(serials);
    const int rc = Connect(0);
    quiet.stop();
    ASSERT_GE(found, 1);
    ASSERT_EQ(rc, RC_OK);
    for (std::size_t i = 0; i < bus->display_count(); ++i) fw(i).clear_requests();
    clock.clear_pauses();
}

}  // namespace qvtest
