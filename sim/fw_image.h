// State the image firmware keeps beyond stored setting payloads.
#pragma once

namespace qv::sim {

// Every image-processing setting is a stored payload (see init_image for the initial values).
struct ImageState {};

}  // namespace qv::sim
