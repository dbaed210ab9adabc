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
/* (section: markers) */

/* ---------------------------------------------------------------- picture-in-picture */
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
