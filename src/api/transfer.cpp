// File transfer between the host and the display's storage, and the XML calibration actions.
#include "protocol/frame.h"
#include "protocol/log.h"
#include "quorvex.h"
