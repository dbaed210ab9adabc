// State the test_pattern firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct TestPatternState {};

}  // namespace qv::sim
