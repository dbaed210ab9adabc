// The values of the command table's departure rows, described as data: every record's fields
// (name, byte offset and width taken from the C layout, type, valid range, read-only or
// writable), every text's buffer size, and the few settings whose values behave in a way of
// their own, named once as a Quirk. A departure row points at its description with
// `.record(records::...)`.
//
// The description is the one statement of these layouts: the settings layer (settings/) encodes,
// decodes and checks values from it, `quorvexctl --json list` exports it, and the Python package
// reads that export. Only the call that moves a record's bytes to and from the library is
// written per function (settings/calls.cpp, and the Python package's call shapes).
//
// A record is a block of bytes laid out as one C type: a packed record of the public header
// where the library takes one, else a small struct of this file holding the values of one call
// (GetOSDPosition's x and y, ...). Offsets and widths come from `offsetof` and `sizeof`, never
// from a number typed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "quorvex.h"

namespace qv {

enum class FieldType : uint8_t {
    u8,    // unsigned byte
    s16,   // signed 16-bit little-endian
    text,  // NUL-terminated text within `width` bytes (at most width - 1 characters)
    ipv4,  // a text holding a dotted-decimal IPv4 address
    f32,   // a float the display sends in thousandths (read-only)
};

struct RecordField {
    const char* name;  // kebab-case, the header's member name where there is one
    uint16_t offset;   // within the record's bytes
    uint16_t width;    // bytes
    FieldType type;
    int32_t low = 0, high = 0;  // integers: inclusive range of a value written
    bool read_only = false;     // reported by the display, never written
    bool selector = false;      // picks the entry of an indexed record
};

// How the value reaches the library's functions.
enum class CallShape : uint8_t {
    text,         // Get(char *text) into `size` bytes
    integer,      // one integer, described by the one field (its offset and width unused)
    record,       // Get(T *), Set(const T *) of the record's first `record_size` bytes; a field
                  // past them is a further out-argument of the getter (ip-config's MAC text)
    values,       // Get(A *a, B *b, ...) over every field, Set(A a, ...) over the writable ones
    arrays,       // Get(T a[n], T b[n]): the fields in equal runs, one argument per run
    per_field_pair,  // one getter per pair of fields (the primaries: GetRedPrimaryXY, ...)
    indexed,      // a record per index: input-name (see Quirk::input_name)
};

// Behaviour of a few values that is not in their layout.
enum class Quirk : uint8_t {
    none,
    // The first field switches the record on. While it is 0 the display reports every byte as
    // 0 and the other fields mean nothing: they are neither checked nor taken from the value,
    // and the record goes out as off with every other field at the lowest value its range
    // allows (the library checks the schedule's fields even while it is off).
    off_switch,
    // A record per video input, picked by the selector field. The display keeps a name type
    // (default, predefined 1..10, custom 11): a name that is not marked custom is written back
    // as the default or predefined name of that input it matches.
    input_name,
};

struct RecordDesc {
    const char* ctype;     // the C type whose layout the bytes have
    uint16_t size;         // bytes of the value (record plus further out-arguments)
    uint16_t record_size;  // bytes of the record the library takes
    CallShape shape;
    std::span<const RecordField> fields;
    Quirk quirk = Quirk::none;
};

#define QV_FIELD(T, member, name, type, ...)                                                   \
    ::qv::RecordField {                                                                        \
        name, static_cast<uint16_t>(offsetof(T, member)), static_cast<uint16_t>(sizeof(std::declval<T&>().member)), \
            ::qv::FieldType::type, __VA_ARGS__                                                 \
    }

namespace records {

using FT = FieldType;

// ---- values of one call, laid out for the description

// The IP configuration and, behind it, the MAC text the getter fills separately.
struct IpConfig {
    IPConfigRecord config;
    char mac[18];
};
struct OsdPosition {
    int16_t x, y;
};
struct PipResolution {
    int16_t width, height;
};
struct PipSize {
    uint8_t size_selector;
    int16_t width, height;
};
struct PipPosition {
    uint8_t position_selector;
    int16_t x, y;
};
struct ImageScaling {
    uint8_t aspect_ratio, pixel_status;
};
struct UsbBinding {
    uint8_t usb1, usb2;
};
struct RgbAdjust {
    int16_t gains[3], offsets[3];
};
struct Primaries {
    float red_a, red_b, green_a, green_b, blue_a, blue_b, white_a, white_b;
};
struct PresetNames {
    char names[8][15];
};
// Texts: the buffer each getter fills, as the header states it.
template <std::size_t N>
struct Text {
    char text[N];
};

// ---- fields

inline constexpr RecordField kDateTime[] = {
    QV_FIELD(DateTimeRecord, month, "month", u8, 1, 12),
    QV_FIELD(DateTimeRecord, day, "day", u8, 1, 31),
    QV_FIELD(DateTimeRecord, year, "year", s16, -32768, 32767),
    QV_FIELD(DateTimeRecord, hour, "hour", u8, 0, 23),
    QV_FIELD(DateTimeRecord, minute, "minute", u8, 0, 59),
    QV_FIELD(DateTimeRecord, timezone, "timezone", u8, 0, 45),
    QV_FIELD(DateTimeRecord, timeFormat, "time-format", u8, 0, 1),
    QV_FIELD(DateTimeRecord, extraFlag, "extra-flag", u8, 0, 1),
};

inline constexpr RecordField kSchedule[] = {
    QV_FIELD(CalibrationSchedule, ScheduleStatus, "schedule-status", u8, 0, 1),
    QV_FIELD(CalibrationSchedule, FrequencyType, "frequency-type", u8, 0, 2),
    QV_FIELD(CalibrationSchedule, FrequencyCount, "frequency-count", s16, 0, 4),
    QV_FIELD(CalibrationSchedule, DayofWeek, "dayof-week", u8, 0, 6),
    QV_FIELD(CalibrationSchedule, TimeHH, "time-hh", u8, 1, 12),
    QV_FIELD(CalibrationSchedule, TimeMM, "time-mm", u8, 0, 59),
    QV_FIELD(CalibrationSchedule, TimeMeridian, "time-meridian", u8, 0, 1),
};

inline constexpr RecordField kWarmup[] = {
    QV_FIELD(DisplayWarmupSettings, WarmupEnableStatus, "warmup-enable-status", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupTimeHour, "warmup-time-hour", u8, 1, 12),
    QV_FIELD(DisplayWarmupSettings, WarmupTimeMinute, "warmup-time-minute", u8, 0, 59),
    QV_FIELD(DisplayWarmupSettings, WarmuptimeMeridian, "warmuptime-meridian", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableSunday, "warmup-enable-sunday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableMonday, "warmup-enable-monday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableTuesday, "warmup-enable-tuesday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableWednesday, "warmup-enable-wednesday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableThursday, "warmup-enable-thursday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableFriday, "warmup-enable-friday", u8, 0, 1),
    QV_FIELD(DisplayWarmupSettings, WarmupEnableSaturday, "warmup-enable-saturday", u8, 0, 1),
};

// clearMarkers (byte 0) is the clear-markers verb, not a field. A marker read from the display
// may be 2, the display's own state for it; marker 4 takes any byte (monitor type 1).
inline constexpr RecordField kMarkers[] = {
    QV_FIELD(MarkerDetails, marker1, "marker1", u8, 0, 2),    QV_FIELD(MarkerDetails, marker2, "marker2", u8, 0, 2),
    QV_FIELD(MarkerDetails, marker3, "marker3", u8, 0, 2),    QV_FIELD(MarkerDetails, marker4, "marker4", u8, 0, 255),
    QV_FIELD(MarkerDetails, marker5, "marker5", u8, 0, 2),    QV_FIELD(MarkerDetails, marker6, "marker6", u8, 0, 2),
    QV_FIELD(MarkerDetails, marker7, "marker7", u8, 0, 2),    QV_FIELD(MarkerDetails, marker8, "marker8", u8, 0, 2),
    QV_FIELD(MarkerDetails, marker9, "marker9", u8, 0, 2),    QV_FIELD(MarkerDetails, marker10, "marker10", u8, 0, 2),
    QV_FIELD(MarkerDetails, marker11, "marker11", u8, 0, 2),
};

inline constexpr RecordField kIpConfig[] = {
    QV_FIELD(IpConfig, config.ipMode, "ip-mode", u8, 0, 1),
    QV_FIELD(IpConfig, config.ipAddress, "ip-address", ipv4),
    QV_FIELD(IpConfig, config.subnetMask, "subnet-mask", ipv4),
    QV_FIELD(IpConfig, config.gateway, "gateway", ipv4),
    QV_FIELD(IpConfig, mac, "mac", text, 0, 0, true),
};

inline constexpr RecordField kInputName[] = {
    QV_FIELD(InputNameRecord, InputNumber, "input", u8, 0, 4, false, true),
    QV_FIELD(InputNameRecord, CustomName, "name", text),
    QV_FIELD(InputNameRecord, CustomNameStatus, "custom-name-status", u8, 0, 1, true),
};

inline constexpr RecordField kOsdPosition[] = {
    QV_FIELD(OsdPosition, x, "x", s16, 0, 100),
    QV_FIELD(OsdPosition, y, "y", s16, 0, 100),
};
inline constexpr RecordField kPipResolution[] = {
    QV_FIELD(PipResolution, width, "width", s16, -32768, 32767, true),
    QV_FIELD(PipResolution, height, "height", s16, -32768, 32767, true),
};
inline constexpr RecordField kPipSize[] = {
    QV_FIELD(PipSize, size_selector, "size-selector", u8, 0, 3),
    QV_FIELD(PipSize, width, "width", s16, -32768, 32767, true),
    QV_FIELD(PipSize, height, "height", s16, -32768, 32767),
};
inline constexpr RecordField kPipPosition[] = {
    QV_FIELD(PipPosition, position_selector, "position-selector", u8, 0, 4),
    QV_FIELD(PipPosition, x, "x", s16, -32768, 32767),
    QV_FIELD(PipPosition, y, "y", s16, -32768, 32767),
};
inline constexpr RecordField kImageScaling[] = {
    QV_FIELD(ImageScaling, aspect_ratio, "aspect-ratio", u8, 0, 7),
    QV_FIELD(ImageScaling, pixel_status, "pixel-status", u8, 0, 1),
};
inline constexpr RecordField kUsbBinding[] = {
    QV_FIELD(UsbBinding, usb1, "usb1", u8, 0, 3),
    QV_FIELD(UsbBinding, usb2, "usb2", u8, 0, 4),
};
inline constexpr RecordField kRgb[] = {
    QV_FIELD(RgbAdjust, gains[0], "red-gain", s16, 0, 1023),
    QV_FIELD(RgbAdjust, gains[1], "green-gain", s16, 0, 1023),
    QV_FIELD(RgbAdjust, gains[2], "blue-gain", s16, 0, 1023),
    QV_FIELD(RgbAdjust, offsets[0], "red-offset", s16, 0, 1023),
    QV_FIELD(RgbAdjust, offsets[1], "green-offset", s16, 0, 1023),
    QV_FIELD(RgbAdjust, offsets[2], "blue-offset", s16, 0, 1023),
};
#define QV_PRIMARY(member, name) QV_FIELD(Primaries, member, name, f32, 0, 1, true)
inline constexpr RecordField kXy[] = {
    QV_PRIMARY(red_a, "red-x"),   QV_PRIMARY(red_b, "red-y"),   QV_PRIMARY(green_a, "green-x"),
    QV_PRIMARY(green_b, "green-y"), QV_PRIMARY(blue_a, "blue-x"), QV_PRIMARY(blue_b, "blue-y"),
    QV_PRIMARY(white_a, "white-x"), QV_PRIMARY(white_b, "white-y"),
};
inline constexpr RecordField kUv[] = {
    QV_PRIMARY(red_a, "red-u"),   QV_PRIMARY(red_b, "red-v"),   QV_PRIMARY(green_a, "green-u"),
    QV_PRIMARY(green_b, "green-v"), QV_PRIMARY(blue_a, "blue-u"), QV_PRIMARY(blue_b, "blue-v"),
    QV_PRIMARY(white_a, "white-u"), QV_PRIMARY(white_b, "white-v"),
};
#undef QV_PRIMARY
inline constexpr RecordField kPresetNames[] = {
    QV_FIELD(PresetNames, names[0], "name-1", text, 0, 0, true),
    QV_FIELD(PresetNames, names[1], "name-2", text, 0, 0, true),
    QV_FIELD(PresetNames, names[2], "name-3", text, 0, 0, true),
    QV_FIELD(PresetNames, names[3], "name-4", text, 0, 0, true),
    QV_FIELD(PresetNames, names[4], "name-5", text, 0, 0, true),
    QV_FIELD(PresetNames, names[5], "name-6", text, 0, 0, true),
    QV_FIELD(PresetNames, names[6], "name-7", text, 0, 0, true),
    QV_FIELD(PresetNames, names[7], "name-8", text, 0, 0, true),
};

// ---- descriptions

template <class T>
constexpr RecordDesc describe(const char* ctype, CallShape shape, std::span<const RecordField> fields,
                              Quirk quirk = Quirk::none, std::size_t record_size = sizeof(T)) {
    return {ctype, static_cast<uint16_t>(sizeof(T)), static_cast<uint16_t>(record_size), shape, fields, quirk};
}
template <std::size_t N>
constexpr RecordDesc text() {
    return {"char[]", static_cast<uint16_t>(N), static_cast<uint16_t>(N), CallShape::text, {}};
}
inline constexpr RecordField kMonitorType[] = {{"value", 0, 1, FT::u8, 0, 255}};
inline constexpr RecordField kFunctionButton[] = {{"value", 0, 2, FT::s16, 0, 18}};

inline constexpr RecordDesc date_time = describe<DateTimeRecord>("DateTimeRecord", CallShape::record, kDateTime);
inline constexpr RecordDesc schedule =
    describe<CalibrationSchedule>("CalibrationSchedule", CallShape::record, kSchedule, Quirk::off_switch);
inline constexpr RecordDesc warmup =
    describe<DisplayWarmupSettings>("DisplayWarmupSettings", CallShape::record, kWarmup, Quirk::off_switch);
inline constexpr RecordDesc markers = describe<MarkerDetails>("MarkerDetails", CallShape::record, kMarkers);
inline constexpr RecordDesc ip_config =
    describe<IpConfig>("IPConfigRecord", CallShape::record, kIpConfig, Quirk::none, sizeof(IPConfigRecord));
inline constexpr RecordDesc input_name =
    describe<InputNameRecord>("InputNameRecord", CallShape::indexed, kInputName, Quirk::input_name);
inline constexpr RecordDesc osd_position = describe<OsdPosition>("", CallShape::values, kOsdPosition);
inline constexpr RecordDesc pip_resolution = describe<PipResolution>("", CallShape::values, kPipResolution);
inline constexpr RecordDesc pip_size = describe<PipSize>("", CallShape::values, kPipSize);
inline constexpr RecordDesc pip_position = describe<PipPosition>("", CallShape::values, kPipPosition);
inline constexpr RecordDesc image_scaling = describe<ImageScaling>("", CallShape::values, kImageScaling);
inline constexpr RecordDesc usb_binding = describe<UsbBinding>("", CallShape::values, kUsbBinding);
inline constexpr RecordDesc rgb_adjust = describe<RgbAdjust>("", CallShape::arrays, kRgb);
inline constexpr RecordDesc primaries_xy = describe<Primaries>("", CallShape::per_field_pair, kXy);
inline constexpr RecordDesc primaries_uv = describe<Primaries>("", CallShape::per_field_pair, kUv);
inline constexpr RecordDesc preset_names = describe<PresetNames>("", CallShape::record, kPresetNames);

inline constexpr RecordDesc serial_number = text<11>();
inline constexpr RecordDesc display_mode = text<25>();
inline constexpr RecordDesc colour_space_name = text<15>();
inline constexpr RecordDesc gamma = text<15>();
inline constexpr RecordDesc firmware_revision = text<8>();
inline constexpr RecordDesc information_text = text<19>();  // customer asset, location, name
inline constexpr RecordDesc deployment_date = text<11>();
inline constexpr RecordDesc monitor_type = {"uint8_t", 1, 1, CallShape::integer, kMonitorType};
inline constexpr RecordDesc function_button = {"int16_t", 2, 2, CallShape::integer, kFunctionButton};

// Every field lies inside its record and no two overlap.
constexpr bool fields_fit(const RecordDesc& d) {
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        const RecordField& a = d.fields[i];
        if (a.offset + a.width > d.size || a.width == 0) return false;
        if ((a.type == FT::u8 && a.width != 1) || (a.type == FT::s16 && a.width != 2) ||
            (a.type == FT::f32 && a.width != 4))
            return false;
        for (std::size_t j = i + 1; j < d.fields.size(); ++j) {
            const RecordField& b = d.fields[j];
            if (a.offset < b.offset + b.width && b.offset < a.offset + a.width) return false;
            if (std::string_view(a.name) == b.name) return false;
        }
    }
    return true;
}
static_assert(fields_fit(date_time) && fields_fit(schedule) && fields_fit(warmup) && fields_fit(markers) &&
                  fields_fit(ip_config) && fields_fit(input_name) && fields_fit(osd_position) &&
                  fields_fit(pip_resolution) && fields_fit(pip_size) && fields_fit(pip_position) &&
                  fields_fit(image_scaling) && fields_fit(usb_binding) && fields_fit(rgb_adjust) &&
                  fields_fit(primaries_xy) && fields_fit(primaries_uv) && fields_fit(preset_names),
              "a record field lies outside its record or over another field");

}  // namespace records
}  // namespace qv
