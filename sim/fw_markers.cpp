// The simulated display's markers. The marker records are stored settings laid out alike for
// get and set (byte 7 clear, bytes 8-18 the eleven switches); a set with byte 7 = 1 switches
// every marker off instead of storing the record, and a record read back never asks to clear.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/fw_families.h"

namespace qv::sim {

void init_markers(Firmware& fw) {
    fw.set_u8("marker-color", 0);
    fw.set_u8("pip-marker-color", 0);
}

bool handle_markers(Firmware& fw, const Request& req, Reply& reply) {
    if (req.bytes.size() < 32 || req.opcode() != 3) return false;
    const SettingRow* row = find_set_row(req.group(), req.item());
    if (row == nullptr || (row != find_row("markers") && row != find_row("pip-markers"))) return false;
    Payload& record = fw.payload(*row);
    record = {};
    if (req.bytes[7] == 0) std::copy(req.bytes.begin() + 8, req.bytes.begin() + 19, record.begin() + 1);
    reply = echo(req.bytes.data(), 32);
    reply.bytes[6] = 0;
    return true;
}

}  // namespace qv::sim
