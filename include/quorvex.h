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
/* (section: colour) */

/* ---------------------------------------------------------------- video inputs and USB binding */
/* (section: inputs) */

/* ---------------------------------------------------------------- image processing */
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
/* (section: presets) */

/* ---------------------------------------------------------------- power, connectivity, maintenance */
/* (section: power) */

/* ---------------------------------------------------------------- clock and on-screen display */
/* (section: clock) */

/* ---------------------------------------------------------------- network */
/* (section: network) */

/* ---------------------------------------------------------------- identity, counters, readouts */
/* (section: identity) */

/* ---------------------------------------------------------------- bezel buttons and notices */
/* (section: buttons) */

/* ---------------------------------------------------------------- test patterns */
/* (section: test_pattern) */

/* ---------------------------------------------------------------- file transfer and XML calibration */
/* (section: transfer) */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEX_H */
