#include "calls.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <tuple>

#include "quorvex.h"

namespace qv::settings::detail {

namespace {

namespace rec = qv::records;

template <class T>
void put(uint8_t* bytes, const T& v) {
    std::memcpy(bytes, &v, sizeof v);
}
template <class T>
T take(const uint8_t* bytes) {
    T v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

// A text the library writes into the caller's buffer.
template <auto Get>
int read_text(const Setting&, uint8_t* bytes) {
    return Get(reinterpret_cast<char*>(bytes));
}

// A packed record of the public header, read and written whole.
template <class T, auto Get>
int read_record(const Setting&, uint8_t* bytes) {
    T record{};
    const int rc = Get(&record);
    if (rc == RC_OK) put(bytes, record);
    return rc;
}
template <class T, auto Set>
int write_record(const Setting&, const uint8_t* bytes) {
    const T record = take<T>(bytes);
    return Set(&record);
}

int read_ip_config(const Setting&, uint8_t* bytes) {
    rec::IpConfig v{};
    const int rc = GetIPConfiguration(reinterpret_cast<char*>(&v.config), v.mac);
    if (rc == RC_OK) put(bytes, v);
    return rc;
}
int write_ip_config(const Setting&, const uint8_t* bytes) {
    IPConfigRecord config = take<IPConfigRecord>(bytes);
    return SetIPConfiguration(reinterpret_cast<uint8_t*>(&config));
}

int read_monitor_type(const Setting&, uint8_t* bytes) { return GetMonitorType(bytes); }

// A value the library reads and takes as one argument per field, in the order named here
// (a setter may take fewer). Arrays go as themselves, anything else by its address.
template <class M>
M* out(M& member) {
    return &member;
}
template <class M, std::size_t N>
M* out(M (&member)[N]) {
    return member;
}
template <class> struct owner;
template <class R, class M> struct owner<M R::*> {
    using type = R;
};
template <auto... Field>
using record_of = typename owner<std::tuple_element_t<0, std::tuple<decltype(Field)...>>>::type;

template <auto Get, auto... Field>
int read_fields(const Setting&, uint8_t* bytes) {
    record_of<Field...> v{};
    const int rc = Get(out(v.*Field)...);
    if (rc == RC_OK) put(bytes, v);
    return rc;
}
template <auto Set, auto... Field>
int write_fields(const Setting&, const uint8_t* bytes) {
    const auto v = take<record_of<Field...>>(bytes);
    return Set((v.*Field)...);
}

// One function per colour, each giving two chromaticity coordinates.
template <auto Red, auto Green, auto Blue, auto White>
int read_primaries(const Setting&, uint8_t* bytes) {
    rec::Primaries v{};
    for (const auto& [get, a, b] : {std::tuple{Red, &v.red_a, &v.red_b}, std::tuple{Green, &v.green_a, &v.green_b},
                                    std::tuple{Blue, &v.blue_a, &v.blue_b}, std::tuple{White, &v.white_a, &v.white_b}})
        if (const int rc = get(a, b); rc != RC_OK) return rc;
    put(bytes, v);
    return RC_OK;
}

// Function buttons: one row per button, numbered from 1 by the row's item.
int read_function_button(const Setting& s, uint8_t* bytes) {
    int16_t action = 0;
    const int rc = GetFunctionButtonSettings(static_cast<uint16_t>(s.row->get_key.item + 1), &action);
    if (rc == RC_OK) put(bytes, action);
    return rc;
}
int write_function_button(const Setting& s, const uint8_t* bytes) {
    return SetFunctionButtonSettings(static_cast<uint16_t>(s.row->set_key.item + 1), take<int16_t>(bytes));
}

// One input's name record, the input number already in it. The name type the setter takes is
// worked out from the name (see Quirk::input_name).
int read_input_name(const Setting&, uint8_t* bytes) {
    InputNameRecord r = take<InputNameRecord>(bytes);
    const int rc = GetVideoInputName(r.InputNumber, r.CustomName, &r.CustomNameStatus);
    if (rc == RC_OK) put(bytes, r);
    return rc;
}

constexpr uint8_t kCustomName = 11;

int write_input_name(const Setting&, const uint8_t* bytes) {
    const InputNameRecord r = take<InputNameRecord>(bytes);
    const std::string_view name(r.CustomName, strnlen(r.CustomName, sizeof r.CustomName));
    const int input = r.InputNumber;
    uint8_t type = kCustomName;
    if (r.CustomNameStatus != 1 && input < 5) {
        if (name == byDefaultInputNames[input]) {
            type = 0;
        } else {
            for (int k = 0; k < 10; ++k) {
                const char* predefined = byPredefinedInputNames[input][k];
                if (predefined[0] != '\0' && name == std::string_view(predefined, strnlen(predefined, 15)))
                    type = static_cast<uint8_t>(k + 1);
            }
        }
    }
    return SetVideoInputName(r.InputNumber, type, r.CustomName);
}

constexpr Call kCalls[] = {
    {"GetDisplaySerialNumber", read_text<GetDisplaySerialNumber>, nullptr},
    {"GetMonitorType", read_monitor_type, nullptr},
    {"GetDisplayMode", read_text<GetDisplayMode>, nullptr},
    {"GetPIPResolution", read_fields<GetPIPResolution, &rec::PipResolution::width, &rec::PipResolution::height>,
     nullptr},
    {"GetDownstreamRGBAdjust", read_fields<GetDownstreamRGBAdjust, &rec::RgbAdjust::gains, &rec::RgbAdjust::offsets>,
     write_fields<SetDownstreamRGBAdjust, &rec::RgbAdjust::gains, &rec::RgbAdjust::offsets>},
    {"GetCurrentColorSpaceName", read_text<GetCurrentColorSpaceName>, nullptr},
    {"GetGamma", read_text<GetGamma>, nullptr},
    {"GetRedPrimaryXY", read_primaries<GetRedPrimaryXY, GetGreenPrimaryXY, GetBluePrimaryXY, GetWhitePrimaryXY>, nullptr},
    {"GetRedPrimaryUV", read_primaries<GetRedPrimaryUV, GetGreenPrimaryUV, GetBluePrimaryUV, GetWhitePrimaryUV>, nullptr},
    {"GetPresetNameList", read_fields<GetPresetNameList, &rec::PresetNames::names>, nullptr},
    {"GetVideoInputName", read_input_name, write_input_name},
    {"GetUSBBindingConfiguration", read_fields<GetUSBBindingConfiguration, &rec::UsbBinding::usb1, &rec::UsbBinding::usb2>,
     write_fields<SetUSBBindingConfiguration, &rec::UsbBinding::usb1, &rec::UsbBinding::usb2>},
    {"GetImageScaling", read_fields<GetImageScaling, &rec::ImageScaling::aspect_ratio, &rec::ImageScaling::pixel_status>,
     write_fields<SetImageScaling, &rec::ImageScaling::aspect_ratio, &rec::ImageScaling::pixel_status>},
    {"GetMarkerDetails", read_record<MarkerDetails, GetMarkerDetails>, write_record<MarkerDetails, SetMarkerDetails>},
    {"GetPIPMarkerDetails", read_record<MarkerDetails, GetPIPMarkerDetails>,
     write_record<MarkerDetails, SetPIPMarkerDetails>},
    {"GetPIPSize", read_fields<GetPIPSize, &rec::PipSize::size_selector, &rec::PipSize::width, &rec::PipSize::height>,
     write_fields<SetPIPSize, &rec::PipSize::size_selector, &rec::PipSize::height>},
    {"GetPIPPosition", read_fields<GetPIPPosition, &rec::PipPosition::position_selector, &rec::PipPosition::x, &rec::PipPosition::y>,
     write_fields<SetPIPPosition, &rec::PipPosition::position_selector, &rec::PipPosition::x, &rec::PipPosition::y>},
    {"GetCalibrationSchedule", read_record<CalibrationSchedule, GetCalibrationSchedule>,
     write_record<CalibrationSchedule, SetCalibrationSchedule>},
    {"GetDisplayWarmupSettings", read_record<DisplayWarmupSettings, GetDisplayWarmupSettings>,
     write_record<DisplayWarmupSettings, SetDisplayWarmupSettings>},
    {"GetDateAndTime", read_record<DateTimeRecord, GetDateAndTime>, write_record<DateTimeRecord, SetDateAndTime>},
    {"GetOSDPosition", read_fields<GetOSDPosition, &rec::OsdPosition::x, &rec::OsdPosition::y>,
     write_fields<SetOSDPosition, &rec::OsdPosition::x, &rec::OsdPosition::y>},
    {"GetIPConfiguration", read_ip_config, write_ip_config},
    {"GetFirmwareRevision", read_text<GetFirmwareRevision>, nullptr},
    {"GetCustomerIDAsset", read_text<GetCustomerIDAsset>, nullptr},
    {"GetDeploymentDate", read_text<GetDeploymentDate>, nullptr},
    {"GetDeploymentLocation", read_text<GetDeploymentLocation>, nullptr},
    {"GetDisplayName", read_text<GetDisplayName>, nullptr},
    {"GetFunctionButtonSettings", read_function_button, write_function_button},
};

constexpr const Call* find_call(const SettingRow& row) {
    const char* function = row.getter != nullptr ? row.getter : row.setter;
    if (function == nullptr) return nullptr;
    for (const Call& call : kCalls)
        if (std::string_view(call.function) == function) return &call;
    return nullptr;
}

constexpr bool every_departure_has_a_call() {
    for (const SettingRow& row : kSettings)
        if (row.departure && find_call(row) == nullptr) return false;
    return true;
}
static_assert(every_departure_has_a_call(), "a departure row names functions that no call here takes");

}  // namespace

const Call* call_of(const SettingRow& row) { return find_call(row); }

}  // namespace qv::settings::detail
