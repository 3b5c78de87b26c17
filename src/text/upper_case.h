#pragma once

#include "text/wide_string.h"

namespace orvane::text {

// Whether two UTF-16 texts are equal without letter case, as Windows compares file names: unit by
// unit, each mapped through an uppercase table (see upper_case.cpp for what the table holds).
bool equal_ignoring_case(WideView a, WideView b);

}  // namespace orvane::text
