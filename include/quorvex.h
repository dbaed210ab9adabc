/**
 * @file quorvex.h
 * @brief The Quorvex display SDK: read and change the settings of a Quorvex reference display
 *        attached by USB, from C or C++.
 *
 * This is the one public header of libquorvex. The overview (connecting, threads, logging,
 * the simulated display, the settings frame that most functions follow) is on the main page;
 * the declarations are grouped by family under Modules.
 */

/**
 * @mainpage Quorvex display SDK
 *
 * The display's USB port is a USB-to-serial bridge. The library finds displays on the bus
 * through libusb-1.0, opens and claims one, programs the bridge's baud rate, and then exchanges
 * small command packets with the display's firmware, one request and one reply at a time.
 *
 * @section qv_use Connect, call, disconnect
 *
 * 1. Scan() finds up to #MAX_DISPLAYS displays and fills a table of their serial numbers; it
 *    returns how many it found and leaves none connected.
 * 2. Connect() with a slot 0..2 (the order of the scan) opens, programs and claims that
 *    display and reads its monitor type into #gu8MonitorType. Only one display is connected at
 *    a time; connecting to another slot disconnects the current one first.
 * 3. Any Get..., Set..., transfer and calibration functions.
 * 4. Disconnect() releases and closes the display.
 *
 * Functions return an @c int result code: #RC_OK (0) or a negative RC_... value
 * (@ref qv_results); the few that return something else (Scan()'s count, the helpers of the
 * transport and protocol layers, SplitIPV4() which returns nothing) say so. A NULL pointer
 * argument is refused with #RC_INVALID_ARGUMENT before any exchange (except where a function
 * does not use the pointer: SetVideoInputName() reads @p customName only for a custom name).
 * A get that fails leaves the caller's storage as it was. The caller owns every record and
 * text buffer it passes and must give it the size stated at the function: the library never
 * learns a buffer's size.
 *
 * When the library is unloaded (or the process exits) it closes a display still connected and
 * releases its libusb context.
 *
 * @section qv_threads Threads
 *
 * The library starts no threads and takes no locks; all its state is process-wide and
 * unguarded. A host that calls it from several threads must serialise every call itself.
 * Every call blocks its caller for its exchanges: a write takes up to 5 s, and a reply is
 * awaited for up to 10 attempts one second apart for most commands, 20 minutes for
 * PositionColorimeter() and AlignInternalCalibrationDevice(), 60 minutes for
 * RecalibrateActivePreset(), ConfigureAndCalibratePreset() and PerformTintwiseCalibration().
 *
 * @section qv_logging Logging
 *
 * Diagnostic lines go to standard output while #LogMessage is 1 (its initial value); SetLog()
 * changes it, and any other value turns them off. Error lines read "<ERROR> name: ..." with the
 * function's own name. A few lines print whatever #LogMessage holds: "Moniter Type is %d" at
 * every connect, "resolution_x = %s" and "resolution_y = %s" from every display-mode read of a
 * guard, "pvActive =%d phActive =%d" from every read of the PIP resolution,
 * "<ERROR> RegUsbApi: Could not Write usb." and "<ERROR> RegUsbApi: Could not Read usb." when
 * the link fails,
 * "usb bulk read failed", and the report that perror() writes to standard error when opening the
 * device fails.
 *
 * @section qv_simulate The simulated display
 *
 * When the environment variable @c QUORVEX_SIMULATE is set and not empty, Scan() (or, without
 * an earlier scan, Connect()) talks to a simulated bus of simulated displays instead of USB,
 * for work and tests without hardware. Its value is a comma-separated list such as
 * @c displays=2,type=1,mode=1920x1080 (the README lists the items). A malformed value makes
 * Scan() fail with #RC_USB_UNAVAILABLE after a line on standard error; the library never falls
 * back to real hardware then.
 *
 * @section qv_frame_overview The settings frame
 *
 * Most settings functions are one exchange of a 32-byte settings packet: byte 0 the opcode
 * (8 for a get, 3 for a set), byte 4 the group, byte 5 the item, byte 6 the reply's status
 * (0 = accepted), bytes 7-31 the payload, little-endian, every unused byte 0. The get and the
 * set of one setting often use different groups. A one-byte value is byte 7 of the reply; a set
 * writes it as a 16-bit word at bytes 7-8 (byte 8 = 0). A 16-bit value is bytes 7-8 both ways.
 * Unless a function's entry says otherwise:
 * - a set checks its argument first, as a signed 16-bit value against inclusive bounds
 *   (s16ValidateSWord16Var()), and returns #RC_INVALID_ARGUMENT after
 *   "<ERROR> name: Validation Failed." without sending anything when it fails; an 8-bit
 *   argument is checked as 0..255, so a negative value passed as @c uint8_t arrives as
 *   128..255 and fails;
 * - a guard, where a function has one, runs before the range check; its refusal returns
 *   #RC_NOT_ALLOWED (or the code the entry names) and nothing of the function's own is sent;
 * - #RC_EXCHANGE_FAILED when the exchange fails, also when no display is connected;
 * - #RC_DEVICE_STATUS when the display refuses (reply status not 0); the frame prints
 *   "<ERROR> name: RegUsbApi Failed." for both, the entries that print
 *   "RegUsbApi Status Failed." for a refusal say so;
 * - a get prints its value line (while #LogMessage is 1) after storing the value.
 */
#ifndef QUORVEX_H
#define QUORVEX_H

#include <stdint.h>

/** @def QV_NOEXCEPT
 *  @c noexcept in C++, nothing in C: no function of the library throws. */
/** @def QV_API
 *  Marks an exported declaration (default visibility while the library itself is built). */
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

/**
 * @defgroup qv_results Result codes
 * @brief The @c int every function returns: #RC_OK or a negative failure code.
 *
 * Where a function uses a code for a meaning other than its name, its entry says so.
 * @{
 */
/** Result codes. */
enum {
    /** Success. */
    RC_OK = 0,
    /** General failure: not connected, the link's write or read failed, no device handle,
     *  releasing the interface failed; some functions use it for a failed exchange too. */
    RC_FAILED = -1,
    /** The display's current mode forbids the operation (PIP on or off, calibration or test
     *  pattern not enabled, unsuitable resolution or timing). */
    RC_NOT_ALLOWED = -2,
    /** The connected monitor type does not offer the feature. */
    RC_NOT_SUPPORTED = -3,
    /** The exchange worked but the display refused: the reply's status byte was not 0. */
    RC_DEVICE_STATUS = -4,
    /** The request/reply exchange failed (RegUsbApi() returned non-zero), also when no
     *  display is connected. */
    RC_EXCHANGE_FAILED = -5,
    /** No display at the bus number and address recorded for the slot (after a re-plug:
     *  scan again). */
    RC_NOT_FOUND = -6,
    /** An argument failed validation: out of range, NULL pointer, slot above 2. */
    RC_INVALID_ARGUMENT = -7,
    /** Claiming USB interface 0 failed. */
    RC_CLAIM_FAILED = -8,
    /** Reading the monitor type at connect failed. */
    RC_MONITOR_TYPE_FAILED = -9,
    /** The scan recorded no display. */
    RC_NO_DEVICES = -10,
    /** Obtaining the USB device list failed. */
    RC_ENUMERATION_FAILED = -11,
    /** Initialising USB (or the simulated bus) or opening the device failed. */
    RC_USB_UNAVAILABLE = -12
};
/** @} */

/**
 * @ingroup qv_connection
 * The most displays Scan() records; Connect() accepts slots 0 .. MAX_DISPLAYS-1.
 */
#define MAX_DISPLAYS 3

/**
 * @defgroup qv_state Connection state and settings globals
 * @brief The library's process-wide state, exported so a host can read it and set
 *        #baudrate before connecting. Scan(), Connect() and Disconnect() own the connection
 *        state; a host should not write it.
 * @{
 */
struct libusb_device_handle;

/** 1 from the end of a successful claim in Connect() until Disconnect(), else 0 (initially 0).
 *  RegUsbApi() sends nothing unless it is 1. */
QV_API extern int ConnectFlag;
/** The open display's device handle: set by a successful open in Connect(), NULL after
 *  Disconnect() (initially NULL). */
QV_API extern struct libusb_device_handle *g_glimmetHandle;
/** 1 while USB interface 0 of the open display is claimed, else 0. */
QV_API extern uint8_t m_claimed_interface;
/** USB bus number of each display the last Scan() recorded, by slot (slots 0..2 are used). */
QV_API extern int8_t bus_num[5];
/** USB device address of each display the last Scan() recorded, by slot (slots 0..2 are used). */
QV_API extern int8_t dev_num[5];
/** Bus number of the display being recorded or connected. */
QV_API extern int8_t conn_bus_num;
/** Device address of the display being recorded or connected. */
QV_API extern int8_t conn_dev_num;
/** Serial rate that Connect() programs into the bridge (default 115200); a rate the bridge
 *  cannot reach within about 5 % prints a warning and connects anyway. Each read takes at most
 *  baudrate / 512 bytes, so below 94208 the longest replies (184 bytes) are cut short. Set it
 *  before Connect(). */
QV_API extern int baudrate;
/** Monitor type read by the last Connect() that got that far (Scan() connects too); 0xFF
 *  before any. The library tells types 1 and 2 apart: type 2 alone offers the DisplayPort
 *  EDID and USB-C input settings and some image-scaling and marker values, and each of the
 *  two has its row of #sPipLimits. */
QV_API extern uint8_t gu8MonitorType;
/** 1 (initially): diagnostic lines on; any other value: off. Changed by SetLog(). */
QV_API extern uint8_t LogMessage;
/** @} */

/**
 * @defgroup qv_connection Discovery and connection
 * @brief Finding displays, connecting to one, and the two reads that belong to discovery.
 * @{
 */
/**
 * Finds the displays on the bus and records up to three of them, in USB list order.
 *
 * Initialises USB on every call, then for each device with the display's USB ids records its
 * bus number and address in the next slot, connects to it, reads its serial number and
 * disconnects. A display counts only when it could be connected and its serial number read.
 * Leaves no display connected; #gu8MonitorType holds the type of the last display connected.
 * @param serialNumbers receives #MAX_DISPLAYS entries of 12 bytes (36 bytes): entry k, at byte
 *        12k, the serial number of slot k (10 characters and a NUL; byte 11 is not written).
 * @return the number of displays recorded (1..3), #RC_NO_DEVICES, #RC_ENUMERATION_FAILED or
 *         #RC_USB_UNAVAILABLE.
 */
QV_API int Scan(char *serialNumbers) QV_NOEXCEPT;
/**
 * Opens, programs and claims the display recorded in a slot by the last Scan().
 *
 * Disconnects first when a display is connected; programs the bridge from #baudrate
 * (vendor control request 0x40, 3), detaches an active kernel driver, claims interface 0,
 * drains one bulk read, and reads the monitor type into #gu8MonitorType. Without an earlier
 * Scan() it initialises USB itself; a slot no scan recorded then gives #RC_NOT_FOUND.
 * @param slot 0..2.
 * @return #RC_OK; #RC_INVALID_ARGUMENT for a slot outside 0..2 (nothing changes);
 *         #RC_ENUMERATION_FAILED; #RC_NOT_FOUND; #RC_USB_UNAVAILABLE (opening failed);
 *         #RC_CLAIM_FAILED (the device stays open, Disconnect() closes it); #RC_FAILED (the drain
 *         read failed) or #RC_MONITOR_TYPE_FAILED, both with the display connected.
 */
QV_API int Connect(int8_t slot) QV_NOEXCEPT;
/**
 * Releases interface 0 and closes the open display; with nothing open it only clears
 * #ConnectFlag.
 * @return #RC_OK, also when the release reports busy; #RC_FAILED when releasing the interface
 *         fails otherwise (the state is then left as it was).
 */
QV_API int Disconnect(void) QV_NOEXCEPT;
/**
 * Reads the display's serial number: get of group 11, item 0, 10 characters at bytes 7-16.
 * @param serialNumber at least 11 bytes: 10 characters and a NUL.
 * @return the frame's codes.
 */
QV_API int GetDisplaySerialNumber(char *serialNumber) QV_NOEXCEPT;
/**
 * Reads the monitor type byte: get of group 20, item 0, byte 7. Prints "Moniter Type is %d"
 * whatever #LogMessage holds.
 * @param monitorType receives the type.
 * @return #RC_OK, or #RC_FAILED when the exchange fails or the display refuses
 *         ("RegUsbApi Status Failed.").
 */
QV_API int GetMonitorType(uint8_t *monitorType) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_port Serial-bridge port I/O
 * @brief Raw packets on the bridge's bulk endpoints (OUT 0x02, IN 0x81). The settings
 *        functions call these through RegUsbApi(); a host rarely needs them.
 *
 * On the IN side the bridge frames data in 64-byte USB packets, each led by two status bytes
 * (0x01, then 0x60 or 0x00) that are not data; the reads strip them.
 * @{
 */
/**
 * Writes one packet in one bulk transfer on endpoint 0x02 (5000 ms timeout). A short write
 * counts as success.
 * @param packet the bytes to send.
 * @param length 1..515.
 * @return 0; #RC_INVALID_ARGUMENT for a NULL packet or length 0; #RC_FAILED with no device
 *         open or length above 515; otherwise libusb's negative error code.
 */
QV_API int WritePort(uint8_t *packet, uint16_t length) QV_NOEXCEPT;
/**
 * Reads one reply with up to timeout/1000 attempts, pausing one second after each attempt
 * that brings no data; the first attempt with data ends the read, even when shorter than
 * wanted. Each attempt asks for the wanted count, but at most #baudrate / 512 bytes.
 * @param packet receives the reply (only on success).
 * @param count in: bytes wanted, 0..32767; out on success: bytes delivered.
 * @param timeout milliseconds: each bulk read's timeout, and /1000 the number of attempts
 *        (below 1000: no attempt).
 * @return 0; #RC_INVALID_ARGUMENT for a NULL pointer or a count above 32767; #RC_FAILED with
 *         no device open or no data within the attempts.
 */
QV_API int ReadPort(uint8_t *packet, uint16_t *count, int64_t timeout) QV_NOEXCEPT;
/**
 * One bulk read on endpoint 0x81 (4096 bytes asked, status bytes checked on the first bridge
 * packet and stripped from every packet); a transfer that fails the status check is read once
 * more. Data beyond @p size are dropped.
 * @param buffer receives up to @p size data bytes.
 * @param size bytes wanted, 0 or more.
 * @param timeout milliseconds for each bulk transfer.
 * @return the data bytes delivered (1..size); 0 when the transfer held only status bytes (or
 *         @p size is 0); -1 when both transfers had wrong status bytes; -127 when a transfer
 *         that failed the check brought no bytes at all; a libusb error code (libusb's
 *         invalid-parameter code, -2, for a negative size).
 */
QV_API int read_data_logic(uint8_t *buffer, int size, int64_t timeout) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_exchange Command exchange
 * @brief One request/reply exchange with the display's firmware, and its timeouts.
 * @{
 */
/**
 * Writes a command packet and reads the reply into the same buffer. Does not look at the
 * reply's status and does not compare the reply's length: bytes past a short reply keep the
 * request's values. A write or read failure prints its "Could not Write usb." or
 * "Could not Read usb." line whatever #LogMessage holds; not being connected is silent.
 * @param packet the command packet (byte 0 the opcode): request in, reply out.
 * @param length bytes to send and bytes expected back.
 * @return #RC_OK when a reply was read; #RC_FAILED when not connected (#ConnectFlag not 1) or
 *         the write or read failed.
 */
QV_API int RegUsbApi(uint8_t *packet, uint16_t length) QV_NOEXCEPT;
/**
 * The read timeout of a command, by its opcode.
 * @return milliseconds: 1200000 (20 minutes) for opcodes 11, 13, 26 and 36; 3600000
 *         (60 minutes) for 27 and 35; 10000 for every other opcode.
 */
QV_API int SetTimeOutForReadPort(uint8_t opcode) QV_NOEXCEPT;
/**
 * The settings group of an identifier; the library itself does not use it.
 * @return 1 for 21..22, 2 for 23..34, 3 for 35..48, 5 for 50..57, 4 for 58..67, 6 for 68..76,
 *         7 for 77..81, 8 for 82..84, 9 for 88..94, 0 for every other value.
 */
QV_API uint8_t ubGetGroupId(uint8_t identifier) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_helpers Range check, logging and version
 * @brief Helpers the settings functions share, usable without a connection.
 * @{
 */
/**
 * The range check of every setter: each argument is judged by its low 16 bits read as signed
 * (65584 is judged as 48).
 * @return 0 when low <= value <= high, -1 otherwise.
 */
QV_API int s16ValidateSWord16Var(int value, int low, int high) QV_NOEXCEPT;
/**
 * Stores @p enable into #LogMessage: 1 turns diagnostic lines on, any other value off.
 * @return #RC_OK.
 */
QV_API int SetLog(uint8_t enable) QV_NOEXCEPT;
/**
 * Writes the SDK version text "v1.0" with its NUL; exchanges nothing.
 * @param version at least 5 bytes.
 * @return #RC_OK.
 */
QV_API int GetSdkVersion(char *version) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_guards Display-mode queries and guards
 * @brief The queries that mode-dependent functions run first. Each reads the display afresh
 *        on every call and prints its own lines before the caller's.
 * @{
 */
/**
 * Reads the display-mode text: get of group 10, item 1, text at bytes 7-31. Its first
 * blank-separated token is the active width, its third the active height.
 * @param mode 25 bytes: at most 24 characters, NUL-filled.
 * @return the frame's codes.
 */
QV_API int GetDisplayMode(char *mode) QV_NOEXCEPT;
/**
 * Reads whether picture-in-picture is on: get of group 4, item 0, byte 7 (0 = off).
 * @param status receives the status.
 * @return the frame's codes.
 */
QV_API int GetPIPStatus(uint8_t *status) QV_NOEXCEPT;
/**
 * Switches picture-in-picture off (0) or on (1): set of group 3, item 0. No guard.
 * @return the frame's codes.
 */
QV_API int SetPIPStatus(uint8_t status) QV_NOEXCEPT;
/**
 * Active width and height of the main picture, from GetDisplayMode(); a missing or
 * non-numeric token counts as 0. Prints "resolution_x = %s" and "resolution_y = %s" whatever
 * #LogMessage holds. The image-processing functions, GetDciMode() and CheckMarkerSupport()
 * run it first.
 * @param width receives the width (written also when the result is #RC_NOT_ALLOWED).
 * @param height receives the height (likewise).
 * @return #RC_OK; #RC_NOT_ALLOWED when the width or height is 0; or the code of
 *         GetDisplayMode().
 */
QV_API int GetImageAdjustmentMode(int16_t *width, int16_t *height) QV_NOEXCEPT;
/**
 * Source resolution of the picture-in-picture window: GetPIPStatus(), then a get of group 4,
 * item 27 (height at bytes 7-8, width at 9-10). Prints "pvActive =%d phActive =%d" whatever
 * #LogMessage holds.
 * @param width receives the width.
 * @param height receives the height.
 * @return #RC_OK; #RC_NOT_ALLOWED when PIP is off or its status cannot be read;
 *         #RC_FAILED when the resolution read fails or is refused.
 */
QV_API int GetPIPResolution(int16_t *width, int16_t *height) QV_NOEXCEPT;
/**
 * Whether a picture shows a DCI timing: 2048 x 1080, or 4096 (or 4095) x 2160.
 * @param picture 3: the main picture (GetImageAdjustmentMode()); 4: the PIP source
 *        (GetPIPResolution()).
 * @return #RC_OK for a DCI timing; #RC_NOT_ALLOWED for another; the code of the query;
 *         #RC_FAILED for any other selector, without an exchange.
 */
QV_API int GetDciMode(uint8_t picture) QV_NOEXCEPT;
/**
 * Whether markers are available at the main picture's resolution: at a height of 720 or
 * 1080, and otherwise on monitor type 2 at a width of 3840 or more, on any other type at a
 * width of exactly 2560.
 * @return #RC_OK; #RC_NOT_ALLOWED; or the code of GetImageAdjustmentMode().
 */
QV_API int CheckMarkerSupport(void) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_colour Colour
 * @brief Luminance, colour space, RGB adjustment and blue-light mode; the names of the
 *        current colour space, the gamma and the colour-space presets; the chromaticities of
 *        the primaries. No guards. The get and the set of a setting use the same group and
 *        item.
 * @{
 */
/** Reads the display luminance: get of group 0, item 0, int16. */
QV_API int GetDisplayLuminance(int16_t *luminance) QV_NOEXCEPT;
/** Sets the display luminance, 48..250: set of group 0, item 0, int16. */
QV_API int SetDisplayLuminance(int16_t luminance) QV_NOEXCEPT;
/** Reads the active colour-space index (1..8): get of group 0, item 1. */
QV_API int GetActiveColorSpace(uint8_t *index) QV_NOEXCEPT;
/** Selects the active colour space, 1..8: set of group 0, item 1. */
QV_API int SetActiveColorSpace(uint8_t index) QV_NOEXCEPT;
/** Reads the blue-light mode (0..2): get of group 0, item 3. */
QV_API int GetBlueLightModeStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the blue-light mode, 0..2: set of group 0, item 3. */
QV_API int SetBlueLightModeStatus(uint8_t status) QV_NOEXCEPT;
/**
 * Reads the downstream RGB adjustment: get of group 0, item 2; int16 gains at bytes 7-12 and
 * offsets at bytes 13-18, red, green, blue.
 * @param gains receives the 3 gains.
 * @param offsets receives the 3 offsets.
 */
QV_API int GetDownstreamRGBAdjust(int16_t gains[3], int16_t offsets[3]) QV_NOEXCEPT;
/**
 * Sets the red, green and blue gains and offsets, each 0..1023, in one set of group 0,
 * item 2 (layout as the get). Checked gain 0, offset 0, gain 1, ...; the first value out of
 * range returns #RC_INVALID_ARGUMENT after "Gain Validation Failed." or
 * "Offset Validation Failed.".
 * @param gains the 3 gains.
 * @param offsets the 3 offsets.
 */
QV_API int SetDownstreamRGBAdjust(const int16_t gains[3], const int16_t offsets[3]) QV_NOEXCEPT;
/**
 * Reads the current colour-space name: get of group 13, item 3, text at bytes 7-20.
 * @param name 15 bytes: at most 14 characters, NUL-filled.
 */
QV_API int GetCurrentColorSpaceName(char *name) QV_NOEXCEPT;
/**
 * Reads the current gamma name: get of group 13, item 2, text at bytes 7-20.
 * @param name 15 bytes: at most 14 characters, NUL-filled.
 */
QV_API int GetGamma(char *name) QV_NOEXCEPT;
/**
 * Reads the red primary's x, y: get of group 14, item 0, bytes 7-10.
 *
 * The primaries getters read a record of eight unsigned 16-bit thousandths: red at bytes
 * 7-10, green 11-14, blue 15-18, white 19-22, as x, y (item 0) or u', v' (item 1); each value
 * reaches the caller divided by 1000 (640 gives 0.64). Each call makes its own exchange.
 */
QV_API int GetRedPrimaryXY(float *x, float *y) QV_NOEXCEPT;
/** Reads the red primary's u', v': get of group 14, item 1, bytes 7-10. */
QV_API int GetRedPrimaryUV(float *u, float *v) QV_NOEXCEPT;
/** Reads the green primary's x, y: get of group 14, item 0, bytes 11-14. */
QV_API int GetGreenPrimaryXY(float *x, float *y) QV_NOEXCEPT;
/** Reads the green primary's u', v': get of group 14, item 1, bytes 11-14. */
QV_API int GetGreenPrimaryUV(float *u, float *v) QV_NOEXCEPT;
/** Reads the blue primary's x, y: get of group 14, item 0, bytes 15-18. */
QV_API int GetBluePrimaryXY(float *x, float *y) QV_NOEXCEPT;
/** Reads the blue primary's u', v': get of group 14, item 1, bytes 15-18. */
QV_API int GetBluePrimaryUV(float *u, float *v) QV_NOEXCEPT;
/** Reads the white point's x, y: get of group 14, item 0, bytes 19-22. */
QV_API int GetWhitePrimaryXY(float *x, float *y) QV_NOEXCEPT;
/** Reads the white point's u', v': get of group 14, item 1, bytes 19-22. */
QV_API int GetWhitePrimaryUV(float *u, float *v) QV_NOEXCEPT;
/**
 * Reads the names of the eight colour-space presets in a 122-byte packet of its own
 * (opcode 22; status in byte 1, eight 15-byte name fields from byte 2).
 * @param names 8 entries of 15 bytes (120 bytes), each at most 14 characters, NUL-filled; all
 *        written on success.
 * @return #RC_OK, #RC_EXCHANGE_FAILED, or #RC_DEVICE_STATUS when byte 1 of the reply is not 0.
 */
QV_API int GetPresetNameList(char names[8][15]) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_inputs Video inputs and USB binding
 * @brief The active input, automatic switching, input names, and the binding of USB 1 and
 *        USB 2. Inputs are numbered 0..4. No guards except the binding configuration's.
 *
 * The display carries an input's name only as a name type (0 default, 1..10 predefined,
 * 11 custom) and, for a custom name, its text; the default and predefined texts are the
 * library's tables #byDefaultInputNames and #byPredefinedInputNames.
 * @{
 */
/** Default names of inputs 0..4 (their connectors), indexed by input number: "DisplayPort 1",
 *  "DisplayPort 2", "HDMI 1", "HDMI 2", "USB Type-C". */
QV_API extern const char *const byDefaultInputNames[5];
/**
 * Predefined input names, [input 0..4][name type 1..10 minus 1]: at most 14 characters and a
 * NUL each, an empty entry for a name the input does not offer. Initially inputs 0 and 1 offer
 * "Workstation", "Workstation 2", "Laptop", "Laptop 2", "Windows system", "Linux system",
 * "macOS system" (types 1-7); inputs 2 and 3 "Workstation 1", "Workstation 2", "Laptop", none,
 * "Windows system", "Linux system", "macOS system", "Master", "Playback", "Client" (types 1-3,
 * 5-10); input 4 the same as input 2 without the last three (types 1-3, 5-7). A host may change
 * entries (keeping each NUL-terminated within its 15 bytes); they are read on every call.
 */
QV_API extern char byPredefinedInputNames[5][10][15];

#pragma pack(push, 1)
/** An input's name as the display carries it: 18 bytes, packed. A get sends and receives it
 *  at bytes 7-24 (group 2, item 2); a set sends the input number in byte 7 and the record at
 *  bytes 8-25 (group 1, item 2). */
typedef struct InputNameRecord {
    uint8_t InputNumber;      /**< Input 0..4. */
    uint8_t NameType;         /**< 0 default, 1..10 predefined, 11 custom. */
    char CustomName[15];      /**< A custom name: up to 14 characters, NUL-padded. */
    uint8_t CustomNameStatus; /**< 1 with a custom name, else 0; a get returns the display's. */
} InputNameRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(InputNameRecord) == 18, "InputNameRecord is 18 bytes");
#else
_Static_assert(sizeof(InputNameRecord) == 18, "InputNameRecord is 18 bytes");
#endif

/** Reads the active video input (0..4): get of group 1, item 0. */
QV_API int GetActiveVideoInput(uint8_t *input) QV_NOEXCEPT;
/** Selects the active video input, 0..4: set of group 1, item 0. */
QV_API int SetActiveVideoInput(uint8_t input) QV_NOEXCEPT;
/** Reads whether the display switches inputs automatically: get of group 1, item 1. */
QV_API int GetAutoSwitchStatus(uint8_t *status) QV_NOEXCEPT;
/** Switches automatic input switching off (0) or on (1): set of group 1, item 1. */
QV_API int SetAutoSwitchStatus(uint8_t status) QV_NOEXCEPT;
/**
 * Reads an input's name: get of group 2, item 2 with the #InputNameRecord at bytes 7-24. By
 * the name type in the reply, @p name receives the custom name, the predefined name of
 * @p input, or its default name.
 * @param input 0..4, else #RC_INVALID_ARGUMENT after "Input Number Validation Failed.".
 * @param name 15 bytes: at most 14 characters and a NUL.
 * @param customNameStatus receives the display's custom-name status.
 * @return the frame's codes; also #RC_INVALID_ARGUMENT for a NULL pointer
 *         ("Pointer Validation Failed."), and #RC_DEVICE_STATUS when the reply names a type
 *         above 11.
 */
QV_API int GetVideoInputName(uint8_t input, char *name, uint8_t *customNameStatus) QV_NOEXCEPT;
/**
 * Names an input: set of group 1, item 2, input number in byte 7 and the #InputNameRecord at
 * bytes 8-25. Only the type goes to the display, and the text only for a custom name.
 * @param input 0..4.
 * @param nameType 0..11: 0 default; 1..10 predefined, refused (#RC_INVALID_ARGUMENT) where the
 *        input's #byPredefinedInputNames entry is empty; 11 custom.
 * @param customName the custom name for type 11, cut to 14 characters (NULL: #RC_INVALID_ARGUMENT,
 *        silently); not read for other types.
 */
QV_API int SetVideoInputName(uint8_t input, uint8_t nameType, const char *customName) QV_NOEXCEPT;
/** Reads the USB port binding status (0..3; 3 enables the binding configuration): get of
 *  group 1, item 3. */
QV_API int GetUSBPortBindingStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the USB port binding status, 0..3: set of group 1, item 3. */
QV_API int SetUSBPortBindingStatus(uint8_t status) QV_NOEXCEPT;
/**
 * Reads the bindings of USB 1 and USB 2: GetUSBPortBindingStatus(), then a get of group 1,
 * item 4 (bytes 7 and 8).
 * @param usb1 receives the USB 1 binding.
 * @param usb2 receives the USB 2 binding.
 * @return the frame's codes; the status read's own code when it fails; #RC_NOT_ALLOWED
 *         ("USB Binding Not Enabled.") unless the binding status is 3.
 */
QV_API int GetUSBBindingConfiguration(uint8_t *usb1, uint8_t *usb2) QV_NOEXCEPT;
/**
 * Binds USB 1 and USB 2: GetUSBPortBindingStatus(), then a set of group 1, item 4 (bytes 7
 * and 8). The binding status is tested before the arguments.
 * @param usb1 0..3 ("USB 1 Binding Validation Failed.").
 * @param usb2 0..4 ("USB 2 Binding Validation Failed.").
 * @return the frame's codes; #RC_INVALID_ARGUMENT also when the status read fails or the
 *         binding status is not 3 ("USB Binding Not Enabled.").
 */
QV_API int SetUSBBindingConfiguration(uint8_t usb1, uint8_t usb2) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_image Image processing
 * @brief Scaling, DCI image region and cropped region, and the main picture's processing
 *        switches. Gets use group 3, sets group 2, with the same item.
 *
 * Every function first runs a guard and passes a refusal on unchanged:
 * - the mode guard: GetImageAdjustmentMode() succeeds (the main picture reports a non-zero
 *   width and height), for scaling and every switch;
 * - overdrive also needs picture-in-picture not on: a PIP status of 1, or a failed status
 *   read, gives #RC_NOT_ALLOWED ("PIP is ON.");
 * - the DCI image region needs GetDciMode() for the main picture to pass (its code is returned
 *   after "Main not in DCI:  Failed.");
 * - the cropped region needs GetDciImageRegion() to succeed with a region other than 0, else
 *   #RC_NOT_ALLOWED.
 * @{
 */
/**
 * Reads the image scaling: get of group 3, item 0; aspect-ratio mode in byte 7, pixel status
 * in byte 8.
 * @param aspectRatio receives the aspect-ratio mode.
 * @param pixelStatus receives the pixel status only on monitor type 2, in mode 7, at 1280 x 720,
 *        1920 x 1080 or 2048 x 1080; otherwise it is left as it was.
 */
QV_API int GetImageScaling(uint8_t *aspectRatio, uint8_t *pixelStatus) QV_NOEXCEPT;
/**
 * Sets the image scaling: set of group 2, item 0, bytes 7 and 8. Refused with
 * #RC_INVALID_ARGUMENT: mode 3 on a monitor type other than 2; on type 2, mode 7 at a height
 * of 2160, or with a pixel status other than 0..1, or with pixel status 1 at a timing other
 * than 1280 x 720, 1920 x 1080 or 2048 x 1080.
 * @param aspectRatio 0..7.
 * @param pixelStatus checked only in mode 7 on type 2; otherwise sent as given.
 */
QV_API int SetImageScaling(uint8_t aspectRatio, uint8_t pixelStatus) QV_NOEXCEPT;
/** Reads the DCI image region (0..2): get of group 3, item 1. DCI guard. */
QV_API int GetDciImageRegion(uint8_t *region) QV_NOEXCEPT;
/** Sets the DCI image region, 0..2: set of group 2, item 1. DCI guard. */
QV_API int SetDciImageRegion(uint8_t region) QV_NOEXCEPT;
/** Reads whether the cropped region is shown: get of group 3, item 2. Cropped-region guard. */
QV_API int GetShowCroppedRegionStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the cropped region: set of group 2, item 2. Cropped-region guard. */
QV_API int SetShowCroppedRegionStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the cropped region's opacity: get of group 3, item 3. Cropped-region guard. */
QV_API int GetCroppedRegionOpacity(uint8_t *opacity) QV_NOEXCEPT;
/** Sets the cropped region's opacity, 10..80 in steps of 10: set of group 2, item 3.
 *  Cropped-region guard. */
QV_API int SetCroppedRegionOpacity(uint8_t opacity) QV_NOEXCEPT;
/** Reads the video-legal switch: get of group 3, item 4. Mode guard. */
QV_API int GetVideoLegalStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the video-legal switch, 0..1: set of group 2, item 4. Mode guard. */
QV_API int SetVideoLegalStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the overscan switch: get of group 3, item 5. Mode guard. */
QV_API int GetOverScanStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the overscan switch, 0..1: set of group 2, item 5. Mode guard. */
QV_API int SetOverScanStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the blue-channel switch: get of group 3, item 6. Mode guard. */
QV_API int GetBlueChannelStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the blue-channel switch, 0..1: set of group 2, item 6. Mode guard. */
QV_API int SetBlueChannelStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the overdrive switch: get of group 3, item 7. Mode guard, then PIP not on. */
QV_API int GetOverDriveStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the overdrive switch, 0..1: set of group 2, item 7. Mode guard, then PIP not on. */
QV_API int SetOverDriveStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the deinterlacer switch: get of group 3, item 8. Mode guard. */
QV_API int GetDeinterlacerStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the deinterlacer switch, 0..1: set of group 2, item 8. Mode guard. */
QV_API int SetDeinterlacerStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the cadence-detection switch: get of group 3, item 9. Mode guard. */
QV_API int GetCadenceDetectionStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the cadence-detection switch, 0..1: set of group 2, item 9. Mode guard. */
QV_API int SetCadenceDetectionStatus(uint8_t status) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_markers Markers
 * @brief On-screen markers over the main picture (read from group 3, written to group 2) and
 *        over the picture-in-picture window (read from group 4, written to group 3).
 *
 * Main-picture functions first run CheckMarkerSupport(); PIP-window functions first run
 * GetPIPResolution() and then CheckMarkerSupport(). A refusal is passed on unchanged
 * (#RC_NOT_ALLOWED when markers are not available or the PIP window is off, or the query's
 * own code).
 * @{
 */
#pragma pack(push, 1)
/** The marker record, exchanged byte for byte as bytes 7-18 of the packet (12 bytes, packed).
 *  A field read from the display may also hold 2, the display's own state for that marker.
 *  Which marker each field draws is the display's. */
typedef struct MarkerDetails {
    uint8_t clearMarkers; /**< 1: clear every marker (sent only by the clear functions); else 0. */
    uint8_t marker1;      /**< Marker field 1: 0 off, 1 on (fields 1 and 2 form the first group). */
    uint8_t marker2;      /**< Marker field 2: 0 off, 1 on. */
    uint8_t marker3;      /**< Marker field 3: 0 off, 1 on (fields 3 to 5 form the second group). */
    uint8_t marker4;      /**< Marker field 4: 0 off, 1 on (main picture, monitor type 1: any). */
    uint8_t marker5;      /**< Marker field 5: 0 off, 1 on. */
    uint8_t marker6;      /**< Marker field 6: 0 off, 1 on. */
    uint8_t marker7;      /**< Marker field 7: 0 off, 1 on (needs field 6). */
    uint8_t marker8;      /**< Marker field 8: 0 off, 1 on (needs field 6). */
    uint8_t marker9;      /**< Marker field 9: 0 off, 1 on. */
    uint8_t marker10;     /**< Marker field 10: 0 off, 1 on. */
    uint8_t marker11;     /**< Marker field 11: 0 off, 1 on. */
} MarkerDetails;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(MarkerDetails) == 12, "MarkerDetails is 12 bytes on the wire");
#else
_Static_assert(sizeof(MarkerDetails) == 12, "MarkerDetails is 12 bytes on the wire");
#endif

/** Clears every marker of the main picture: set of group 2, item 10 with byte 7 = 1 and the
 *  marker fields 0. */
QV_API int ClearMarkers(void) QV_NOEXCEPT;
/** Reads the main picture's marker record: get of group 3, item 10, copied unchanged (2s
 *  included). */
QV_API int GetMarkerDetails(MarkerDetails *details) QV_NOEXCEPT;
/**
 * Changes the main picture's markers: reads the current record with GetMarkerDetails()
 * (returning its code on failure), checks the wanted one against it, and sends fields 1-11 at
 * bytes 8-18 of a set of group 2, item 10 (byte 7 = 0: the clear field is ignored).
 *
 * Refused with #RC_INVALID_ARGUMENT ("Validation Failed."), a field counting as on when
 * non-zero and "reported" meaning the current record:
 * - a field 1-11 other than 0 or 1 (field 4 is free on monitor type 1);
 * - field 11 on while it is reported 2; fields 1 and 2 both on;
 * - on monitor type 2, any of fields 3-5 on together with field 1 or 2; field 3 on while it is
 *   reported 2; field 4 or 5 on without field 3 while that field is reported 2 (unless field 3
 *   is reported 2);
 * - field 7 or 8 on, unless field 6 is on and none of fields 1-2 (on type 2: 1-5) is on;
 * - on type 2, field 6 together with field 3.
 */
QV_API int SetMarkerDetails(const MarkerDetails *details) QV_NOEXCEPT;
/** Reads the main picture's marker colour: get of group 3, item 22. */
QV_API int GetMarkerColor(uint8_t *color) QV_NOEXCEPT;
/** Sets the main picture's marker colour, 0..6: set of group 2, item 22. */
QV_API int SetMarkerColor(uint8_t color) QV_NOEXCEPT;
/** Clears every marker of the PIP window: set of group 3, item 10 with byte 7 = 1 and the
 *  marker fields 0. */
QV_API int ClearPIPMarkers(void) QV_NOEXCEPT;
/** Reads the PIP window's marker record: get of group 4, item 10, copied unchanged. */
QV_API int GetPIPMarkerDetails(MarkerDetails *details) QV_NOEXCEPT;
/**
 * Changes the PIP window's markers: reads the current record with GetPIPMarkerDetails(),
 * checks as SetMarkerDetails() does, and sends the whole record at bytes 7-18 of a set of
 * group 3, item 10. Differences: every field 1-11 must be 0 or 1 on every monitor type; the
 * monitor-type-2 rules hold on every type; the first group counts as in use when field 1 is
 * wanted on or field 2 is reported on; a set clear field is refused
 * ("Validation Failed. Clear Markers field is set").
 */
QV_API int SetPIPMarkerDetails(const MarkerDetails *details) QV_NOEXCEPT;
/** Reads the PIP window's marker colour: get of group 4, item 22. */
QV_API int GetPIPMarkerColor(uint8_t *color) QV_NOEXCEPT;
/** Sets the PIP window's marker colour, 0..6: set of group 3, item 22. */
QV_API int SetPIPMarkerColor(uint8_t color) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_pip Picture-in-picture
 * @brief The PIP window's mode, position, size, inputs, swap, video legal, overscan and DCI.
 *        Gets use group 4, sets group 3, with the same item. (GetPIPStatus() and
 *        SetPIPStatus() switch the window; see @ref qv_guards.)
 *
 * Guards, each run before any argument check and each refusing with #RC_NOT_ALLOWED; a failed
 * query counts as a refusal:
 * - mode: PIP status exactly 1 ("PIP is OFF.");
 * - position and size: GetPIPMode() reads mode 1 ("Pip mode Failed."; with PIP off, after
 *   GetPIPMode()'s own "PIP is OFF." line);
 * - inputs, swap, video legal, overscan: PIP status not 0 ("Pip mode Failed.");
 * - DCI: GetDciMode() for the PIP source passes; its code is returned after
 *   "Pip not in DCI:  Failed.".
 *
 * Positions and sizes are in pixels of a 4096 x 2160 frame.
 * @{
 */
/**
 * Limits of a custom PIP window, one row per monitor type (row = type - 1): X minimum, largest
 * X at the smallest size, Y minimum, largest Y at the smallest size, smallest height, largest
 * height. Both rows are initially {204, 3324, 108, 1752, 300, 1080}. Only the low 16 bits of an
 * entry count, read as signed; entries 1 and 3 are not read (the largest X and Y follow from
 * the current window's size). A host may change entries; they are read on every call.
 */
QV_API extern int64_t sPipLimits[2][6];

/** Reads the PIP mode: get of group 4, item 1. Needs PIP status exactly 1. */
QV_API int GetPIPMode(uint8_t *mode) QV_NOEXCEPT;
/** Sets the PIP mode, 1..2: set of group 3, item 1. Needs PIP status exactly 1. */
QV_API int SetPIPMode(uint8_t mode) QV_NOEXCEPT;
/**
 * Reads the PIP window's position: get of group 4, item 3; selector at byte 7, int16 X and Y at
 * bytes 8-9 and 10-11. Needs PIP mode 1.
 * @param positionSelector receives the selector (0..3 preset positions, 4 custom).
 * @param x receives X.
 * @param y receives Y.
 */
QV_API int GetPIPPosition(uint8_t *positionSelector, int16_t *x, int16_t *y) QV_NOEXCEPT;
/**
 * Places the PIP window: GetPIPSize() (its code is returned when it fails: PIP off or not in
 * mode 1, or the read failing), then a set of group 3, item 3 with the selector at byte 7 and X
 * and Y at bytes 8-11.
 * @param positionSelector 0..3 for a preset position (X and Y sent unchecked), 4 for custom.
 * @param x custom: #sPipLimits X minimum .. 4096 - X minimum - current width, else
 *        #RC_INVALID_ARGUMENT ("XValue Validation Failed.").
 * @param y custom: Y minimum .. 2160 - Y minimum - current height
 *        ("YValue Validation Failed.").
 * @return the frame's codes; #RC_NOT_SUPPORTED for a custom position when the monitor type has
 *         no row in #sPipLimits.
 */
QV_API int SetPIPPosition(uint8_t positionSelector, int16_t x, int16_t y) QV_NOEXCEPT;
/**
 * Reads the PIP window's size: get of group 4, item 2; selector at byte 7, int16 width and
 * height at bytes 8-9 and 10-11. Needs PIP mode 1.
 * @param sizeSelector receives the selector (0..2 preset sizes, 3 custom).
 * @param width receives the width.
 * @param height receives the height.
 */
QV_API int GetPIPSize(uint8_t *sizeSelector, int16_t *width, int16_t *height) QV_NOEXCEPT;
/**
 * Sizes the PIP window: set of group 3, item 2 with the selector at byte 7, the width at
 * bytes 8-9 and the height at bytes 10-11. Needs PIP mode 1.
 * @param sizeSelector 0..2 for a preset size (width sent as 0, height unchecked), 3 for custom.
 * @param height custom: the #sPipLimits smallest .. largest height (300..1080); the width follows
 *        as height x 4096 / 2160, truncated (720 gives 1365).
 * @return the frame's codes; #RC_NOT_SUPPORTED for a custom size when the monitor type has no
 *         row in #sPipLimits.
 */
QV_API int SetPIPSize(uint8_t sizeSelector, int16_t height) QV_NOEXCEPT;
/** Reads the PIP window's primary input: get of group 4, item 4. Needs PIP on. */
QV_API int GetPIPPrimaryInput(uint8_t *input) QV_NOEXCEPT;
/** Selects the PIP window's primary input, 0..4: set of group 3, item 4. Needs PIP on. */
QV_API int SetPIPPrimaryInput(uint8_t input) QV_NOEXCEPT;
/** Reads the PIP window's secondary input: get of group 4, item 5. Needs PIP on. */
QV_API int GetPIPSecondaryInput(uint8_t *input) QV_NOEXCEPT;
/** Selects the PIP window's secondary input, 0..4: set of group 3, item 5. Needs PIP on. */
QV_API int SetPIPSecondaryInput(uint8_t input) QV_NOEXCEPT;
/** Reads whether the two PIP inputs are swapped: get of group 4, item 6. Needs PIP on. */
QV_API int GetSwapPIPInputsStatus(uint8_t *swapped) QV_NOEXCEPT;
/** Swaps (1) or unswaps (0) the two PIP inputs: set of group 3, item 6. Needs PIP on. */
QV_API int SetSwapPIPInputsStatus(uint8_t swapped) QV_NOEXCEPT;
/** Reads the PIP window's video-legal setting: get of group 4, item 7. Needs PIP on. */
QV_API int GetPIPVideoLegalStatus(uint8_t *videoLegal) QV_NOEXCEPT;
/** Sets the PIP window's video-legal setting, 0..1: set of group 3, item 7. Needs PIP on. */
QV_API int SetPIPVideoLegalStatus(uint8_t videoLegal) QV_NOEXCEPT;
/** Reads the PIP window's overscan setting: get of group 4, item 8. Needs PIP on. */
QV_API int GetPIPOverscanStatus(uint8_t *overscan) QV_NOEXCEPT;
/** Sets the PIP window's overscan setting, 0..1: set of group 3, item 8. Needs PIP on. */
QV_API int SetPIPOverscanStatus(uint8_t overscan) QV_NOEXCEPT;
/** Reads the PIP window's DCI setting: get of group 4, item 9. Needs a DCI timing on the PIP
 *  source. */
QV_API int GetPIPDciStatus(uint8_t *dci) QV_NOEXCEPT;
/** Sets the PIP window's DCI setting, 0..2: set of group 3, item 9. Needs a DCI timing on the
 *  PIP source. */
QV_API int SetPIPDciStatus(uint8_t dci) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_presets Presets and calibration
 * @brief User presets, the self-calibration schedule and warm-up timer, the calibration and
 *        external-instrument switches, and the display's own calibration runs.
 *
 * The calibration runs first need calibration enabled: GetCalibrationStatus() succeeds and
 * reads non-zero (a failed read counts as not enabled; "Calibration not enabled"). A run blocks
 * until the display answers or its read timeout passes (#RC_EXCHANGE_FAILED).
 * @{
 */
/** Reads whether calibration is enabled: get of group 6, item 11. */
QV_API int GetCalibrationStatus(uint8_t *enabled) QV_NOEXCEPT;
/** Enables (1) or disables (0) calibration: set of group 6, item 11. */
QV_API int SetCalibrationStatus(uint8_t enabled) QV_NOEXCEPT;

#pragma pack(push, 1)
/** The display's self-calibration schedule (8 bytes, packed): bytes 7-14 of the packet, read
 *  from group 12, item 0 and written to group 5, item 0. The codes' meanings are the display's. */
typedef struct CalibrationSchedule {
    uint8_t ScheduleStatus;  /**< 0..1; 0 = no schedule. */
    uint8_t FrequencyType;   /**< 0..2. */
    int16_t FrequencyCount;  /**< 0..4, little-endian on the wire. */
    uint8_t DayofWeek;       /**< 0..6. */
    uint8_t TimeHH;          /**< Hour 1..12. */
    uint8_t TimeMM;          /**< Minute 0..59. */
    uint8_t TimeMeridian;    /**< 0..1. */
} CalibrationSchedule;

/** The display's warm-up timer (11 bytes, packed): bytes 7-17 of the packet, read from
 *  group 12, item 1 and written to group 5, item 1. */
typedef struct DisplayWarmupSettings {
    uint8_t WarmupEnableStatus;    /**< 0..1; 0 = warm-up off. */
    uint8_t WarmupTimeHour;        /**< Hour 1..12. */
    uint8_t WarmupTimeMinute;      /**< Minute 0..59. */
    uint8_t WarmuptimeMeridian;    /**< 0..1. */
    uint8_t WarmupEnableSunday;    /**< Warm up on Sundays, 0..1. */
    uint8_t WarmupEnableMonday;    /**< Warm up on Mondays, 0..1. */
    uint8_t WarmupEnableTuesday;   /**< Warm up on Tuesdays, 0..1. */
    uint8_t WarmupEnableWednesday; /**< Warm up on Wednesdays, 0..1. */
    uint8_t WarmupEnableThursday;  /**< Warm up on Thursdays, 0..1. */
    uint8_t WarmupEnableFriday;    /**< Warm up on Fridays, 0..1. */
    uint8_t WarmupEnableSaturday;  /**< Warm up on Saturdays, 0..1. */
} DisplayWarmupSettings;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(CalibrationSchedule) == 8, "CalibrationSchedule is 8 bytes");
static_assert(sizeof(DisplayWarmupSettings) == 11, "DisplayWarmupSettings is 11 bytes");
#else
_Static_assert(sizeof(CalibrationSchedule) == 8, "CalibrationSchedule is 8 bytes");
_Static_assert(sizeof(DisplayWarmupSettings) == 11, "DisplayWarmupSettings is 11 bytes");
#endif

/** Loads user preset 1..4: set of group 4, item 8. */
QV_API int LoadUserPreset(uint8_t preset) QV_NOEXCEPT;
/** Saves the current settings as user preset 1..4: set of group 4, item 9. */
QV_API int SaveUserPreset(uint8_t preset) QV_NOEXCEPT;
/** Reads the self-calibration schedule: get of group 12, item 0. With the schedule off
 *  (status 0) the whole record reads 0. */
QV_API int GetCalibrationSchedule(CalibrationSchedule *schedule) QV_NOEXCEPT;
/** Writes the self-calibration schedule: set of group 5, item 0. Every field is checked, also
 *  when switching the schedule off (so an all-zero record fails on TimeHH); with status 0 the
 *  payload is sent all 0. */
QV_API int SetCalibrationSchedule(const CalibrationSchedule *schedule) QV_NOEXCEPT;
/** Reads the warm-up timer: get of group 12, item 1. With warm-up off (status 0) the whole
 *  record reads 0. */
QV_API int GetDisplayWarmupSettings(DisplayWarmupSettings *settings) QV_NOEXCEPT;
/** Writes the warm-up timer: set of group 5, item 1. The other fields are checked only when
 *  warm-up is switched on; with status 0 the payload is sent all 0. */
QV_API int SetDisplayWarmupSettings(const DisplayWarmupSettings *settings) QV_NOEXCEPT;
/**
 * Recalibrates the active preset: opcode 35 (32 bytes), group 5, item 9; blocks up to
 * 60 minutes.
 * @return the frame's codes; #RC_NOT_ALLOWED when calibration is not enabled.
 */
QV_API int RecalibrateActivePreset(void) QV_NOEXCEPT;
/**
 * Configures a preset and calibrates it: opcode 35 (32 bytes), group 6, item 8, the colour
 * space at byte 7 and the options and luminance at bytes 23-26; blocks up to 60 minutes.
 * Calibration must be enabled (#RC_NOT_ALLOWED), checked before the arguments.
 * @param colorSpaceIndex 1..8.
 * @param option2 1..6.
 * @param option3 1..4.
 * @param option4 1..6.
 * @param luminance 48..250.
 */
QV_API int ConfigureAndCalibratePreset(uint8_t colorSpaceIndex, uint8_t option2, uint8_t option3,
                                       uint8_t option4, uint8_t luminance) QV_NOEXCEPT;
/**
 * Aligns the internal calibration device: opcode 36 (32 bytes), group 6, item 13, byte 7 = 1;
 * the reply's status is byte 1. Blocks up to 20 minutes.
 * @return the frame's codes; #RC_INVALID_ARGUMENT when calibration is not enabled or the
 *         external instrument is not allowed ("Use of External device not enabled.").
 */
QV_API int AlignInternalCalibrationDevice(void) QV_NOEXCEPT;
/** Reads whether an external measuring instrument may be used: get of group 6, item 12. */
QV_API int GetAllowExternalInstrumentStatus(uint8_t *allowed) QV_NOEXCEPT;
/** Allows (1) or forbids (0) an external measuring instrument: set of group 6, item 12. */
QV_API int SetAllowExternalInstrumentStatus(uint8_t allowed) QV_NOEXCEPT;
/**
 * Queries the calibration mode in a 2-byte packet (opcode 12; status in byte 1).
 * @return 0 on success, #RC_EXCHANGE_FAILED, or #RC_DEVICE_STATUS when byte 1 is not 0.
 */
QV_API int GetCalibrationMode(void) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_power Power, connectivity and maintenance
 * @brief Group 6 (the get and the set use the same item), except FactoryReset(). Switches
 *        are 0..1; the meaning of each value is the display's.
 * @{
 */
/** Reads the auto-sleep mode: get of group 6, item 0. */
QV_API int GetAutoSleepMode(uint8_t *mode) QV_NOEXCEPT;
/** Sets the auto-sleep mode, 0..1: set of group 6, item 0. */
QV_API int SetAutoSleepMode(uint8_t mode) QV_NOEXCEPT;
/** Reads whether the display recalls its last power state at power-on: get of group 6, item 1. */
QV_API int GetPowerOnRecallStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the power-on recall switch, 0..1: set of group 6, item 1. */
QV_API int SetPowerOnRecallStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the DDC/CI communication switch: get of group 6, item 2. */
QV_API int GetDDCCICommnStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the DDC/CI communication switch, 0..1: set of group 6, item 2. */
QV_API int SetDDCCICommnStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the automatic EDID update switch: get of group 6, item 3. */
QV_API int GetAutoEDIDUpdateStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the automatic EDID update switch, 0..1: set of group 6, item 3. */
QV_API int SetAutoEDIDUpdateStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the hot-plug initiate switch: get of group 6, item 4. */
QV_API int GetHotPlugInitiateStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the hot-plug initiate switch, 0..1: set of group 6, item 4. */
QV_API int SetHotPlugInitiateStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the DisplayPort hot-plug detect switch: get of group 6, item 5. */
QV_API int GetDPHPDStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the DisplayPort hot-plug detect switch, 0..1: set of group 6, item 5. */
QV_API int SetDPHPDStatus(uint8_t status) QV_NOEXCEPT;
/** Powers off the display's internal management processor: set of group 6, item 6, value 0. */
QV_API int PowerOffManageInternalProcessor(void) QV_NOEXCEPT;
/** Reads the firmware-update status (0..3): get of group 6, item 14. */
QV_API int GetFirmwareUpdateStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the firmware-update status, 0..3: set of group 6, item 14. */
QV_API int SetFirmwareUpdateStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the user-preset support switch: get of group 6, item 15. */
QV_API int GetUserPresetSupportStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the user-preset support switch, 0..1: set of group 6, item 15. */
QV_API int SetUserPresetSupportStatus(uint8_t status) QV_NOEXCEPT;
/** Sends a management-menu lock code: set of group 6, item 16. No range check: every byte is
 *  sent, and the display's status is the only refusal. */
QV_API int LockManagementMenu(uint8_t lock) QV_NOEXCEPT;
/** Reads the USB-C input configuration: get of group 6, item 18. Monitor type 2 only, else
 *  #RC_NOT_SUPPORTED at once, silently. */
QV_API int GetUSBCInputConfiguration(uint8_t *config) QV_NOEXCEPT;
/** Sets the USB-C input configuration, 0..1: set of group 6, item 18. Monitor type 2 only,
 *  else #RC_NOT_SUPPORTED, checked before the range. */
QV_API int SetUSBCInputConfiguration(uint8_t config) QV_NOEXCEPT;
/** Reads the DisplayPort EDID configuration: get of group 6, item 20. Monitor type 2 only,
 *  else #RC_NOT_SUPPORTED at once, silently. */
QV_API int GetDPEDIDConfiguration(uint8_t *config) QV_NOEXCEPT;
/** Sets the DisplayPort EDID configuration, 0..1: set of group 6, item 20. Monitor type 2
 *  only, else #RC_NOT_SUPPORTED, checked before the range. */
QV_API int SetDPEDIDConfiguration(uint8_t config) QV_NOEXCEPT;
/** Reads whether the USB ports stay powered in sleep: get of group 6, item 21. */
QV_API int GetUSBSleepFunctionality(uint8_t *status) QV_NOEXCEPT;
/** Sets whether the USB ports stay powered in sleep, 0..1: set of group 6, item 21. */
QV_API int SetUSBSleepFunctionality(uint8_t status) QV_NOEXCEPT;
/** Reads the luminance uniformity switch: get of group 6, item 22. */
QV_API int GetLuminanceUniformityStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets the luminance uniformity switch, 0..1: set of group 6, item 22. */
QV_API int SetLuminanceUniformityStatus(uint8_t status) QV_NOEXCEPT;
/** Puts every display setting back to its factory value: set of group 11, item 0, value 0. */
QV_API int FactoryReset(void) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_clock Clock and on-screen menu
 * @brief The clock (group 6) and the on-screen menu (group 7); the get and the set use the
 *        same group and item. No guards.
 * @{
 */
#pragma pack(push, 1)
/** The display's date and time: exactly 9 bytes, packed, as bytes 7-15 of the packet
 *  (group 6, item 7). There are no seconds. */
typedef struct DateTimeRecord {
    uint8_t month;      /**< 1..12. */
    uint8_t day;        /**< 1..31 (not compared with the month). */
    int16_t year;       /**< Any value, little-endian on the wire. */
    uint8_t hour;       /**< 0..23 when timeFormat is 1, 1..12 when it is 0. */
    uint8_t minute;     /**< 0..59. */
    uint8_t timezone;   /**< 0..45, as SetTimezone(). */
    uint8_t timeFormat; /**< 0: 12-hour, 1: 24-hour. */
    uint8_t extraFlag;  /**< 0..1. */
} DateTimeRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(DateTimeRecord) == 9, "DateTimeRecord is 9 bytes");
#else
_Static_assert(sizeof(DateTimeRecord) == 9, "DateTimeRecord is 9 bytes");
#endif

/** Reads the time format (0: 12-hour, 1: 24-hour): get of group 6, item 9. */
QV_API int GetDeviceTimeFormat(uint8_t *format) QV_NOEXCEPT;
/** Sets the time format, 0..1: set of group 6, item 9. */
QV_API int SetDeviceTimeFormat(uint8_t format) QV_NOEXCEPT;
/** Reads whether date and time are adjusted automatically: get of group 6, item 8. */
QV_API int GetAutoAdjustDateAndTimeStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets whether date and time are adjusted automatically, 0..1: set of group 6, item 8. */
QV_API int SetAutoAdjustDateAndTimeStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the timezone index: get of group 6, item 17. */
QV_API int GetTimezone(uint8_t *zone) QV_NOEXCEPT;
/** Sets the timezone index, 0..45: set of group 6, item 17. */
QV_API int SetTimezone(uint8_t zone) QV_NOEXCEPT;
/** Reads whether daylight saving is applied automatically: get of group 6, item 10. */
QV_API int GetAutoAdjustDayLightSavingStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets whether daylight saving is applied automatically, 0..1: set of group 6, item 10. */
QV_API int SetAutoAdjustDayLightSavingStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the display's date and time into a #DateTimeRecord (9 bytes): get of group 6,
 *  item 7. */
QV_API int GetDateAndTime(DateTimeRecord *record) QV_NOEXCEPT;
/** Sets the display's date and time: set of group 6, item 7. Checked day, month, timeFormat,
 *  hour, minute, timezone, extraFlag, against the ranges of #DateTimeRecord; the year is sent
 *  unchecked. */
QV_API int SetDateAndTime(const DateTimeRecord *record) QV_NOEXCEPT;
/** Reads the on-screen menu position: get of group 7, item 0; int16 x at bytes 7-8, y at
 *  9-10. */
QV_API int GetOSDPosition(int16_t *x, int16_t *y) QV_NOEXCEPT;
/** Sets the on-screen menu position, x then y each 0..100: set of group 7, item 0. */
QV_API int SetOSDPosition(int16_t x, int16_t y) QV_NOEXCEPT;
/** Reads the on-screen menu opacity: get of group 7, item 1. */
QV_API int GetOSDOpacity(uint8_t *opacity) QV_NOEXCEPT;
/** Sets the on-screen menu opacity, 25..100: set of group 7, item 1. */
QV_API int SetOSDOpacity(uint8_t opacity) QV_NOEXCEPT;
/** Reads the on-screen menu timeout in seconds: get of group 7, item 2. */
QV_API int GetOSDTimeout(uint8_t *seconds) QV_NOEXCEPT;
/** Sets the on-screen menu timeout, 5..60 seconds in steps of 5: set of group 7, item 2. */
QV_API int SetOSDTimeout(uint8_t seconds) QV_NOEXCEPT;
/** Reads the menu language index: get of group 7, item 8. */
QV_API int GetMenuLanguage(uint8_t *language) QV_NOEXCEPT;
/** Sets the menu language index, 0..9: set of group 7, item 8. */
QV_API int SetMenuLanguage(uint8_t language) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_network Network
 * @brief The built-in web server, the IP configuration, the web-service switches and the
 *        dashboard security. Gets use group 5, sets group 10, with the same item.
 *
 * "Needs the web server" means: GetWebServerStatus() must read exactly 1 (a failed read
 * counts as off), else #RC_NOT_ALLOWED ("Web Server status disabled.") and nothing more is
 * sent.
 * @{
 */
#pragma pack(push, 1)
/** The IP configuration as GetIPConfiguration() fills it and SetIPConfiguration() sends it:
 *  49 bytes, packed. On the wire: mode at byte 7, the three addresses at bytes 8-19, one octet
 *  a byte, first octet first. */
typedef struct IPConfigRecord {
    uint8_t ipMode;      /**< Addressing mode 0..1; with 0 a set sends no addresses. */
    char ipAddress[16];  /**< Dotted decimal, at most 15 characters, NUL ("192.168.1.10"). */
    char subnetMask[16]; /**< Likewise ("255.255.255.0"). */
    char gateway[16];    /**< Likewise ("192.168.1.1"). */
} IPConfigRecord;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(IPConfigRecord) == 49, "IPConfigRecord is 49 bytes");
#else
_Static_assert(sizeof(IPConfigRecord) == 49, "IPConfigRecord is 49 bytes");
#endif

/** Reads whether the built-in web server is on (1): get of group 5, item 0. */
QV_API int GetWebServerStatus(uint8_t *status) QV_NOEXCEPT;
/** Switches the built-in web server off (0) or on (1): set of group 10, item 0. Prints
 *  "Trying to set value %d" before the range check. */
QV_API int SetWebServerStatus(uint8_t status) QV_NOEXCEPT;
/**
 * Reads the IP configuration: get of group 5, item 2 (bytes 7-25). Needs the web server.
 * @param config an #IPConfigRecord (49 bytes): the mode and the three addresses as dotted
 *        decimal text.
 * @param mac 18 bytes: the MAC address as six lowercase hexadecimal bytes without leading zeros,
 *        separated by dots (e.g. "0.1a.2b.3c.4d.5e").
 */
QV_API int GetIPConfiguration(char *config, char *mac) QV_NOEXCEPT;
/**
 * Sends the IP configuration: set of group 10, item 2. Needs the web server, then a mode
 * 0..1. With mode 1 each address text is parsed with SplitIPV4(), in place: the caller's texts
 * come back cut after their first part. With mode 0 no address is read or sent.
 * @param config an #IPConfigRecord (49 bytes).
 */
QV_API int SetIPConfiguration(uint8_t *config) QV_NOEXCEPT;
/** Reads whether web-service management is on: get of group 5, item 3. Needs the web server. */
QV_API int GetWSManagementStatus(uint8_t *status) QV_NOEXCEPT;
/** Switches web-service management off (0) or on (1): set of group 10, item 3. The range is
 *  checked first, then the web server is needed. */
QV_API int SetWSManagementStatus(uint8_t status) QV_NOEXCEPT;
/** Reads whether web-service identify support is on: get of group 5, item 4. Needs the web
 *  server. */
QV_API int GetWSIdentifySupportStatus(uint8_t *status) QV_NOEXCEPT;
/** Switches web-service identify support off (0) or on (1): set of group 10, item 4. Needs
 *  the web server, then GetWSManagementStatus() reading exactly 1 (#RC_NOT_ALLOWED,
 *  "Web managment status disabled."), then the range. */
QV_API int SetWSIdentifySupportStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the dashboard security mode: get of group 5, item 5. */
QV_API int GetDashboardSecurityStatus(uint8_t *mode) QV_NOEXCEPT;
/** Sets the dashboard security mode, 0..1: set of group 10, item 5. */
QV_API int SetDashboardSecurity(uint8_t mode) QV_NOEXCEPT;
/**
 * Splits dotted decimal text into up to four bytes, in place: runs of dots count as one
 * separator, each part returned gets its ending dot overwritten with a NUL, and each part is
 * read as atoi() does and kept as its low 8 bits (300 gives 44, -1 gives 255). Bytes for missing
 * parts are not written; text with no part at all writes nothing. No exchange, no result.
 * @param text the text, changed in place.
 * @param bytes receives up to 4 bytes.
 */
QV_API void SplitIPV4(char *text, uint8_t *bytes) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_identity Identity, counters and readouts
 * @brief Read-only: hour counters, firmware revision, the display's information strings and
 *        three status readouts. No guards, no argument checks.
 * @{
 */
/** Reads the hours since the last calibration: get of group 10, item 10, int16. */
QV_API int GetCalibrationHours(int16_t *hours) QV_NOEXCEPT;
/** Reads the backlight's operating hours: get of group 10, item 11, int16. */
QV_API int GetBacklightHours(int16_t *hours) QV_NOEXCEPT;
/**
 * Reads the firmware revision: get of group 11, item 1, 7 bytes at bytes 7-13.
 * @param revision 8 bytes: the 7 bytes as they stand and a NUL.
 */
QV_API int GetFirmwareRevision(char *revision) QV_NOEXCEPT;
/**
 * Reads the customer ID or asset tag: a 103-byte information-string packet (opcode 20,
 * selector 0 at byte 2; status in byte 1, text from byte 3). A refusal prints
 * "RegUsbApi Status Failed.".
 * @param text 19 bytes: at most 18 characters (a longer text is cut), NUL-filled.
 */
QV_API int GetCustomerIDAsset(char *text) QV_NOEXCEPT;
/**
 * Reads the deployment date: information-string packet, selector 1.
 * @param text 11 bytes: at most 10 characters, NUL-filled.
 */
QV_API int GetDeploymentDate(char *text) QV_NOEXCEPT;
/**
 * Reads the deployment location: information-string packet, selector 2.
 * @param text 19 bytes: at most 18 characters, NUL-filled.
 */
QV_API int GetDeploymentLocation(char *text) QV_NOEXCEPT;
/**
 * Reads the display name: information-string packet, selector 3.
 * @param text 19 bytes: at most 18 characters, NUL-filled.
 */
QV_API int GetDisplayName(char *text) QV_NOEXCEPT;
/** Reads the colour-management engine status: get of group 17, item 1. A refusal prints
 *  "RegUsbApi Status Failed.". */
QV_API int GetColorManagementEngineStatus(uint8_t *status) QV_NOEXCEPT;
/** Reads the dithering mode status: get of group 17, item 2. A refusal prints
 *  "RegUsbApi Status Failed.". */
QV_API int GetDitheringModeStatus(uint8_t *status) QV_NOEXCEPT;
/** Reads the calibration alert limit: get of group 17, item 3. A refusal prints
 *  "RegUsbApi Status Failed.". */
QV_API int GetCalibrationAlertLimit(uint8_t *limit) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_buttons Bezel buttons and on-screen notices
 * @brief Bezel-button light (group 9), function buttons (group 8) and the notice switches
 *        (group 7); the get and the set use the same group and item. No guards.
 * @{
 */
/** Reads the bezel-button light colour: get of group 9, item 0. */
QV_API int GetBezelButtonColor(uint8_t *color) QV_NOEXCEPT;
/** Sets the bezel-button light colour, 0..2: set of group 9, item 0. */
QV_API int SetBezelButtonColor(uint8_t color) QV_NOEXCEPT;
/** Reads the bezel-button brightness: get of group 9, item 1. */
QV_API int GetBezelButtonBrightness(uint8_t *brightness) QV_NOEXCEPT;
/** Sets the bezel-button brightness, 0..100 in steps of 10: set of group 9, item 1. */
QV_API int SetBezelButtonBrightness(uint8_t brightness) QV_NOEXCEPT;
/** Reads whether the bezel buttons fade automatically: get of group 9, item 2. */
QV_API int GetBezelButtonAutoFadeStatus(uint8_t *status) QV_NOEXCEPT;
/** Sets whether the bezel buttons fade automatically, 0..1: set of group 9, item 2. */
QV_API int SetBezelButtonAutoFadeStatus(uint8_t status) QV_NOEXCEPT;
/** Reads the function-button mode: get of group 8, item 4. */
QV_API int GetFunctionButtonMode(uint8_t *mode) QV_NOEXCEPT;
/** Sets the function-button mode, 0..1: set of group 8, item 4. */
QV_API int SetFunctionButtonMode(uint8_t mode) QV_NOEXCEPT;
/**
 * Reads the action assigned to a function button: get of group 8, item button - 1, int16.
 * @param button 1..4, else #RC_INVALID_ARGUMENT ("RegUsbApi Button value validation") without
 *        an exchange.
 * @param setting receives the action.
 */
QV_API int GetFunctionButtonSettings(uint16_t button, int16_t *setting) QV_NOEXCEPT;
/**
 * Assigns an action to a function button: set of group 8, item button - 1, int16.
 * @param button 1..4, checked first ("RegUsbApi Button value validation").
 * @param setting 0..18.
 */
QV_API int SetFunctionButtonSettings(uint16_t button, int16_t setting) QV_NOEXCEPT;
/** Reads whether the power-on information notice is shown: get of group 7, item 3. */
QV_API int GetShowPowerOnInfoStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the power-on information notice: set of group 7, item 3. */
QV_API int SetShowPowerOnInfoStatus(uint8_t status) QV_NOEXCEPT;
/** Reads whether the input-source notice is shown: get of group 7, item 4. */
QV_API int GetShowInputSourceInfoStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the input-source notice: set of group 7, item 4. */
QV_API int SetShowInputSourceInfoStatus(uint8_t status) QV_NOEXCEPT;
/** Reads whether the colour-space notice is shown: get of group 7, item 5. */
QV_API int GetShowColorspaceInfoStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the colour-space notice: set of group 7, item 5. */
QV_API int SetShowColorspaceInfoStatus(uint8_t status) QV_NOEXCEPT;
/** Reads whether the warm-up time reminder is shown: get of group 7, item 6. */
QV_API int GetShowWarmupTimeReminderStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the warm-up time reminder: set of group 7, item 6. */
QV_API int SetShowWarmupTimeReminderStatus(uint8_t status) QV_NOEXCEPT;
/** Reads whether the calibration notification is shown: get of group 7, item 7. */
QV_API int GetShowCalibrationNotificationStatus(uint8_t *status) QV_NOEXCEPT;
/** Shows (1) or hides (0) the calibration notification: set of group 7, item 7. */
QV_API int SetShowCalibrationNotificationStatus(uint8_t status) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_test_pattern Test patterns
 * @brief Switching test-pattern mode on and off and showing flat colours or built-in
 *        patterns. The commands are 32-byte packets with the settings packet's positions,
 *        their variant at byte 4; a refusal prints "RegUsbApi Status Failed.".
 *
 * The pattern functions and DisableTestPattern() first read GetTestPatternStatus(); when that
 * read fails they return its code.
 * @{
 */
/** Reads the test-pattern status (0: mode off): get of group 16, item 2. */
QV_API int GetTestPatternStatus(uint8_t *status) QV_NOEXCEPT;
/** Switches test-pattern mode on: opcode 17, byte 4 = 3. No precondition. */
QV_API int EnableTestPattern(void) QV_NOEXCEPT;
/**
 * Shows a flat colour: opcode 16, byte 4 = 2, the levels at bytes 7-9.
 * @param red 0..255 ("Red Validation Failed.").
 * @param green 0..255 ("Green Validation Failed.").
 * @param blue 0..255 ("Blue Validation Failed.").
 * @return the frame's codes; #RC_NOT_ALLOWED, silently, while test-pattern mode is off
 *         (status 0), checked before the levels.
 */
QV_API int ShowTestPatternforUserMode(int16_t red, int16_t green, int16_t blue) QV_NOEXCEPT;
/**
 * Shows a built-in pattern: opcode 18, byte 4 = 1, the pattern number at byte 7.
 * @param pattern 0..9, judged by its low 16 bits.
 * @return the frame's codes; #RC_NOT_ALLOWED, silently, while test-pattern mode is off.
 */
QV_API int ShowTestPatternServiceMode(uint32_t pattern) QV_NOEXCEPT;
/**
 * Leaves test-pattern mode: with status 1 (a built-in pattern shown) it first sends pattern 10
 * (opcode 18), then always opcode 17 with byte 4 = 0.
 * @return the frame's codes for the last request; #RC_FAILED when the pattern-10 request fails
 *         or is refused (the mode then stays on).
 */
QV_API int DisableTestPattern(void) QV_NOEXCEPT;
/** @} */

/**
 * @defgroup qv_transfer File transfer and XML calibration
 * @brief Moving whole files between the host and the display's storage, 128 bytes per
 *        184-byte transfer packet, one exchange per chunk; and the XML-driven calibration
 *        actions (2-byte packets, status in byte 1, "RegUsbApi Status Failed." for a refusal).
 * @{
 */
/**
 * Uploads a host file: opcode 24 once per chunk of up to 128 bytes, the first chunk flagged.
 * An empty file sends nothing. Where the display stores it is the display's choice.
 * @param fileType an upload code: 0, 2 or 7 (read as text) or 1 (binary); any other value,
 *        compared as a whole @c int, gives #RC_FAILED without opening the file.
 * @param filePath the file to send (a device such as /dev/null reads as what it gives).
 * @return #RC_OK; #RC_FAILED for another code, a path that cannot be opened, a FIFO, a socket
 *         or a directory (refused at once, without waiting for a writer) or a file of 2^31
 *         bytes or more (the protocol's size field cannot carry it: "File is too large to
 *         send."); #RC_EXCHANGE_FAILED; #RC_DEVICE_STATUS (the display keeps the chunks it
 *         accepted).
 */
QV_API int SendFileToDisplay(int fileType, const char *filePath) QV_NOEXCEPT;
/**
 * Downloads every display file of a type: opcode 28 for the count, then opcode 29 once per
 * chunk. Each file is written to directory + "//" + its name from the display, opened for each
 * chunk: created or truncated on its first chunk, appended to on a later one, and closed again,
 * with a 100 ms pause after every chunk. Once a file is open, a write or close that fails is
 * not reported: the download goes on with the next chunk, and the file keeps what the host
 * could write. A download that breaks off leaves the files and the part of the current file
 * already written; nothing is removed. The name is opened in
 * @p directory only, never through a symbolic link, and a host file with more than one link
 * is not written ("Host file has more than one link.", #RC_FAILED). One call stops after 2^20
 * chunk requests ("More than N chunks from the display; download stopped.", #RC_FAILED).
 * @param fileType a download code: 3 or 6 (binary), 4, 5 or 8 (text).
 * @param directory an existing host directory, not empty; the composed path must fit in 256
 *        bytes.
 * @return #RC_OK; #RC_EXCHANGE_FAILED; #RC_DEVICE_STATUS, also when the display holds no file
 *         of the type; #RC_FAILED when a reply cannot be written safely (a name that is empty,
 *         not terminated, holds a slash or is "..", a path too long, a chunk over 128 bytes, a
 *         type the host does not write, a file that cannot be opened). What was
 *         written stays; #RC_INVALID_ARGUMENT for a NULL or empty @p directory, before any
 *         exchange.
 */
QV_API int GetFileFromDisplay(int fileType, const char *directory) QV_NOEXCEPT;
/** Asks the display to validate its XML calibration description: opcode 25. */
QV_API int ValidateTintwisecalXML(void) QV_NOEXCEPT;
/** Asks the display to position its colorimeter: opcode 26; blocks up to 20 minutes. */
QV_API int PositionColorimeter(void) QV_NOEXCEPT;
/**
 * Runs the XML-driven calibration: opcode 27; blocks up to 60 minutes.
 * @return the frame's codes; #RC_NOT_ALLOWED when calibration is not enabled
 *         (GetCalibrationStatus()).
 */
QV_API int PerformTintwiseCalibration(void) QV_NOEXCEPT;
/** @} */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEX_H */
