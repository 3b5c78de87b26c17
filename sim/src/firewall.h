// The simulated Windows Firewall's COM classes (NetFwPolicy2, NetFwRule and the NetFwRules
// collection). Internal to fwsim; the identifiers that name them are in fwsim/testing.h.
#pragma once

#include <string>

#include "fwsim/testing.h"
#include "fwsim/win32.h"

namespace fwsim::detail {

// An object as the trace writes it: its id (`NetFwRule#2`) when it is one of the firewall's
// objects, `null` for a null pointer, and `foreign` for anything else.
std::string object_label(IUnknown* object);

// Whether CoCreateInstance knows this class.
bool is_firewall_class(REFCLSID clsid);

// Whether the program may change the firewall's rules: a standard user may look at them, but
// Windows answers a change with E_ACCESSDENIED, and the firewall sets no error information.
bool may_change_rules();

// A firewall call that finds the store unreadable fails with E_FAIL and says why.
HRESULT store_failure(const std::string& description);

// Makes a new object of a known class and gives the interface `iid` of it, holding the one
// reference, in *object; E_NOINTERFACE (and no object made) when the class does not offer `iid`.
HRESULT create_firewall_object(REFCLSID clsid, REFIID iid, void** object);

}  // namespace fwsim::detail
