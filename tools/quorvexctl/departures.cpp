#include "departures.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

#include "quorvex.h"

namespace qvctl {

namespace {

using FT = FieldType;

// ---- values in and out of packed records and buffers

Json field_from_bytes(const Field& f, const uint8_t* bytes) {
    const uint8_t* at = bytes + f.offset;
    switch (f.type) {
        case FT::u8: return *at;
        case FT::s16: {
            int16_t v = 0;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        case FT::text:
        case FT::ipv4: {
            const char* text = reinterpret_cast<const char*>(at);
            return std::string(text, strnlen(text, static_cast<std::size_t>(f.high)));
        }
        case FT::f32: break;
    }
    return nullptr;
}

void field_to_bytes(const Field& f, const Json& value, uint8_t* bytes) {
    uint8_t* at = bytes + f.offset;
    switch (f.type) {
        case FT::u8: *at = static_cast<uint8_t>(value.get<int>()); break;
        case FT::s16: {
            const auto v = static_cast<int16_t>(value.get<int>());
            std::memcpy(at, &v, sizeof v);
            break;
        }
        case FT::text:
        case FT::ipv4: {
            const std::string text = value.get<std::string>();
            std::memcpy(at, text.data(), text.size());  // checked against high, which leaves the NUL
            break;
        }
        case FT::f32: break;
    }
}

int int_of(const Json& v, const char* field) { return v.at(field).get<int>(); }

// ---- shapes

// What a departure's functions check before they send anything, when the row names no guard
// of the table: the text for people and the settings it reads (written first on restore).
struct Needs {
    const char* text = nullptr;
    const char* first[2] = {nullptr, nullptr};
};
constexpr Needs kNothing{};
constexpr Needs kPipOn{qv::guard::pip_on.needs, {"pip"}};
constexpr Needs kPipMode1{qv::guard::pip_mode1.needs, {"pip", "pip-mode"}};
constexpr Needs kImageMode{qv::guard::image_mode.needs};
constexpr Needs kMarkerMain{qv::guard::marker_main.needs};
constexpr Needs kMarkerPip{qv::guard::marker_pip.needs, {"pip"}};
constexpr Needs kWebServer{qv::guard::web_server.needs, {"web-server"}};
constexpr Needs kUsbBindingOn{"USB port binding status 3", {"usb-port-binding"}};

struct Shape {
    const char* function;  // the getter the row names (or its setter when it has no getter)
    ValueType type;
    const Needs& needs;
    std::span<const Field> fields;
    int (*read_fn)(const Setting&, Json*);
    int (*write_fn)(const Setting&, const Json&);
    int low = 0, high = 0;  // an integer shape's range
};

// A packed record of the public header, read and written whole.
template <class T, auto Get, auto Set, const auto& Fields>
int read_record(const Setting&, Json* value) {
    T record{};
    if (const int rc = Get(&record); rc != RC_OK) return rc;
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &record, sizeof bytes);
    Json object = Json::object();
    for (const Field& f : Fields) object[f.name] = field_from_bytes(f, bytes);
    *value = std::move(object);
    return RC_OK;
}

template <class T, auto Get, auto Set, const auto& Fields>
int write_record(const Setting&, const Json& value) {
    uint8_t bytes[sizeof(T)] = {};
    for (const Field& f : Fields)
        if (!f.read_only) field_to_bytes(f, value.at(f.name), bytes);
    T record;
    std::memcpy(&record, bytes, sizeof record);
    return Set(&record);
}

// A text the display reports; the library writes at most a few dozen bytes and a NUL.
template <auto Get>
int read_text(const Setting&, Json* value) {
    char text[64] = {};
    if (const int rc = Get(text); rc != RC_OK) return rc;
    *value = std::string(text, strnlen(text, sizeof text - 1));
    return RC_OK;
}

constexpr Field kDateTime[] = {
    {"month", FT::u8, 1, 12, false, false, offsetof(DateTimeRecord, month)},
    {"day", FT::u8, 1, 31, false, false, offsetof(DateTimeRecord, day)},
    {"year", FT::s16, -32768, 32767, false, false, offsetof(DateTimeRecord, year)},
    {"hour", FT::u8, 0, 23, false, false, offsetof(DateTimeRecord, hour)},
    {"minute", FT::u8, 0, 59, false, false, offsetof(DateTimeRecord, minute)},
    {"timezone", FT::u8, 0, 45, false, false, offsetof(DateTimeRecord, timezone)},
    {"time-format", FT::u8, 0, 1, false, false, offsetof(DateTimeRecord, timeFormat)},
    {"extra-flag", FT::u8, 0, 1, false, false, offsetof(DateTimeRecord, extraFlag)},
};

constexpr Field kSchedule[] = {
    {"schedule-status", FT::u8, 0, 1, false, false, offsetof(CalibrationSchedule, ScheduleStatus)},
    {"frequency-type", FT::u8, 0, 2, false, false, offsetof(CalibrationSchedule, FrequencyType)},
    {"frequency-count", FT::s16, 0, 4, false, false, offsetof(CalibrationSchedule, FrequencyCount)},
    {"dayof-week", FT::u8, 0, 6, false, false, offsetof(CalibrationSchedule, DayofWeek)},
    {"time-hh", FT::u8, 0, 12, false, false, offsetof(CalibrationSchedule, TimeHH)},
    {"time-mm", FT::u8, 0, 59, false, false, offsetof(CalibrationSchedule, TimeMM)},
    {"time-meridian", FT::u8, 0, 1, false, false, offsetof(CalibrationSchedule, TimeMeridian)},
};

// The display reports an all-zero record while no schedule is set, and the library checks every
// field even then (the hour must be 1..12) though it sends none of them: a schedule that is off
// goes out as off with an hour the check accepts, so that a dump of it can be restored.
int write_schedule(const Setting& s, const Json& value) {
    if (value.at("schedule-status").get<int>() != 0)
        return write_record<CalibrationSchedule, GetCalibrationSchedule, SetCalibrationSchedule, kSchedule>(s, value);
    CalibrationSchedule off{};
    off.TimeHH = 1;
    return SetCalibrationSchedule(&off);
}

// The display reports an all-zero record while warm-up is off, so the hour may read 0.
constexpr Field kWarmup[] = {
    {"warmup-enable-status", FT::u8, 0, 1, false, false, 0},
    {"warmup-time-hour", FT::u8, 0, 12, false, false, 1},
    {"warmup-time-minute", FT::u8, 0, 59, false, false, 2},
    {"warmuptime-meridian", FT::u8, 0, 1, false, false, 3},
    {"warmup-enable-sunday", FT::u8, 0, 1, false, false, 4},
    {"warmup-enable-monday", FT::u8, 0, 1, false, false, 5},
    {"warmup-enable-tuesday", FT::u8, 0, 1, false, false, 6},
    {"warmup-enable-wednesday", FT::u8, 0, 1, false, false, 7},
    {"warmup-enable-thursday", FT::u8, 0, 1, false, false, 8},
    {"warmup-enable-friday", FT::u8, 0, 1, false, false, 9},
    {"warmup-enable-saturday", FT::u8, 0, 1, false, false, 10},
};
static_assert(sizeof(DisplayWarmupSettings) == std::size(kWarmup));

// clearMarkers (byte 0) is the clear-markers verb, not a field. A marker read from the display
// may be 2, the display's own state for it.
constexpr Field kMarkers[] = {
    {"marker1", FT::u8, 0, 2, false, false, 1},   {"marker2", FT::u8, 0, 2, false, false, 2},
    {"marker3", FT::u8, 0, 2, false, false, 3},   {"marker4", FT::u8, 0, 255, false, false, 4},
    {"marker5", FT::u8, 0, 2, false, false, 5},   {"marker6", FT::u8, 0, 2, false, false, 6},
    {"marker7", FT::u8, 0, 2, false, false, 7},   {"marker8", FT::u8, 0, 2, false, false, 8},
    {"marker9", FT::u8, 0, 2, false, false, 9},   {"marker10", FT::u8, 0, 2, false, false, 10},
    {"marker11", FT::u8, 0, 2, false, false, 11},
};

constexpr Field kIpConfig[] = {
    {"ip-mode", FT::u8, 0, 1, false, false, offsetof(IPConfigRecord, ipMode)},
    {"ip-address", FT::ipv4, 0, 15, false, false, offsetof(IPConfigRecord, ipAddress)},
    {"subnet-mask", FT::ipv4, 0, 15, false, false, offsetof(IPConfigRecord, subnetMask)},
    {"gateway", FT::ipv4, 0, 15, false, false, offsetof(IPConfigRecord, gateway)},
    {"mac", FT::text, 0, 17, true, false, 0},
};

int read_ip_config(const Setting&, Json* value) {
    char config[sizeof(IPConfigRecord)] = {};
    char mac[18] = {};
    if (const int rc = GetIPConfiguration(config, mac); rc != RC_OK) return rc;
    Json object = Json::object();
    for (const Field& f : std::span(kIpConfig).first(4))
        object[f.name] = field_from_bytes(f, reinterpret_cast<const uint8_t*>(config));
    object["mac"] = std::string(mac, strnlen(mac, sizeof mac - 1));
    *value = std::move(object);
    return RC_OK;
}

int write_ip_config(const Setting&, const Json& value) {
    uint8_t config[sizeof(IPConfigRecord)] = {};
    for (const Field& f : std::span(kIpConfig).first(4)) field_to_bytes(f, value.at(f.name), config);
    return SetIPConfiguration(config);
}

constexpr Field kRgb[] = {
    {"red-gain", FT::s16, 0, 1023},   {"green-gain", FT::s16, 0, 1023},   {"blue-gain", FT::s16, 0, 1023},
    {"red-offset", FT::s16, 0, 1023}, {"green-offset", FT::s16, 0, 1023}, {"blue-offset", FT::s16, 0, 1023},
};

int read_rgb(const Setting&, Json* value) {
    int16_t gains[3] = {};
    int16_t offsets[3] = {};
    if (const int rc = GetDownstreamRGBAdjust(gains, offsets); rc != RC_OK) return rc;
    Json object = Json::object();
    for (int i = 0; i < 3; ++i) object[kRgb[i].name] = gains[i];
    for (int i = 0; i < 3; ++i) object[kRgb[3 + i].name] = offsets[i];
    *value = std::move(object);
    return RC_OK;
}

int write_rgb(const Setting&, const Json& value) {
    int16_t gains[3];
    int16_t offsets[3];
    for (int i = 0; i < 3; ++i) gains[i] = static_cast<int16_t>(int_of(value, kRgb[i].name));
    for (int i = 0; i < 3; ++i) offsets[i] = static_cast<int16_t>(int_of(value, kRgb[3 + i].name));
    return SetDownstreamRGBAdjust(gains, offsets);
}

// Four functions per record, one per colour, each giving two chromaticity coordinates.
using Chromaticity = int (*)(float*, float*) noexcept;

template <const auto& Names, const auto& Functions>
int read_primaries(const Setting&, Json* value) {
    Json object = Json::object();
    for (std::size_t i = 0; i < 4; ++i) {
        float a = 0;
        float b = 0;
        if (const int rc = Functions[i](&a, &b); rc != RC_OK) return rc;
        // The display sends thousandths.
        object[Names[2 * i]] = std::round(static_cast<double>(a) * 1000.0) / 1000.0;
        object[Names[2 * i + 1]] = std::round(static_cast<double>(b) * 1000.0) / 1000.0;
    }
    *value = std::move(object);
    return RC_OK;
}

constexpr const char* kXyNames[] = {"red-x", "red-y", "green-x", "green-y", "blue-x", "blue-y", "white-x", "white-y"};
constexpr const char* kUvNames[] = {"red-u", "red-v", "green-u", "green-v", "blue-u", "blue-v", "white-u", "white-v"};
constexpr Chromaticity kXyFunctions[] = {GetRedPrimaryXY, GetGreenPrimaryXY, GetBluePrimaryXY, GetWhitePrimaryXY};
constexpr Chromaticity kUvFunctions[] = {GetRedPrimaryUV, GetGreenPrimaryUV, GetBluePrimaryUV, GetWhitePrimaryUV};
constexpr Field kXy[] = {
    {"red-x", FT::f32, 0, 1, true}, {"red-y", FT::f32, 0, 1, true},   {"green-x", FT::f32, 0, 1, true},
    {"green-y", FT::f32, 0, 1, true}, {"blue-x", FT::f32, 0, 1, true}, {"blue-y", FT::f32, 0, 1, true},
    {"white-x", FT::f32, 0, 1, true}, {"white-y", FT::f32, 0, 1, true},
};
constexpr Field kUv[] = {
    {"red-u", FT::f32, 0, 1, true}, {"red-v", FT::f32, 0, 1, true},   {"green-u", FT::f32, 0, 1, true},
    {"green-v", FT::f32, 0, 1, true}, {"blue-u", FT::f32, 0, 1, true}, {"blue-v", FT::f32, 0, 1, true},
    {"white-u", FT::f32, 0, 1, true}, {"white-v", FT::f32, 0, 1, true},
};

constexpr Field kPresetNames[] = {
    {"name-1", FT::text, 0, 14, true}, {"name-2", FT::text, 0, 14, true}, {"name-3", FT::text, 0, 14, true},
    {"name-4", FT::text, 0, 14, true}, {"name-5", FT::text, 0, 14, true}, {"name-6", FT::text, 0, 14, true},
    {"name-7", FT::text, 0, 14, true}, {"name-8", FT::text, 0, 14, true},
};

int read_preset_names(const Setting&, Json* value) {
    char names[8][15] = {};
    if (const int rc = GetPresetNameList(names); rc != RC_OK) return rc;
    Json object = Json::object();
    for (std::size_t i = 0; i < 8; ++i) object[kPresetNames[i].name] = std::string(names[i], strnlen(names[i], 14));
    *value = std::move(object);
    return RC_OK;
}

// Two 16-bit values in one call.
constexpr Field kOsdPosition[] = {{"x", FT::s16, 0, 100}, {"y", FT::s16, 0, 100}};
constexpr Field kPipResolution[] = {{"width", FT::s16, -32768, 32767, true}, {"height", FT::s16, -32768, 32767, true}};

template <auto Get, const auto& Fields>
int read_pair(const Setting&, Json* value) {
    int16_t a = 0;
    int16_t b = 0;
    if (const int rc = Get(&a, &b); rc != RC_OK) return rc;
    *value = Json{{Fields[0].name, a}, {Fields[1].name, b}};
    return RC_OK;
}

int write_osd_position(const Setting&, const Json& v) {
    return SetOSDPosition(static_cast<int16_t>(int_of(v, "x")), static_cast<int16_t>(int_of(v, "y")));
}

constexpr Field kImageScaling[] = {{"aspect-ratio", FT::u8, 0, 7}, {"pixel-status", FT::u8, 0, 1}};
constexpr Field kUsbBinding[] = {{"usb1", FT::u8, 0, 3}, {"usb2", FT::u8, 0, 4}};

template <auto Get, const auto& Fields>
int read_byte_pair(const Setting&, Json* value) {
    uint8_t a = 0;
    uint8_t b = 0;
    if (const int rc = Get(&a, &b); rc != RC_OK) return rc;
    *value = Json{{Fields[0].name, a}, {Fields[1].name, b}};
    return RC_OK;
}

template <auto Set, const auto& Fields>
int write_byte_pair(const Setting&, const Json& v) {
    return Set(static_cast<uint8_t>(int_of(v, Fields[0].name)), static_cast<uint8_t>(int_of(v, Fields[1].name)));
}

// The PIP window: a selector and a custom size or place.
constexpr Field kPipSize[] = {
    {"size-selector", FT::u8, 0, 3}, {"width", FT::s16, -32768, 32767, true}, {"height", FT::s16, -32768, 32767}};
constexpr Field kPipPosition[] = {{"position-selector", FT::u8, 0, 4}, {"x", FT::s16, -32768, 32767}, {"y", FT::s16, -32768, 32767}};

template <auto Get, const auto& Fields>
int read_selector_triple(const Setting&, Json* value) {
    uint8_t selector = 0;
    int16_t a = 0;
    int16_t b = 0;
    if (const int rc = Get(&selector, &a, &b); rc != RC_OK) return rc;
    *value = Json{{Fields[0].name, selector}, {Fields[1].name, a}, {Fields[2].name, b}};
    return RC_OK;
}

int write_pip_size(const Setting&, const Json& v) {
    return SetPIPSize(static_cast<uint8_t>(int_of(v, "size-selector")), static_cast<int16_t>(int_of(v, "height")));
}

int write_pip_position(const Setting&, const Json& v) {
    return SetPIPPosition(static_cast<uint8_t>(int_of(v, "position-selector")), static_cast<int16_t>(int_of(v, "x")),
                          static_cast<int16_t>(int_of(v, "y")));
}

// Function buttons: one row per button, numbered from 1 by the row's item.
int read_function_button(const Setting& s, Json* value) {
    int16_t action = 0;
    if (const int rc = GetFunctionButtonSettings(static_cast<uint16_t>(s.row->get_key.item + 1), &action); rc != RC_OK)
        return rc;
    *value = action;
    return RC_OK;
}

int write_function_button(const Setting& s, const Json& value) {
    return SetFunctionButtonSettings(static_cast<uint16_t>(s.row->set_key.item + 1), static_cast<int16_t>(value.get<int>()));
}

// Input names: one record per input. The display reports the name and whether it is a custom
// one; a name that is not custom is written back as the default or predefined name it matches.
constexpr int kInputs = 5;
constexpr uint8_t kCustomName = 11;
constexpr Field kInputName[] = {
    {"input", FT::u8, 0, kInputs - 1, false, true},
    {"name", FT::text, 0, 14},
    {"custom-name-status", FT::u8, 0, 1, true},
};

int read_input_names(const Setting&, Json* value) {
    Json list = Json::array();
    for (int input = 0; input < kInputs; ++input) {
        char name[16] = {};
        uint8_t custom = 0;
        if (const int rc = GetVideoInputName(static_cast<uint8_t>(input), name, &custom); rc != RC_OK) return rc;
        list.push_back({{"input", input}, {"name", std::string(name, strnlen(name, 15))}, {"custom-name-status", custom}});
    }
    *value = std::move(list);
    return RC_OK;
}

int write_input_name(const Setting&, const Json& entry) {
    const int input = entry.at("input").get<int>();
    const std::string name = entry.at("name").get<std::string>();
    const bool custom = entry.contains("custom-name-status") && entry["custom-name-status"].get<int>() == 1;
    uint8_t type = kCustomName;
    if (!custom && input >= 0 && input < kInputs) {
        if (name == byDefaultInputNames[input]) {
            type = 0;
        } else {
            for (int k = 0; k < 10; ++k)
                if (byPredefinedInputNames[input][k][0] != '\0' && name == byPredefinedInputNames[input][k])
                    type = static_cast<uint8_t>(k + 1);
        }
    }
    return SetVideoInputName(static_cast<uint8_t>(input), type, name.c_str());
}

constexpr Shape kShapes[] = {
    {"GetDisplaySerialNumber", ValueType::text, kNothing, {}, read_text<GetDisplaySerialNumber>, nullptr},
    {"GetMonitorType", ValueType::u8, kNothing, {},
     [](const Setting&, Json* v) {
         uint8_t type = 0;
         const int rc = GetMonitorType(&type);
         if (rc == RC_OK) *v = type;
         return rc;
     },
     nullptr, 0, 255},
    {"GetDisplayMode", ValueType::text, kNothing, {}, read_text<GetDisplayMode>, nullptr},
    {"GetPIPResolution", ValueType::record, kPipOn, kPipResolution,
     read_pair<GetPIPResolution, kPipResolution>, nullptr},
    {"GetDownstreamRGBAdjust", ValueType::record, kNothing, kRgb, read_rgb, write_rgb},
    {"GetCurrentColorSpaceName", ValueType::text, kNothing, {}, read_text<GetCurrentColorSpaceName>, nullptr},
    {"GetGamma", ValueType::text, kNothing, {}, read_text<GetGamma>, nullptr},
    {"GetRedPrimaryXY", ValueType::record, kNothing, kXy, read_primaries<kXyNames, kXyFunctions>, nullptr},
    {"GetRedPrimaryUV", ValueType::record, kNothing, kUv, read_primaries<kUvNames, kUvFunctions>, nullptr},
    {"GetPresetNameList", ValueType::record, kNothing, kPresetNames, read_preset_names, nullptr},
    {"GetVideoInputName", ValueType::record_list, kNothing, kInputName, read_input_names, write_input_name},
    {"GetUSBBindingConfiguration", ValueType::record, kUsbBindingOn, kUsbBinding,
     read_byte_pair<GetUSBBindingConfiguration, kUsbBinding>, write_byte_pair<SetUSBBindingConfiguration, kUsbBinding>},
    {"GetImageScaling", ValueType::record, kImageMode, kImageScaling,
     read_byte_pair<GetImageScaling, kImageScaling>, write_byte_pair<SetImageScaling, kImageScaling>},
    {"GetMarkerDetails", ValueType::record, kMarkerMain, kMarkers,
     read_record<MarkerDetails, GetMarkerDetails, SetMarkerDetails, kMarkers>,
     write_record<MarkerDetails, GetMarkerDetails, SetMarkerDetails, kMarkers>},
    {"GetPIPMarkerDetails", ValueType::record, kMarkerPip, kMarkers,
     read_record<MarkerDetails, GetPIPMarkerDetails, SetPIPMarkerDetails, kMarkers>,
     write_record<MarkerDetails, GetPIPMarkerDetails, SetPIPMarkerDetails, kMarkers>},
    {"GetPIPSize", ValueType::record, kPipMode1, kPipSize,
     read_selector_triple<GetPIPSize, kPipSize>, write_pip_size},
    {"GetPIPPosition", ValueType::record, kPipMode1, kPipPosition,
     read_selector_triple<GetPIPPosition, kPipPosition>, write_pip_position},
    {"GetCalibrationSchedule", ValueType::record, kNothing, kSchedule,
     read_record<CalibrationSchedule, GetCalibrationSchedule, SetCalibrationSchedule, kSchedule>, write_schedule},
    {"GetDisplayWarmupSettings", ValueType::record, kNothing, kWarmup,
     read_record<DisplayWarmupSettings, GetDisplayWarmupSettings, SetDisplayWarmupSettings, kWarmup>,
     write_record<DisplayWarmupSettings, GetDisplayWarmupSettings, SetDisplayWarmupSettings, kWarmup>},
    {"GetDateAndTime", ValueType::record, kNothing, kDateTime,
     read_record<DateTimeRecord, GetDateAndTime, SetDateAndTime, kDateTime>,
     write_record<DateTimeRecord, GetDateAndTime, SetDateAndTime, kDateTime>},
    {"GetOSDPosition", ValueType::record, kNothing, kOsdPosition,
     read_pair<GetOSDPosition, kOsdPosition>, write_osd_position},
    {"GetIPConfiguration", ValueType::record, kWebServer, kIpConfig, read_ip_config,
     write_ip_config},
    {"GetFirmwareRevision", ValueType::text, kNothing, {}, read_text<GetFirmwareRevision>, nullptr},
    {"GetCustomerIDAsset", ValueType::text, kNothing, {}, read_text<GetCustomerIDAsset>, nullptr},
    {"GetDeploymentDate", ValueType::text, kNothing, {}, read_text<GetDeploymentDate>, nullptr},
    {"GetDeploymentLocation", ValueType::text, kNothing, {}, read_text<GetDeploymentLocation>, nullptr},
    {"GetDisplayName", ValueType::text, kNothing, {}, read_text<GetDisplayName>, nullptr},
    {"GetFunctionButtonSettings", ValueType::s16, kNothing, {}, read_function_button,
     write_function_button, 0, 18},
};

constexpr const Shape* shape_of(const qv::SettingRow& row) {
    const char* function = row.getter != nullptr ? row.getter : row.setter;
    if (function == nullptr) return nullptr;
    for (const Shape& shape : kShapes)
        if (std::string_view(shape.function) == function) return &shape;
    return nullptr;
}

constexpr bool every_departure_has_a_shape() {
    for (const qv::SettingRow& row : qv::kSettings)
        if (row.departure && shape_of(row) == nullptr) return false;
    return true;
}
static_assert(every_departure_has_a_shape(), "a departure row names functions that no shape here takes");

}  // namespace

bool describe_departure(Setting* s) {
    const Shape* shape = shape_of(*s->row);
    if (shape == nullptr) return false;
    s->type = shape->type;
    s->fields.assign(shape->fields.begin(), shape->fields.end());
    // A guard the row itself names wins over the shape's own precondition.
    if (shape->needs.text != nullptr) {
        if (s->get_needs.empty()) s->get_needs = shape->needs.text;
        if (s->set_needs.empty()) s->set_needs = shape->needs.text;
        for (const char* name : shape->needs.first)
            if (name != nullptr) s->prerequisites.emplace_back(name);
    }
    s->read_fn = shape->read_fn;
    s->write_fn = shape->write_fn;
    s->readable = shape->read_fn != nullptr && s->row->getter != nullptr;
    s->writable = shape->write_fn != nullptr && s->row->setter != nullptr;
    s->low = shape->low;
    s->high = shape->high;
    return true;
}

}  // namespace qvctl
