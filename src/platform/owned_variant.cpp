#include "platform/owned_variant.h"

#include "platform/hresult_error.h"

namespace orvane::platform {

void clear_variant(VARIANT& value) noexcept {
  const HRESULT hr = VariantClear(&value);
  // Taking the error and dropping it releases the error information the failure left behind.
  if (FAILED(hr)) (void)HresultError::from_hresult(hr);
}

}  // namespace orvane::platform
