// The simulated NetFwProducts collection: the firewall products registered with Windows, as
// FWSIM_PRODUCTS lists them, and each NetFwProduct in it. Internal to fwsim.
#pragma once

#include "fwsim/win32.h"

namespace fwsim::detail {

// A new NetFwProducts object over the products as they are set now, holding the one reference it
// is handed out with.
INetFwProducts* new_products();

}  // namespace fwsim::detail
