// Power, connectivity and maintenance settings against the simulated display.
#include "support/setting_cases.h"

namespace qvtest {
namespace {

class Power : public SettingTest {};

// The EDID and USB-C input settings exist on monitor type 2 only: any other type, and no
// display connected yet (0xFF), is refused first, silently, with nothing sent or written.
TEST_F(Power, MonitorTypeGateComesFirstAndIsSilent) {
    int (*const gated[])() = {
        [] { uint8_t v = 0x5A; const int rc = GetUSBCInputConfiguration(&v); return v == 0x5A ? rc : 99; },
        [] { uint8_t v = 0x5A; const int rc = GetDPEDIDConfiguration(&v); return v == 0x5A ? rc : 99; },
        [] { return SetUSBCInputConfiguration(1); },
        [] { return SetDPEDIDConfiguration(5); },  // out of range too
    };
    make_bus(1, 1);
    for (const bool connected : {false, true}) {
        if (connected) connect_first();
        EXPECT_EQ(gu8MonitorType, connected ? 1 : 0xFF);
        for (const auto call : gated) EXPECT_EQ(result_of(call), Outcome(RC_NOT_SUPPORTED, ""));
        EXPECT_TRUE(fw().requests().empty());
        uint8_t v = 0;  // the rest of the page goes to the exchange
        EXPECT_EQ(GetAutoSleepMode(&v), connected ? RC_OK : RC_EXCHANGE_FAILED);
    }
}

}  // namespace
}  // namespace qvtest
