// State the transfer firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct TransferState {};

}  // namespace qv::sim
