// What fwsim's own objects use of oleaut32, untraced and never made to fail: BSTRs (oleaut32.cpp)
// and copies of VARIANTs (oleaut32_safearray.cpp). Internal to fwsim.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "fwsim/win32.h"

namespace fwsim::detail {

// ----- BSTRs (oleaut32.cpp) -------------------------------------------------------------------
// A BSTR that fwsim itself hands out (a property get, an error description): counted in the
// balance but neither traced nor subject to faults. Never null, even for an empty text.
BSTR make_bstr(std::u16string_view text);
std::u16string_view bstr_view(BSTR text);
// A short label for a BSTR in the trace: its text form, or `null`.
std::string bstr_label(BSTR text);
// Frees a BSTR without a trace line (fwsim's own clean-up). NULL does nothing. A string that is
// not live (freed twice, never allocated) ends the process with a message: heap corruption.
void free_bstr(BSTR text);

// ----- VARIANTs (oleaut32_safearray.cpp) ------------------------------------------------------
// What SafeArrayPutElement stores, and what a property get hands out: `target` (whose old content
// is not looked at) becomes a copy of `source`, a BSTR duplicated with make_bstr, an array of
// VARIANTs copied element by element. Untraced. DISP_E_BADVARTYPE for a type fwsim does not hold
// (it holds VT_EMPTY, VT_I4, VT_BOOL, VT_BSTR, VT_UNKNOWN, VT_DISPATCH and VT_ARRAY | VT_VARIANT).
HRESULT copy_variant(VARIANT& target, const VARIANT& source);
// Frees what `value` holds, as VariantClear does but untraced, and leaves it VT_EMPTY.
HRESULT clear_variant(VARIANT& value);
// A new vector of VARIANTs (lower bound 0) holding copies of `values`, counted in the balance as
// SafeArrayCreateVector's are but untraced; NULL when there is no memory for it.
SAFEARRAY* make_variant_vector(std::span<const VARIANT> values);

}  // namespace fwsim::detail
