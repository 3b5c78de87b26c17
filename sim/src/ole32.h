// ole32's per-thread state that fwsim::reset() clears. Implemented in ole32.cpp. Internal to
// fwsim.
#pragma once

namespace fwsim::detail {

// Forgets the calling thread's COM initialisations: its apartment is uninitialised again.
void reset_apartment();

}  // namespace fwsim::detail
