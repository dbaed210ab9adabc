// State the image firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

struct ImageState {};

}  // namespace qv::sim
