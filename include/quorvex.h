/*
 * quorvex.h - control a Quorvex reference display over USB.
 *
 * The display sits behind a USB-to-serial bridge. Call Scan() to find up to three displays,
 * Connect() to one slot, then any Get.../Set... function, and Disconnect() at the end.
 * Every function returns an int result code (RC_OK on success, a negative RC_... otherwise).
 * Diagnostic lines go to standard output while LogMessage is 1 (see SetLog()).
 *
 * The library has no threads and no locks: a host that calls it from several threads must
 * serialise every call itself.
 */
#ifndef QUORVEX_H
#define QUORVEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define QV_NOEXCEPT noexcept
#else
#define QV_NOEXCEPT
#endif

#if defined(QUORVEX_BUILD)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

/* ---------------------------------------------------------------- result codes */
enum {
    RC_OK = 0,                   /* success */
    RC_FAILED = -1,              /* general failure (link, handle, release, ...) */
    RC_NOT_ALLOWED = -2,         /* the display's current mode forbids the operation */
    RC_NOT_SUPPORTED = -3,       /* the connected monitor type does not offer the feature */
    RC_DEVICE_STATUS = -4,       /* the display answered with a non-zero status */
    RC_EXCHANGE_FAILED = -5,     /* the request/reply exchange failed */
    RC_NOT_FOUND = -6,           /* no display at the bus and address recorded for the slot */
    RC_INVALID_ARGUMENT = -7,    /* an argument failed validation */
    RC_CLAIM_FAILED = -8,        /* claiming USB interface 0 failed */
    RC_MONITOR_TYPE_FAILED = -9, /* reading the monitor type at connect failed */
    RC_NO_DEVICES = -10,         /* the scan recorded no display */
    RC_ENUMERATION_FAILED = -11, /* obtaining the USB device list failed */
    RC_USB_UNAVAILABLE = -12     /* initialising USB or opening the device failed */
};

/* Scan records at most this many displays; Connect accepts slots 0 .. MAX_DISPLAYS-1. */
#define MAX_DISPLAYS 3

/* ---------------------------------------------------------------- connection state */
struct libusb_device_handle;

QV_API extern int ConnectFlag;                               /* 1 while a display is connected and claimed */
QV_API extern struct libusb_device_handle *g_glimmetHandle;  /* the open display, or NULL */
QV_API extern uint8_t m_claimed_interface;                   /* 1 while interface 0 is claimed */
QV_API extern int8_t bus_num[5];                             /* bus number of each recorded display */
QV_API extern int8_t dev_num[5];                             /* device address of each recorded display */
QV_API extern int8_t conn_bus_num;                           /* bus of the display being recorded or connected */
QV_API extern int8_t conn_dev_num;                           /* address of the display being recorded or connected */
QV_API extern int baudrate;                                  /* serial rate programmed at Connect (115200) */
QV_API extern uint8_t gu8MonitorType;                        /* monitor type read at Connect (0xFF before) */
QV_API extern uint8_t LogMessage;                            /* 1: diagnostic lines on; anything else: off */

/* ---------------------------------------------------------------- discovery and connection */
/* Find up to three displays; serialNumbers receives 3 entries of 12 bytes. Returns the count. */
QV_API int Scan(char *serialNumbers) QV_NOEXCEPT;
/* Open, program and claim the display recorded in slot 0..2. */
QV_API int Connect(int8_t slot) QV_NOEXCEPT;
/* Release and close the connected display. */
QV_API int Disconnect(void) QV_NOEXCEPT;
/* Read the 10-character serial number into serialNumber (at least 11 bytes). */
QV_API int GetDisplaySerialNumber(char *serialNumber) QV_NOEXCEPT;
/* Read the monitor type byte. */
QV_API int GetMonitorType(uint8_t *monitorType) QV_NOEXCEPT;

/* ---------------------------------------------------------------- serial-bridge port I/O */
/* Write one packet (1..515 bytes) to the bulk OUT endpoint. */
QV_API int WritePort(uint8_t *packet, uint16_t length) QV_NOEXCEPT;
/* Read one reply into packet; *count holds the bytes wanted and receives the bytes delivered. */
QV_API int ReadPort(uint8_t *packet, uint16_t *count, int64_t timeout) QV_NOEXCEPT;
/* One bulk read with the bridge's status bytes stripped; returns the data bytes delivered. */
QV_API int read_data_logic(uint8_t *buffer, int size, int64_t timeout) QV_NOEXCEPT;

/* ---------------------------------------------------------------- command exchange */
/* Send a command packet and read the reply into the same buffer. */
QV_API int RegUsbApi(uint8_t *packet, uint16_t length) QV_NOEXCEPT;
/* Read timeout in milliseconds for a command opcode. */
QV_API int SetTimeOutForReadPort(uint8_t opcode) QV_NOEXCEPT;
/* Settings page (0..9) of an identifier. */
QV_API uint8_t ubGetGroupId(uint8_t identifier) QV_NOEXCEPT;

/* ---------------------------------------------------------------- call frame and shared helpers */
/* 0 when low <= value <= high, each taken as a signed 16-bit number; -1 otherwise. */
QV_API int s16ValidateSWord16Var(int value, int low, int high) QV_NOEXCEPT;
/* Turn diagnostic lines on (1) or off (any other value). */
QV_API int SetLog(uint8_t enable) QV_NOEXCEPT;
/* Write the SDK version text "v1.0" (5 bytes) into version. */
QV_API int GetSdkVersion(char *version) QV_NOEXCEPT;

/* ---------------------------------------------------------------- display-mode guards */
/* Read the display-mode text (mode must hold 25 bytes). */
QV_API int GetDisplayMode(char *mode) QV_NOEXCEPT;
/* Read whether picture-in-picture is on (0 = off). */
QV_API int GetPIPStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch picture-in-picture off (0) or on (1). */
QV_API int SetPIPStatus(uint8_t status) QV_NOEXCEPT;
/* Active width and height of the main picture; RC_NOT_ALLOWED when either is 0. */
QV_API int GetImageAdjustmentMode(int16_t *width, int16_t *height) QV_NOEXCEPT;
/* Source resolution of the picture-in-picture window; RC_NOT_ALLOWED when PIP is off. */
QV_API int GetPIPResolution(int16_t *width, int16_t *height) QV_NOEXCEPT;
/* RC_OK when picture 3 (main) or 4 (PIP window) shows a DCI timing. */
QV_API int GetDciMode(uint8_t picture) QV_NOEXCEPT;
/* RC_OK when markers are available at the current resolution and monitor type. */
QV_API int CheckMarkerSupport(void) QV_NOEXCEPT;
/* (section: guards) */

/* ---------------------------------------------------------------- colour */
/* Read the display luminance. */
QV_API int GetDisplayLuminance(int16_t *luminance) QV_NOEXCEPT;
/* Set the display luminance, 48..250. */
QV_API int SetDisplayLuminance(int16_t luminance) QV_NOEXCEPT;
/* Read the active colour-space index. */
QV_API int GetActiveColorSpace(uint8_t *index) QV_NOEXCEPT;
/* Select the active colour space, 1..8. */
QV_API int SetActiveColorSpace(uint8_t index) QV_NOEXCEPT;
/* Read the blue-light mode (0..2). */
QV_API int GetBlueLightModeStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the blue-light mode, 0..2. */
QV_API int SetBlueLightModeStatus(uint8_t status) QV_NOEXCEPT;
/* Read the red, green, blue gains and offsets of the downstream RGB adjustment. */
QV_API int GetDownstreamRGBAdjust(int16_t gains[3], int16_t offsets[3]) QV_NOEXCEPT;
/* Set the red, green, blue gains and offsets, each 0..1023. */
QV_API int SetDownstreamRGBAdjust(const int16_t gains[3], const int16_t offsets[3]) QV_NOEXCEPT;
/* Read the current colour-space name (name must hold 15 bytes; at most 14 characters). */
QV_API int GetCurrentColorSpaceName(char *name) QV_NOEXCEPT;
/* Read the current gamma name (name must hold 15 bytes; at most 14 characters). */
QV_API int GetGamma(char *name) QV_NOEXCEPT;
/* Read the red primary's x, y chromaticity. */
QV_API int GetRedPrimaryXY(float *x, float *y) QV_NOEXCEPT;
/* Read the red primary's u', v' chromaticity. */
QV_API int GetRedPrimaryUV(float *u, float *v) QV_NOEXCEPT;
/* Read the green primary's x, y chromaticity. */
QV_API int GetGreenPrimaryXY(float *x, float *y) QV_NOEXCEPT;
/* Read the green primary's u', v' chromaticity. */
QV_API int GetGreenPrimaryUV(float *u, float *v) QV_NOEXCEPT;
/* Read the blue primary's x, y chromaticity. */
QV_API int GetBluePrimaryXY(float *x, float *y) QV_NOEXCEPT;
/* Read the blue primary's u', v' chromaticity. */
QV_API int GetBluePrimaryUV(float *u, float *v) QV_NOEXCEPT;
/* Read the white point's x, y chromaticity. */
QV_API int GetWhitePrimaryXY(float *x, float *y) QV_NOEXCEPT;
/* Read the white point's u', v' chromaticity. */
QV_API int GetWhitePrimaryUV(float *u, float *v) QV_NOEXCEPT;
/* Read the eight colour-space preset names (8 entries of 15 bytes, each NUL-terminated). */
QV_API int GetPresetNameList(char names[8][15]) QV_NOEXCEPT;
/* (section: colour) */

/* ---------------------------------------------------------------- video inputs and USB binding */
/* Default names of video inputs 0..4 (their connector names), indexed by input number. */
QV_API extern const char *const byDefaultInputNames[5];
/* Predefined input names, [input 0..4][name type 1..10 minus 1]: up to 14 characters and a NUL
 * each, an empty entry for a name the input does not offer. Writable; read on every call. */
QV_API extern char byPredefinedInputNames[5][10][15];

#pragma pack(push, 1)
/* An input's name as the display carries it (18 bytes). */
typedef struct InputNameRecord {
    uint8_t InputNumber;      /* 0..4 */
    uint8_t NameType;         /* 0 default, 1..10 predefined, 11 custom */
    char CustomName[15];      /* up to 14 characters, NUL-padded */
    uint8_t CustomNameStatus; /* 1 with a custom name, 0 otherwise */
} InputNameRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(InputNameRecord) == 18, "InputNameRecord is 18 bytes");
#else
_Static_assert(sizeof(InputNameRecord) == 18, "InputNameRecord is 18 bytes");
#endif

/* Read the active video input (0..4). */
QV_API int GetActiveVideoInput(uint8_t *input) QV_NOEXCEPT;
/* Select the active video input, 0..4. */
QV_API int SetActiveVideoInput(uint8_t input) QV_NOEXCEPT;
/* Read whether the display switches inputs automatically. */
QV_API int GetAutoSwitchStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch automatic input switching off (0) or on (1). */
QV_API int SetAutoSwitchStatus(uint8_t status) QV_NOEXCEPT;
/* Read the name of input 0..4 into name (15 bytes) and its custom-name status. */
QV_API int GetVideoInputName(uint8_t input, char *name, uint8_t *customNameStatus) QV_NOEXCEPT;
/* Name input 0..4: type 0 default, 1..10 predefined, 11 customName (cut to 14 characters). */
QV_API int SetVideoInputName(uint8_t input, uint8_t nameType, const char *customName) QV_NOEXCEPT;
/* Read the USB port binding status (3: binding configuration enabled). */
QV_API int GetUSBPortBindingStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the USB port binding status, 0..3. */
QV_API int SetUSBPortBindingStatus(uint8_t status) QV_NOEXCEPT;
/* Read the bindings of USB 1 and USB 2; RC_NOT_ALLOWED unless the binding status is 3. */
QV_API int GetUSBBindingConfiguration(uint8_t *usb1, uint8_t *usb2) QV_NOEXCEPT;
/* Bind USB 1 (0..3) and USB 2 (0..4); RC_INVALID_ARGUMENT unless the binding status is 3. */
QV_API int SetUSBBindingConfiguration(uint8_t usb1, uint8_t usb2) QV_NOEXCEPT;
/* (section: inputs) */

/* ---------------------------------------------------------------- image processing */
/* Read the image-scaling aspect-ratio mode and pixel status. */
QV_API int GetImageScaling(uint8_t *aspectRatio, uint8_t *pixelStatus) QV_NOEXCEPT;
/* Set the image-scaling aspect-ratio mode (0..7) and pixel status. */
QV_API int SetImageScaling(uint8_t aspectRatio, uint8_t pixelStatus) QV_NOEXCEPT;
/* Read the DCI image region (DCI timing of the main picture only). */
QV_API int GetDciImageRegion(uint8_t *region) QV_NOEXCEPT;
/* Set the DCI image region, 0..2 (DCI timing of the main picture only). */
QV_API int SetDciImageRegion(uint8_t region) QV_NOEXCEPT;
/* Read whether the cropped region is shown (needs a DCI image region other than 0). */
QV_API int GetShowCroppedRegionStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the cropped region (needs a DCI image region other than 0). */
QV_API int SetShowCroppedRegionStatus(uint8_t status) QV_NOEXCEPT;
/* Read the cropped region's opacity (needs a DCI image region other than 0). */
QV_API int GetCroppedRegionOpacity(uint8_t *opacity) QV_NOEXCEPT;
/* Set the cropped region's opacity: 10, 20, ..., 80 (needs a DCI image region other than 0). */
QV_API int SetCroppedRegionOpacity(uint8_t opacity) QV_NOEXCEPT;
/* Read the video-legal switch. */
QV_API int GetVideoLegalStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the video-legal switch, 0..1. */
QV_API int SetVideoLegalStatus(uint8_t status) QV_NOEXCEPT;
/* Read the overscan switch. */
QV_API int GetOverScanStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the overscan switch, 0..1. */
QV_API int SetOverScanStatus(uint8_t status) QV_NOEXCEPT;
/* Read the blue-channel switch. */
QV_API int GetBlueChannelStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the blue-channel switch, 0..1. */
QV_API int SetBlueChannelStatus(uint8_t status) QV_NOEXCEPT;
/* Read the overdrive switch (picture-in-picture must be off). */
QV_API int GetOverDriveStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the overdrive switch, 0..1 (picture-in-picture must be off). */
QV_API int SetOverDriveStatus(uint8_t status) QV_NOEXCEPT;
/* Read the deinterlacer switch. */
QV_API int GetDeinterlacerStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the deinterlacer switch, 0..1. */
QV_API int SetDeinterlacerStatus(uint8_t status) QV_NOEXCEPT;
/* Read the cadence-detection switch. */
QV_API int GetCadenceDetectionStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the cadence-detection switch, 0..1. */
QV_API int SetCadenceDetectionStatus(uint8_t status) QV_NOEXCEPT;
/* (section: image) */

/* ---------------------------------------------------------------- markers */
/* On-screen marker switches, exchanged byte for byte with the display (12 bytes, packed).
 * A field read from the display may also hold 2, the display's own state for that marker. */
#pragma pack(push, 1)
typedef struct MarkerDetails {
    uint8_t clearMarkers; /* 1: clear every marker (sent only by the clear functions); else 0 */
    uint8_t marker1;      /* marker fields 1 to 11: 0 off, 1 on */
    uint8_t marker2;
    uint8_t marker3;
    uint8_t marker4;      /* on monitor type 1 the main picture accepts any value here */
    uint8_t marker5;
    uint8_t marker6;
    uint8_t marker7;
    uint8_t marker8;
    uint8_t marker9;
    uint8_t marker10;
    uint8_t marker11;
} MarkerDetails;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(MarkerDetails) == 12, "MarkerDetails is 12 bytes on the wire");
#else
_Static_assert(sizeof(MarkerDetails) == 12, "MarkerDetails is 12 bytes on the wire");
#endif

/* Clear every marker of the main picture. */
QV_API int ClearMarkers(void) QV_NOEXCEPT;
/* Read the main picture's marker record. */
QV_API int GetMarkerDetails(MarkerDetails *details) QV_NOEXCEPT;
/* Change the main picture's markers; the combination is checked against the current record. */
QV_API int SetMarkerDetails(const MarkerDetails *details) QV_NOEXCEPT;
/* Read the main picture's marker colour. */
QV_API int GetMarkerColor(uint8_t *color) QV_NOEXCEPT;
/* Set the main picture's marker colour, 0..6. */
QV_API int SetMarkerColor(uint8_t color) QV_NOEXCEPT;
/* Clear every marker of the picture-in-picture window. */
QV_API int ClearPIPMarkers(void) QV_NOEXCEPT;
/* Read the picture-in-picture window's marker record. */
QV_API int GetPIPMarkerDetails(MarkerDetails *details) QV_NOEXCEPT;
/* Change the picture-in-picture window's markers; checked against the current record. */
QV_API int SetPIPMarkerDetails(const MarkerDetails *details) QV_NOEXCEPT;
/* Read the picture-in-picture window's marker colour. */
QV_API int GetPIPMarkerColor(uint8_t *color) QV_NOEXCEPT;
/* Set the picture-in-picture window's marker colour, 0..6. */
QV_API int SetPIPMarkerColor(uint8_t color) QV_NOEXCEPT;
/* (section: markers) */

/* ---------------------------------------------------------------- picture-in-picture */
/* Limits of a custom PIP window, one row per monitor type (row = type - 1): X minimum,
 * largest X at the smallest size, Y minimum, largest Y at the smallest size, smallest height,
 * largest height. Only the low 16 bits of an entry count. Read at every call. */
QV_API extern int64_t sPipLimits[2][6];

/* Read the picture-in-picture mode (PIP must be on, status 1). */
QV_API int GetPIPMode(uint8_t *mode) QV_NOEXCEPT;
/* Set the picture-in-picture mode, 1..2 (PIP must be on, status 1). */
QV_API int SetPIPMode(uint8_t mode) QV_NOEXCEPT;
/* Read the PIP window's position selector and X, Y (PIP mode 1). */
QV_API int GetPIPPosition(uint8_t *positionSelector, int16_t *x, int16_t *y) QV_NOEXCEPT;
/* Place the PIP window: selector 0..3, or 4 for a custom X, Y within the current window's limits. */
QV_API int SetPIPPosition(uint8_t positionSelector, int16_t x, int16_t y) QV_NOEXCEPT;
/* Read the PIP window's size selector, width and height (PIP mode 1). */
QV_API int GetPIPSize(uint8_t *sizeSelector, int16_t *width, int16_t *height) QV_NOEXCEPT;
/* Size the PIP window: selector 0..2, or 3 for a custom height (width follows at 4096:2160). */
QV_API int SetPIPSize(uint8_t sizeSelector, int16_t height) QV_NOEXCEPT;
/* Read the PIP window's primary input. */
QV_API int GetPIPPrimaryInput(uint8_t *input) QV_NOEXCEPT;
/* Select the PIP window's primary input, 0..4. */
QV_API int SetPIPPrimaryInput(uint8_t input) QV_NOEXCEPT;
/* Read the PIP window's secondary input. */
QV_API int GetPIPSecondaryInput(uint8_t *input) QV_NOEXCEPT;
/* Select the PIP window's secondary input, 0..4. */
QV_API int SetPIPSecondaryInput(uint8_t input) QV_NOEXCEPT;
/* Read whether the two PIP inputs are swapped. */
QV_API int GetSwapPIPInputsStatus(uint8_t *swapped) QV_NOEXCEPT;
/* Swap (1) or unswap (0) the two PIP inputs. */
QV_API int SetSwapPIPInputsStatus(uint8_t swapped) QV_NOEXCEPT;
/* Read the PIP window's video-legal setting. */
QV_API int GetPIPVideoLegalStatus(uint8_t *videoLegal) QV_NOEXCEPT;
/* Set the PIP window's video-legal setting, 0..1. */
QV_API int SetPIPVideoLegalStatus(uint8_t videoLegal) QV_NOEXCEPT;
/* Read the PIP window's overscan setting. */
QV_API int GetPIPOverscanStatus(uint8_t *overscan) QV_NOEXCEPT;
/* Set the PIP window's overscan setting, 0..1. */
QV_API int SetPIPOverscanStatus(uint8_t overscan) QV_NOEXCEPT;
/* Read the PIP window's DCI setting (the PIP source must show a DCI timing). */
QV_API int GetPIPDciStatus(uint8_t *dci) QV_NOEXCEPT;
/* Set the PIP window's DCI setting, 0..2 (the PIP source must show a DCI timing). */
QV_API int SetPIPDciStatus(uint8_t dci) QV_NOEXCEPT;
/* (section: pip) */

/* ---------------------------------------------------------------- presets and calibration */
/* Read whether calibration is enabled. */
QV_API int GetCalibrationStatus(uint8_t *enabled) QV_NOEXCEPT;
/* Enable (1) or disable (0) calibration. */
QV_API int SetCalibrationStatus(uint8_t enabled) QV_NOEXCEPT;

#pragma pack(push, 1)
/* The display's self-calibration schedule (8 bytes). */
typedef struct CalibrationSchedule {
    uint8_t ScheduleStatus;  /* 0..1; 0 = no schedule */
    uint8_t FrequencyType;   /* 0..2 */
    int16_t FrequencyCount;  /* 0..4 */
    uint8_t DayofWeek;       /* 0..6 */
    uint8_t TimeHH;          /* 1..12 */
    uint8_t TimeMM;          /* 0..59 */
    uint8_t TimeMeridian;    /* 0..1 */
} CalibrationSchedule;

/* The display's warm-up timer (11 bytes). */
typedef struct DisplayWarmupSettings {
    uint8_t WarmupEnableStatus;    /* 0..1; 0 = warm-up off */
    uint8_t WarmupTimeHour;        /* 1..12 */
    uint8_t WarmupTimeMinute;      /* 0..59 */
    uint8_t WarmuptimeMeridian;    /* 0..1 */
    uint8_t WarmupEnableSunday;    /* each day 0..1 */
    uint8_t WarmupEnableMonday;
    uint8_t WarmupEnableTuesday;
    uint8_t WarmupEnableWednesday;
    uint8_t WarmupEnableThursday;
    uint8_t WarmupEnableFriday;
    uint8_t WarmupEnableSaturday;
} DisplayWarmupSettings;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(CalibrationSchedule) == 8, "CalibrationSchedule is 8 bytes");
static_assert(sizeof(DisplayWarmupSettings) == 11, "DisplayWarmupSettings is 11 bytes");
#else
_Static_assert(sizeof(CalibrationSchedule) == 8, "CalibrationSchedule is 8 bytes");
_Static_assert(sizeof(DisplayWarmupSettings) == 11, "DisplayWarmupSettings is 11 bytes");
#endif

/* Load user preset 1..4. */
QV_API int LoadUserPreset(uint8_t preset) QV_NOEXCEPT;
/* Save the current settings as user preset 1..4. */
QV_API int SaveUserPreset(uint8_t preset) QV_NOEXCEPT;
/* Read the self-calibration schedule (all zero when no schedule is set). */
QV_API int GetCalibrationSchedule(CalibrationSchedule *schedule) QV_NOEXCEPT;
/* Write the self-calibration schedule; every field is range-checked. */
QV_API int SetCalibrationSchedule(const CalibrationSchedule *schedule) QV_NOEXCEPT;
/* Read the warm-up timer (all zero when warm-up is off). */
QV_API int GetDisplayWarmupSettings(DisplayWarmupSettings *settings) QV_NOEXCEPT;
/* Write the warm-up timer; its fields are checked only when warm-up is switched on. */
QV_API int SetDisplayWarmupSettings(const DisplayWarmupSettings *settings) QV_NOEXCEPT;
/* Recalibrate the active preset (blocks up to 60 minutes); calibration must be enabled. */
QV_API int RecalibrateActivePreset(void) QV_NOEXCEPT;
/* Configure a preset (colour space 1..8, options 1..6, 1..4, 1..6, luminance 48..250) and calibrate it. */
QV_API int ConfigureAndCalibratePreset(uint8_t colorSpaceIndex, uint8_t option2, uint8_t option3,
                                       uint8_t option4, uint8_t luminance) QV_NOEXCEPT;
/* Align the internal calibration device (blocks up to 20 minutes); calibration and the external instrument must be enabled. */
QV_API int AlignInternalCalibrationDevice(void) QV_NOEXCEPT;
/* Read whether an external measuring instrument may be used. */
QV_API int GetAllowExternalInstrumentStatus(uint8_t *allowed) QV_NOEXCEPT;
/* Allow (1) or forbid (0) an external measuring instrument. */
QV_API int SetAllowExternalInstrumentStatus(uint8_t allowed) QV_NOEXCEPT;
/* Query the calibration mode: 0 on success, a negative result code otherwise. */
QV_API int GetCalibrationMode(void) QV_NOEXCEPT;
/* (section: presets) */

/* ---------------------------------------------------------------- power, connectivity, maintenance */
/* Read the auto-sleep mode (0..1). */
QV_API int GetAutoSleepMode(uint8_t *mode) QV_NOEXCEPT;
/* Set the auto-sleep mode, 0..1. */
QV_API int SetAutoSleepMode(uint8_t mode) QV_NOEXCEPT;
/* Read whether the display recalls its last power state at power-on. */
QV_API int GetPowerOnRecallStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the power-on recall switch, 0..1. */
QV_API int SetPowerOnRecallStatus(uint8_t status) QV_NOEXCEPT;
/* Read the DDC/CI communication switch. */
QV_API int GetDDCCICommnStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the DDC/CI communication switch, 0..1. */
QV_API int SetDDCCICommnStatus(uint8_t status) QV_NOEXCEPT;
/* Read the automatic EDID update switch. */
QV_API int GetAutoEDIDUpdateStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the automatic EDID update switch, 0..1. */
QV_API int SetAutoEDIDUpdateStatus(uint8_t status) QV_NOEXCEPT;
/* Read the hot-plug initiate switch. */
QV_API int GetHotPlugInitiateStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the hot-plug initiate switch, 0..1. */
QV_API int SetHotPlugInitiateStatus(uint8_t status) QV_NOEXCEPT;
/* Read the DisplayPort hot-plug detect switch. */
QV_API int GetDPHPDStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the DisplayPort hot-plug detect switch, 0..1. */
QV_API int SetDPHPDStatus(uint8_t status) QV_NOEXCEPT;
/* Power off the display's internal management processor. */
QV_API int PowerOffManageInternalProcessor(void) QV_NOEXCEPT;
/* Read the firmware-update status (0..3). */
QV_API int GetFirmwareUpdateStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the firmware-update status, 0..3. */
QV_API int SetFirmwareUpdateStatus(uint8_t status) QV_NOEXCEPT;
/* Read the user-preset support switch. */
QV_API int GetUserPresetSupportStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the user-preset support switch, 0..1. */
QV_API int SetUserPresetSupportStatus(uint8_t status) QV_NOEXCEPT;
/* Send a management-menu lock code (any byte; the display decides). */
QV_API int LockManagementMenu(uint8_t lock) QV_NOEXCEPT;
/* Read the USB-C input configuration (monitor type 2 only, else RC_NOT_SUPPORTED). */
QV_API int GetUSBCInputConfiguration(uint8_t *config) QV_NOEXCEPT;
/* Set the USB-C input configuration, 0..1 (monitor type 2 only, else RC_NOT_SUPPORTED). */
QV_API int SetUSBCInputConfiguration(uint8_t config) QV_NOEXCEPT;
/* Read the DisplayPort EDID configuration (monitor type 2 only, else RC_NOT_SUPPORTED). */
QV_API int GetDPEDIDConfiguration(uint8_t *config) QV_NOEXCEPT;
/* Set the DisplayPort EDID configuration, 0..1 (monitor type 2 only, else RC_NOT_SUPPORTED). */
QV_API int SetDPEDIDConfiguration(uint8_t config) QV_NOEXCEPT;
/* Read whether the USB ports stay powered in sleep. */
QV_API int GetUSBSleepFunctionality(uint8_t *status) QV_NOEXCEPT;
/* Set whether the USB ports stay powered in sleep, 0..1. */
QV_API int SetUSBSleepFunctionality(uint8_t status) QV_NOEXCEPT;
/* Read the luminance uniformity switch. */
QV_API int GetLuminanceUniformityStatus(uint8_t *status) QV_NOEXCEPT;
/* Set the luminance uniformity switch, 0..1. */
QV_API int SetLuminanceUniformityStatus(uint8_t status) QV_NOEXCEPT;
/* Put every display setting back to its factory value. */
QV_API int FactoryReset(void) QV_NOEXCEPT;
/* (section: power) */

/* ---------------------------------------------------------------- clock and on-screen display */
/* The display's date and time, exactly 9 bytes as they travel in the packet. */
#pragma pack(push, 1)
typedef struct DateTimeRecord {
    uint8_t month;      /* 1..12 */
    uint8_t day;        /* 1..31 */
    int16_t year;       /* any value, little-endian on the wire */
    uint8_t hour;       /* 0..23 when timeFormat is 1, 1..12 when it is 0 */
    uint8_t minute;     /* 0..59 */
    uint8_t timezone;   /* 0..45 */
    uint8_t timeFormat; /* 0: 12-hour, 1: 24-hour */
    uint8_t extraFlag;  /* 0..1 */
} DateTimeRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(DateTimeRecord) == 9, "DateTimeRecord is 9 bytes");
#else
_Static_assert(sizeof(DateTimeRecord) == 9, "DateTimeRecord is 9 bytes");
#endif

/* Read the time format (0: 12-hour, 1: 24-hour). */
QV_API int GetDeviceTimeFormat(uint8_t *format) QV_NOEXCEPT;
/* Set the time format, 0..1. */
QV_API int SetDeviceTimeFormat(uint8_t format) QV_NOEXCEPT;
/* Read whether date and time are adjusted automatically. */
QV_API int GetAutoAdjustDateAndTimeStatus(uint8_t *status) QV_NOEXCEPT;
/* Set whether date and time are adjusted automatically, 0..1. */
QV_API int SetAutoAdjustDateAndTimeStatus(uint8_t status) QV_NOEXCEPT;
/* Read the timezone index. */
QV_API int GetTimezone(uint8_t *zone) QV_NOEXCEPT;
/* Set the timezone index, 0..45. */
QV_API int SetTimezone(uint8_t zone) QV_NOEXCEPT;
/* Read whether daylight saving is applied automatically. */
QV_API int GetAutoAdjustDayLightSavingStatus(uint8_t *status) QV_NOEXCEPT;
/* Set whether daylight saving is applied automatically, 0..1. */
QV_API int SetAutoAdjustDayLightSavingStatus(uint8_t status) QV_NOEXCEPT;
/* Read the display's date and time into record (9 bytes). */
QV_API int GetDateAndTime(DateTimeRecord *record) QV_NOEXCEPT;
/* Set the display's date and time; every field but year is range-checked. */
QV_API int SetDateAndTime(const DateTimeRecord *record) QV_NOEXCEPT;
/* Read the on-screen menu position. */
QV_API int GetOSDPosition(int16_t *x, int16_t *y) QV_NOEXCEPT;
/* Set the on-screen menu position, x and y 0..100. */
QV_API int SetOSDPosition(int16_t x, int16_t y) QV_NOEXCEPT;
/* Read the on-screen menu opacity. */
QV_API int GetOSDOpacity(uint8_t *opacity) QV_NOEXCEPT;
/* Set the on-screen menu opacity, 25..100. */
QV_API int SetOSDOpacity(uint8_t opacity) QV_NOEXCEPT;
/* Read the on-screen menu timeout in seconds. */
QV_API int GetOSDTimeout(uint8_t *seconds) QV_NOEXCEPT;
/* Set the on-screen menu timeout, 5..60 seconds in steps of 5. */
QV_API int SetOSDTimeout(uint8_t seconds) QV_NOEXCEPT;
/* Read the menu language index. */
QV_API int GetMenuLanguage(uint8_t *language) QV_NOEXCEPT;
/* Set the menu language index, 0..9. */
QV_API int SetMenuLanguage(uint8_t language) QV_NOEXCEPT;
/* (section: clock) */

/* ---------------------------------------------------------------- network */
/* IP configuration of the display, as GetIPConfiguration fills it and SetIPConfiguration sends it:
 * 49 bytes, packed, the address texts NUL-terminated dotted decimal of at most 15 characters. */
#pragma pack(push, 1)
typedef struct IPConfigRecord {
    uint8_t ipMode;      /* addressing mode 0..1; with 0 a set sends no addresses */
    char ipAddress[16];  /* e.g. "192.168.1.10" */
    char subnetMask[16]; /* e.g. "255.255.255.0" */
    char gateway[16];    /* e.g. "192.168.1.1" */
} IPConfigRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(IPConfigRecord) == 49, "IPConfigRecord is 49 bytes");
#else
_Static_assert(sizeof(IPConfigRecord) == 49, "IPConfigRecord is 49 bytes");
#endif

/* Read whether the built-in web server is on (1). */
QV_API int GetWebServerStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch the built-in web server off (0) or on (1). */
QV_API int SetWebServerStatus(uint8_t status) QV_NOEXCEPT;
/* Read the IP configuration into config (an IPConfigRecord, 49 bytes) and the MAC text into mac (18 bytes). */
QV_API int GetIPConfiguration(char *config, char *mac) QV_NOEXCEPT;
/* Send the IP configuration in config (an IPConfigRecord); the address texts are split in place. */
QV_API int SetIPConfiguration(uint8_t *config) QV_NOEXCEPT;
/* Read whether web-service management is on (needs the web server on). */
QV_API int GetWSManagementStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch web-service management off (0) or on (1) (needs the web server on). */
QV_API int SetWSManagementStatus(uint8_t status) QV_NOEXCEPT;
/* Read whether web-service identify support is on (needs the web server on). */
QV_API int GetWSIdentifySupportStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch web-service identify support off (0) or on (1) (needs the web server and management on). */
QV_API int SetWSIdentifySupportStatus(uint8_t status) QV_NOEXCEPT;
/* Read the dashboard security mode. */
QV_API int GetDashboardSecurityStatus(uint8_t *mode) QV_NOEXCEPT;
/* Set the dashboard security mode, 0..1. */
QV_API int SetDashboardSecurity(uint8_t mode) QV_NOEXCEPT;
/* Split dotted decimal text in place into up to four bytes (low 8 bits of each part). */
QV_API void SplitIPV4(char *text, uint8_t *bytes) QV_NOEXCEPT;
/* (section: network) */

/* ---------------------------------------------------------------- identity, counters, readouts */
/* Read the hours since the last calibration. */
QV_API int GetCalibrationHours(int16_t *hours) QV_NOEXCEPT;
/* Read the backlight's operating hours. */
QV_API int GetBacklightHours(int16_t *hours) QV_NOEXCEPT;
/* Read the firmware revision into revision (8 bytes: 7 characters and a NUL). */
QV_API int GetFirmwareRevision(char *revision) QV_NOEXCEPT;
/* Read the customer ID or asset tag into text (19 bytes, at most 18 characters). */
QV_API int GetCustomerIDAsset(char *text) QV_NOEXCEPT;
/* Read the deployment date into text (11 bytes, at most 10 characters). */
QV_API int GetDeploymentDate(char *text) QV_NOEXCEPT;
/* Read the deployment location into text (19 bytes, at most 18 characters). */
QV_API int GetDeploymentLocation(char *text) QV_NOEXCEPT;
/* Read the display name into text (19 bytes, at most 18 characters). */
QV_API int GetDisplayName(char *text) QV_NOEXCEPT;
/* Read the colour-management engine status. */
QV_API int GetColorManagementEngineStatus(uint8_t *status) QV_NOEXCEPT;
/* Read the dithering mode status. */
QV_API int GetDitheringModeStatus(uint8_t *status) QV_NOEXCEPT;
/* Read the calibration alert limit. */
QV_API int GetCalibrationAlertLimit(uint8_t *limit) QV_NOEXCEPT;
/* (section: identity) */

/* ---------------------------------------------------------------- bezel buttons and notices */
/* Read the bezel-button light colour. */
QV_API int GetBezelButtonColor(uint8_t *color) QV_NOEXCEPT;
/* Set the bezel-button light colour, 0..2. */
QV_API int SetBezelButtonColor(uint8_t color) QV_NOEXCEPT;
/* Read the bezel-button brightness. */
QV_API int GetBezelButtonBrightness(uint8_t *brightness) QV_NOEXCEPT;
/* Set the bezel-button brightness, 0..100 in steps of 10. */
QV_API int SetBezelButtonBrightness(uint8_t brightness) QV_NOEXCEPT;
/* Read whether the bezel buttons fade automatically. */
QV_API int GetBezelButtonAutoFadeStatus(uint8_t *status) QV_NOEXCEPT;
/* Set whether the bezel buttons fade automatically, 0..1. */
QV_API int SetBezelButtonAutoFadeStatus(uint8_t status) QV_NOEXCEPT;
/* Read the function-button mode. */
QV_API int GetFunctionButtonMode(uint8_t *mode) QV_NOEXCEPT;
/* Set the function-button mode, 0..1. */
QV_API int SetFunctionButtonMode(uint8_t mode) QV_NOEXCEPT;
/* Read the action assigned to function button 1..4. */
QV_API int GetFunctionButtonSettings(uint16_t button, int16_t *setting) QV_NOEXCEPT;
/* Assign action 0..18 to function button 1..4. */
QV_API int SetFunctionButtonSettings(uint16_t button, int16_t setting) QV_NOEXCEPT;
/* Read whether the power-on information notice is shown. */
QV_API int GetShowPowerOnInfoStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the power-on information notice. */
QV_API int SetShowPowerOnInfoStatus(uint8_t status) QV_NOEXCEPT;
/* Read whether the input-source notice is shown. */
QV_API int GetShowInputSourceInfoStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the input-source notice. */
QV_API int SetShowInputSourceInfoStatus(uint8_t status) QV_NOEXCEPT;
/* Read whether the colour-space notice is shown. */
QV_API int GetShowColorspaceInfoStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the colour-space notice. */
QV_API int SetShowColorspaceInfoStatus(uint8_t status) QV_NOEXCEPT;
/* Read whether the warm-up time reminder is shown. */
QV_API int GetShowWarmupTimeReminderStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the warm-up time reminder. */
QV_API int SetShowWarmupTimeReminderStatus(uint8_t status) QV_NOEXCEPT;
/* Read whether the calibration notification is shown. */
QV_API int GetShowCalibrationNotificationStatus(uint8_t *status) QV_NOEXCEPT;
/* Show (1) or hide (0) the calibration notification. */
QV_API int SetShowCalibrationNotificationStatus(uint8_t status) QV_NOEXCEPT;
/* (section: buttons) */

/* ---------------------------------------------------------------- test patterns */
/* Read the test-pattern status (0: test-pattern mode off). */
QV_API int GetTestPatternStatus(uint8_t *status) QV_NOEXCEPT;
/* Switch test-pattern mode on. */
QV_API int EnableTestPattern(void) QV_NOEXCEPT;
/* Show a flat colour, each level 0..255; RC_NOT_ALLOWED while test-pattern mode is off. */
QV_API int ShowTestPatternforUserMode(int16_t red, int16_t green, int16_t blue) QV_NOEXCEPT;
/* Show built-in pattern 0..9; RC_NOT_ALLOWED while test-pattern mode is off. */
QV_API int ShowTestPatternServiceMode(uint32_t pattern) QV_NOEXCEPT;
/* Leave test-pattern mode (ending a built-in pattern first when one is shown). */
QV_API int DisableTestPattern(void) QV_NOEXCEPT;
/* (section: test_pattern) */

/* ---------------------------------------------------------------- file transfer and XML calibration */
/* Upload a host file in 128-byte chunks; fileType is an upload code 0, 2, 7 (text) or 1 (binary). */
QV_API int SendFileToDisplay(int fileType, const char *filePath) QV_NOEXCEPT;
/* Download every display file of fileType (3, 6 binary; 4, 5, 8 text) into directory/<name>. */
QV_API int GetFileFromDisplay(int fileType, const char *directory) QV_NOEXCEPT;
/* Ask the display to validate its XML calibration description. */
QV_API int ValidateTintwisecalXML(void) QV_NOEXCEPT;
/* Ask the display to position its colorimeter (blocks up to 20 minutes). */
QV_API int PositionColorimeter(void) QV_NOEXCEPT;
/* Run the XML-driven calibration when calibration is enabled (blocks up to 60 minutes). */
QV_API int PerformTintwiseCalibration(void) QV_NOEXCEPT;
/* (section: transfer) */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEX_H */
