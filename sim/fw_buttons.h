// What the simulated display keeps about its buttons and notices: everything is a stored
// setting; the function-button assignments are "function-button-1" .. "function-button-4".
#pragma once

namespace qv::sim {

struct ButtonsState {};

}  // namespace qv::sim
