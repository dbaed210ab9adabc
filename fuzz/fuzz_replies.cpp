// Every reply the library parses: one exported function per input (every get function, every
// mode guard, every setter whose guards read the display, the discovery reads), called with
// caller buffers of exactly the sizes the header documents between guard bytes, while every
// IN transfer brings bytes the fuzzer chose. No write may land outside the caller's buffers,
// a text read successfully ends within its buffer, and the result is one of the header's codes.
//
// Input: a byte picking the function, the monitor type, a log switch, the function's own
// arguments, then the replies, each a header byte (top two bits: 0 a reply of `length` bytes
// framed as the bridge frames it, 1 a raw transfer of `length` bytes with whatever status
// bytes, 2 a failed transfer, 3 status bytes only) and for kinds 0 and 1 a length byte and the
// bytes. When the input runs out the display says nothing more.
#include <unistd.h>

#include <map>
#include <string>

#include "fuzz_support.h"

namespace {

using qvfuzz::Guarded;
using qvfuzz::Input;

void result(const char* name, int rc) {
    QV_FUZZ_CHECK(qvfuzz::documented_result(rc), "%s returned %d", name, rc);
}

// A text the function read: on success it must end within its buffer.
void text_result(const char* name, int rc, const Guarded& text) {
    result(name, rc);
    text.check(name);
    if (rc == RC_OK) QV_FUZZ_CHECK(text.terminated(), "%s left its %zu-byte text without a NUL", name, text.size());
}

template <class T>
T value(Input& in) {
    T v{};
    for (std::size_t i = 0; i < sizeof v; ++i) reinterpret_cast<uint8_t*>(&v)[i] = in.byte();
    return v;
}

// A caller's record (or array) of `size` bytes that the function reads.
Guarded record(Input& in, std::size_t size) {
    Guarded r(size);
    for (std::size_t i = 0; i < size; ++i) r.data()[i] = in.byte();
    return r;
}

// A NUL-terminated text of up to 40 characters.
Guarded text_argument(Input& in) {
    const std::size_t length = in.byte() % 41;
    Guarded t(length + 1);
    for (std::size_t i = 0; i < length; ++i) t.data()[i] = in.byte();
    t.data()[length] = 0;
    return t;
}

using Call = void (*)(Input&);

std::map<std::string, Call>& calls() {
    static std::map<std::string, Call> table;
    return table;
}

struct Add {
    Add(const char* name, Call call) { calls()[name] = call; }
};

#define QV_CALL(name) static void call_##name(Input& in); static const Add add_##name(#name, call_##name); \
    static void call_##name([[maybe_unused]] Input& in)

// A text of `size` bytes read by f.
#define QV_TEXT(name, size)                                                     \
    QV_CALL(name) {                                                             \
        Guarded text(size);                                                     \
        const int rc = name(text.as<char>());                                   \
        text_result(#name, rc, text);                                           \
    }

// Two values read by f.
#define QV_TWO(name, T)                                                         \
    QV_CALL(name) {                                                             \
        Guarded a(sizeof(T)), b(sizeof(T));                                     \
        const int rc = name(a.as<T>(), b.as<T>());                              \
        a.check(#name);                                                         \
        b.check(#name);                                                         \
        result(#name, rc);                                                      \
    }

// A record of type R read (Get) and written (Set).
#define QV_RECORD(get, set, R)                                                  \
    QV_CALL(get) {                                                              \
        Guarded r(sizeof(R));                                                   \
        const int rc = get(r.as<R>());                                          \
        r.check(#get);                                                          \
        result(#get, rc);                                                       \
    }                                                                           \
    QV_CALL(set) {                                                              \
        Guarded r = record(in, sizeof(R));                                      \
        const int rc = set(r.as<const R>());                                    \
        r.check(#set);                                                          \
        result(#set, rc);                                                       \
    }

// The functions of the simple forms, from the header.
#define QV_NAME(name)
#define QV_OUT(name, T)                                                         \
    QV_CALL(name) {                                                             \
        Guarded v(sizeof(T));                                                   \
        const int rc = name(v.as<T>());                                         \
        v.check(#name);                                                         \
        result(#name, rc);                                                      \
    }
#define QV_IN(name, T) QV_CALL(name) { result(#name, name(value<T>(in))); }
#define QV_VOID(name) QV_CALL(name) { result(#name, name()); }
#include "api_list.inc"
#undef QV_NAME
#undef QV_OUT
#undef QV_IN
#undef QV_VOID

}  // namespace

// The functions beyond the simple forms (and those of a simple form whose argument is not a
// single value), by hand. These definitions win over the generated ones of the same name.
namespace by_hand {
using qvfuzz::Guarded;
using qvfuzz::Input;

QV_TEXT(GetDisplaySerialNumber, 11)
QV_TEXT(GetSdkVersion, 5)
QV_TEXT(GetDisplayMode, 25)
QV_TEXT(GetCurrentColorSpaceName, 15)
QV_TEXT(GetGamma, 15)
QV_TEXT(GetFirmwareRevision, 8)
QV_TEXT(GetCustomerIDAsset, 19)
QV_TEXT(GetDeploymentDate, 11)
QV_TEXT(GetDeploymentLocation, 19)
QV_TEXT(GetDisplayName, 19)
QV_TWO(GetImageAdjustmentMode, int16_t)
QV_TWO(GetPIPResolution, int16_t)
QV_TWO(GetOSDPosition, int16_t)
QV_TWO(GetUSBBindingConfiguration, uint8_t)
QV_TWO(GetImageScaling, uint8_t)
QV_TWO(GetRedPrimaryXY, float)
QV_TWO(GetRedPrimaryUV, float)
QV_TWO(GetGreenPrimaryXY, float)
QV_TWO(GetGreenPrimaryUV, float)
QV_TWO(GetBluePrimaryXY, float)
QV_TWO(GetBluePrimaryUV, float)
QV_TWO(GetWhitePrimaryXY, float)
QV_TWO(GetWhitePrimaryUV, float)
QV_RECORD(GetMarkerDetails, SetMarkerDetails, MarkerDetails)
QV_RECORD(GetPIPMarkerDetails, SetPIPMarkerDetails, MarkerDetails)
QV_RECORD(GetCalibrationSchedule, SetCalibrationSchedule, CalibrationSchedule)
QV_RECORD(GetDisplayWarmupSettings, SetDisplayWarmupSettings, DisplayWarmupSettings)
QV_RECORD(GetDateAndTime, SetDateAndTime, DateTimeRecord)

QV_CALL(Scan) {
    Guarded serials(MAX_DISPLAYS * 12);
    const int found = Scan(serials.as<char>());
    serials.check("Scan");
    QV_FUZZ_CHECK(found == 1 || qvfuzz::documented_result(found), "Scan returned %d on a bus of one display", found);
    if (found == 1) QV_FUZZ_CHECK(serials.data()[10] == 0, "Scan left the serial number without its NUL");
}
QV_CALL(Connect) { result("Connect", Connect(static_cast<int8_t>(in.byte() % 5))); }
QV_CALL(GetDownstreamRGBAdjust) {
    Guarded gains(6), offsets(6);
    const int rc = GetDownstreamRGBAdjust(gains.as<int16_t>(), offsets.as<int16_t>());
    gains.check("GetDownstreamRGBAdjust");
    offsets.check("GetDownstreamRGBAdjust");
    result("GetDownstreamRGBAdjust", rc);
}
QV_CALL(SetDownstreamRGBAdjust) {
    Guarded gains = record(in, 6), offsets = record(in, 6);
    result("SetDownstreamRGBAdjust", SetDownstreamRGBAdjust(gains.as<const int16_t>(), offsets.as<const int16_t>()));
    gains.check("SetDownstreamRGBAdjust");
    offsets.check("SetDownstreamRGBAdjust");
}
QV_CALL(GetPresetNameList) {
    Guarded names(8 * 15);
    const int rc = GetPresetNameList(reinterpret_cast<char(*)[15]>(names.data()));
    names.check("GetPresetNameList");
    result("GetPresetNameList", rc);
    for (std::size_t i = 0; rc == RC_OK && i < 8; ++i)
        QV_FUZZ_CHECK(std::memchr(names.data() + 15 * i, 0, 15) != nullptr, "preset name %zu has no NUL", i);
}
QV_CALL(GetVideoInputName) {
    Guarded name(15), status(1);
    const int rc = GetVideoInputName(in.byte(), name.as<char>(), status.data());
    status.check("GetVideoInputName");
    text_result("GetVideoInputName", rc, name);
}
QV_CALL(SetVideoInputName) {
    const uint8_t input = in.byte(), type = in.byte();
    Guarded name = text_argument(in);
    result("SetVideoInputName", SetVideoInputName(input, type, name.as<const char>()));
    name.check("SetVideoInputName");
}
QV_CALL(SetUSBBindingConfiguration) {
    const uint8_t a = in.byte();
    result("SetUSBBindingConfiguration", SetUSBBindingConfiguration(a, in.byte()));
}
QV_CALL(SetImageScaling) {
    const uint8_t a = in.byte();
    result("SetImageScaling", SetImageScaling(a, in.byte()));
}
QV_CALL(GetPIPPosition) {
    Guarded selector(1), x(2), y(2);
    const int rc = GetPIPPosition(selector.data(), x.as<int16_t>(), y.as<int16_t>());
    selector.check("GetPIPPosition"), x.check("GetPIPPosition"), y.check("GetPIPPosition");
    result("GetPIPPosition", rc);
}
QV_CALL(GetPIPSize) {
    Guarded selector(1), w(2), h(2);
    const int rc = GetPIPSize(selector.data(), w.as<int16_t>(), h.as<int16_t>());
    selector.check("GetPIPSize"), w.check("GetPIPSize"), h.check("GetPIPSize");
    result("GetPIPSize", rc);
}
QV_CALL(SetPIPPosition) {
    const uint8_t selector = in.byte();
    const auto x = value<int16_t>(in);
    result("SetPIPPosition", SetPIPPosition(selector, x, value<int16_t>(in)));
}
QV_CALL(SetPIPSize) {
    const uint8_t selector = in.byte();
    result("SetPIPSize", SetPIPSize(selector, value<int16_t>(in)));
}
QV_CALL(SetOSDPosition) {
    const auto x = value<int16_t>(in);
    result("SetOSDPosition", SetOSDPosition(x, value<int16_t>(in)));
}
QV_CALL(ConfigureAndCalibratePreset) {
    uint8_t v[5];
    for (uint8_t& b : v) b = in.byte();
    result("ConfigureAndCalibratePreset", ConfigureAndCalibratePreset(v[0], v[1], v[2], v[3], v[4]));
}
QV_CALL(GetIPConfiguration) {
    Guarded config(sizeof(IPConfigRecord)), mac(18);
    const int rc = GetIPConfiguration(config.as<char>(), mac.as<char>());
    config.check("GetIPConfiguration");
    text_result("GetIPConfiguration", rc, mac);
    for (std::size_t field = 0; rc == RC_OK && field < 3; ++field)
        QV_FUZZ_CHECK(std::memchr(config.data() + 1 + 16 * field, 0, 16) != nullptr, "address %zu has no NUL", field);
}
QV_CALL(SetIPConfiguration) {
    Guarded config = record(in, sizeof(IPConfigRecord));  // address texts need not end in a NUL
    result("SetIPConfiguration", SetIPConfiguration(config.data()));
    config.check("SetIPConfiguration");
}
QV_CALL(SplitIPV4) {
    Guarded text = text_argument(in), bytes(4);
    SplitIPV4(text.as<char>(), bytes.data());
    text.check("SplitIPV4");
    bytes.check("SplitIPV4");
}
QV_CALL(GetFunctionButtonSettings) {
    Guarded setting(2);
    const int rc = GetFunctionButtonSettings(value<uint16_t>(in), setting.as<int16_t>());
    setting.check("GetFunctionButtonSettings");
    result("GetFunctionButtonSettings", rc);
}
QV_CALL(SetFunctionButtonSettings) {
    const auto button = value<uint16_t>(in);
    result("SetFunctionButtonSettings", SetFunctionButtonSettings(button, value<int16_t>(in)));
}
QV_CALL(ShowTestPatternforUserMode) {
    const auto r = value<int16_t>(in), g = value<int16_t>(in);
    result("ShowTestPatternforUserMode", ShowTestPatternforUserMode(r, g, value<int16_t>(in)));
}
QV_CALL(ShowTestPatternServiceMode) { result("ShowTestPatternServiceMode", ShowTestPatternServiceMode(value<uint32_t>(in))); }
QV_CALL(s16ValidateSWord16Var) {
    const int v = value<int>(in), lo = value<int>(in), hi = value<int>(in);
    const int rc = s16ValidateSWord16Var(v, lo, hi);
    QV_FUZZ_CHECK(rc == 0 || rc == -1, "s16ValidateSWord16Var returned %d", rc);
}
QV_CALL(SetTimeOutForReadPort) {
    const int ms = SetTimeOutForReadPort(in.byte());
    QV_FUZZ_CHECK(ms == 10000 || ms == 1200000 || ms == 3600000, "read timeout %d", ms);
}
QV_CALL(ubGetGroupId) { QV_FUZZ_CHECK(ubGetGroupId(in.byte()) <= 9, "group above 9"); }
QV_CALL(SendFileToDisplay) {
    static const std::string path = [] {
        std::string p = "/tmp/qvfuzz-upload-" + std::to_string(getpid());
        FILE* f = std::fopen(p.c_str(), "wb");
        for (int i = 0; f != nullptr && i < 300; ++i) std::fputc(i, f);
        if (f != nullptr) std::fclose(f);
        std::atexit([] { std::remove(path.c_str()); });
        return p;
    }();
    result("SendFileToDisplay", SendFileToDisplay(in.byte() % 9, path.c_str()));
}

}  // namespace by_hand

namespace {

// Functions that other targets exercise: the transport (fuzz_bridge) and the download
// (fuzz_download).
const char* const kElsewhere[] = {"WritePort", "ReadPort", "read_data_logic", "RegUsbApi", "GetFileFromDisplay"};

std::vector<Call> every_call() {
    std::vector<Call> out;
#define QV_NAME(name)                                                                           \
    {                                                                                           \
        const auto it = calls().find(#name);                                                    \
        bool elsewhere = false;                                                                 \
        for (const char* e : kElsewhere) elsewhere = elsewhere || std::string(e) == #name;      \
        QV_FUZZ_CHECK(it != calls().end() || elsewhere, "no call for the exported %s", #name);  \
        if (it != calls().end()) out.push_back(it->second);                                     \
    }
#define QV_OUT(name, T)
#define QV_IN(name, T)
#define QV_VOID(name)
#include "api_list.inc"
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::vector<Call> functions = every_call();
    qvfuzz::ScriptedBus& bus = qvfuzz::start_library();
    Input in(data, size);
    const Call call = functions[in.byte() % functions.size()];
    qvfuzz::connected(in.byte());
    LogMessage = (in.byte() & 1) != 0 ? 1 : 0;
    bus.script(qvfuzz::next_reply, &in);
    call(in);
    bus.script(nullptr, nullptr);
    return 0;
}
