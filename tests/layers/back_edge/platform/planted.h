// A planted back-edge: the platform layer using the report layer above it. The include test must
// refuse this folder (tests/layers, WILL_FAIL).
#pragma once

#include "report/expect.h"
