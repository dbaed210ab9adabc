// Settings read back from the packets that carried them: every setting the settings layer
// reads or writes on the simulated display, seen at the USB link as a broker sees it, decodes to
// the setting and the value the layer read or wrote.
#include <set>

#include "gadget_usb/bridge_framing.h"
#include "protocol/frame.h"
#include "settings/decode.h"
#include "support/sim_fixture.h"

namespace {

using qv::settings::Json;
using qv::settings::Setting;
using qv::settings::ValueType;

// The bus as the link sees it: every command written and the reply that answered it.
class Recorder final : public qv::UsbBackend {
public:
    explicit Recorder(qv::UsbBackend& bus) : bus_(bus) {}
    struct Exchange {
        std::vector<uint8_t> request, reply;
    };
    std::vector<Exchange> exchanges;

    int init() override { return bus_.init(); }
    ssize_t get_device_list(qv::UsbDevice*** list) override { return bus_.get_device_list(list); }
    void free_device_list(qv::UsbDevice** list) override { bus_.free_device_list(list); }
    int get_device_descriptor(qv::UsbDevice* d, uint16_t* v, uint16_t* p) override { return bus_.get_device_descriptor(d, v, p); }
    uint8_t get_bus_number(qv::UsbDevice* d) override { return bus_.get_bus_number(d); }
    uint8_t get_device_address(qv::UsbDevice* d) override { return bus_.get_device_address(d); }
    int open(qv::UsbDevice* d, qv::UsbHandle** h) override { return bus_.open(d, h); }
    void close(qv::UsbHandle* h) override { bus_.close(h); }
    int kernel_driver_active(qv::UsbHandle* h, int i) override { return bus_.kernel_driver_active(h, i); }
    int detach_kernel_driver(qv::UsbHandle* h, int i) override { return bus_.detach_kernel_driver(h, i); }
    int claim_interface(qv::UsbHandle* h, int i) override { return bus_.claim_interface(h, i); }
    int release_interface(qv::UsbHandle* h, int i) override { return bus_.release_interface(h, i); }
    int control_transfer(qv::UsbHandle* h, uint8_t rt, uint8_t r, uint16_t v, uint16_t i, uint8_t* d, uint16_t l,
                         unsigned t) override {
        return bus_.control_transfer(h, rt, r, v, i, d, l, t);
    }
    int bulk_transfer(qv::UsbHandle* h, uint8_t endpoint, uint8_t* data, int length, int* moved, unsigned t) override {
        const int rc = bus_.bulk_transfer(h, endpoint, data, length, moved, t);
        if (rc != 0) return rc;
        if ((endpoint & 0x80) == 0) {
            exchanges.push_back({{data, data + *moved}, {}});
        } else if (!exchanges.empty() && exchanges.back().reply.empty() && qv::brings_data(rc, data, *moved)) {
            exchanges.back().reply = qv::settings::reply_bytes({data, static_cast<std::size_t>(*moved)});
        }
        return rc;
    }

private:
    qv::UsbBackend& bus_;
};

class DecodeTest : public qvtest::SimTest {
protected:
    std::unique_ptr<Recorder> recorder;  // installed until the fixture disconnects
};

// A value the setting may take other than `current` (a record: every field it carries
// changed, within its range).
Json other_value(const Setting& s, const Json& current) {
    auto number = [&](long low, long high, int step, const Json& now) {
        for (long v : {low + std::max(step, 1), low, high})
            if (v >= low && v <= high && (step == 0 || v % step == 0) && Json(v) != now) return v;
        return low;
    };
    switch (s.type) {
        case ValueType::u8:
        case ValueType::s16: return number(s.low, s.high, s.step, current);
        case ValueType::text: return "Decoded";
        default: break;
    }
    // Records the library bounds more tightly than their fields' ranges.
    if (s.name == "pip-size") return {{"size-selector", 3}, {"height", 720}};
    if (s.name == "pip-position") return {{"position-selector", 4}, {"x", 300}, {"y", 200}};
    if (s.name == "ip-config")  // static: a set with mode 0 carries no addresses
        return {{"ip-mode", 1}, {"ip-address", "10.0.7.2"}, {"subnet-mask", "255.255.255.0"}, {"gateway", "10.0.7.1"}};
    const bool markers = s.name == "markers" || s.name == "pip-markers";  // one switch on
    Json value = Json::object();
    for (const qv::RecordField& f : s.fields) {
        if (f.read_only && !f.selector) continue;
        const Json now = current.is_object() ? current.value(f.name, Json()) : Json();
        if (f.type == qv::FieldType::ipv4)
            value[f.name] = "10.0.7." + std::to_string(f.offset);
        else if (f.type == qv::FieldType::text)
            value[f.name] = "Decoded";
        else
            value[f.name] = markers ? Json(f.offset == s.fields[0].offset ? 1 : 0) : Json(number(f.low, f.high, 0, now));
    }
    return value;
}

TEST_F(DecodeTest, EverySettingReadsBackFromItsPackets) {
    qv::sim::FirmwareConfig dci;
    dci.mode = "4096x2160";
    make_bus({dci});
    recorder = std::make_unique<Recorder>(*bus);
    qv::install_usb_backend(recorder.get());
    connect_first();
    LogMessage = 0;
    // The display in the state every setting can be reached in; the settings that state rests
    // on are written with the values they have.
    for (const char* on : {"pip", "pip-mode", "web-server", "ws-management"}) fw().set_u8(on, 1);
    fw().set_u8("usb-port-binding", 3);
    fw().set_u8("dci-image-region", 1);
    std::set<std::string> kept;
    for (const Setting& s : qv::settings::all()) kept.insert(s.prerequisites.begin(), s.prerequisites.end());

    std::size_t gets = 0, sets = 0;
    for (const Setting& s : qv::settings::all()) {
        SCOPED_TRACE(s.name);
        Json current;
        if (s.readable) {
            recorder->exchanges.clear();
            // What the display's state forbids (PIP on forbids overdrive) is left out.
            const int rc = qv::settings::read(s, &current);
            if (rc == RC_NOT_ALLOWED) continue;
            ASSERT_EQ(rc, RC_OK);
            // Each entry of a record list comes in a get of its own.
            std::size_t entries = 0;
            for (const auto& e : recorder->exchanges) {
                const auto d = qv::settings::decode_get(e.request, e.reply);
                if (!d || d->setting != &s) continue;
                const Json& expected = s.type == ValueType::record_list ? current.at(std::min(entries, current.size() - 1)) : current;
                EXPECT_EQ(d->value, expected);
                ++entries;
            }
            // A record list: a get per entry; primaries: a get per colour, each bringing all.
            const bool decoded = s.row->get_key.group >= 0 && !(s.value && s.value->shape == qv::CallShape::values && !s.writable);
            const std::size_t per_read = s.type == ValueType::record_list ? current.size()
                                         : s.value && s.value->shape == qv::CallShape::per_field_pair ? s.fields.size() / 2
                                                                                                       : 1;
            EXPECT_EQ(entries, decoded ? per_read : 0);
            gets += entries;
        }
        if (!s.writable) continue;
        Json value = kept.count(s.name) != 0 ? current : other_value(s, s.type == ValueType::record_list ? current.at(1) : current);
        recorder->exchanges.clear();
        ASSERT_EQ(qv::settings::write(s, value), RC_OK) << value.dump();
        std::size_t found = 0;
        for (const auto& e : recorder->exchanges) {
            const auto d = qv::settings::decode_set(e.request, e.reply);
            if (!d || d->setting != &s) continue;
            EXPECT_EQ(d->value, value);
            ++found;
        }
        EXPECT_EQ(found, 1u);
        sets += found;
        // A refused set changes nothing.
        fw().refuse(qv::kOpSet, -1, -1, 1, 1);
        recorder->exchanges.clear();
        qv::settings::write(s, value);
        for (const auto& e : recorder->exchanges) EXPECT_FALSE(qv::settings::decode_set(e.request, e.reply));
        fw().clear_refusals();
    }
    EXPECT_GE(gets, 98u);
    EXPECT_GE(sets, 77u);
}

}  // namespace
