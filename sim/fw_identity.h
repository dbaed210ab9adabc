// State the identity firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct IdentityState {};

}  // namespace qv::sim
