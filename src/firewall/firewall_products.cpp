#include "firewall/firewall_products.h"

#include <optional>
#include <utility>

#include "firewall/com_result.h"
#include "platform/com_ptr.h"
#include "platform/owned_bstr.h"
#include "platform/owned_variant.h"

namespace orvane::firewall {
namespace {

// Whether the product's RuleCategories, a VT_ARRAY|VT_VARIANT of VT_I4 NET_FW_RULE_CATEGORY values
// (Microsoft's INetFwProduct::RuleCategories reference), hold the firewall category. An element of
// another type names no category.
std::expected<bool, FirewallError> owns_firewall_category(INetFwProduct* product) {
  platform::OwnedVariant categories;
  if (auto failure = call_failure(product->get_RuleCategories(categories.put()))) {
    return std::unexpected(std::move(*failure));
  }
  if (V_VT(&categories.get()) != (VT_ARRAY | VT_VARIANT)) return false;
  SAFEARRAY* array = V_ARRAY(&categories.get());
  LONG first = 0;
  LONG last = -1;
  std::optional<FirewallError> failure = call_failure(SafeArrayGetLBound(array, 1, &first));
  if (!failure) failure = call_failure(SafeArrayGetUBound(array, 1, &last));
  if (failure) return std::unexpected(std::move(*failure));
  for (LONG i = first; i <= last; ++i) {
    platform::OwnedVariant element;
    if (auto failed = call_failure(SafeArrayGetElement(array, &i, element.put()))) {
      return std::unexpected(std::move(*failed));
    }
    if (V_VT(&element.get()) == VT_I4 && V_I4(&element.get()) == NET_FW_RULE_CATEGORY_FIREWALL) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::expected<std::vector<WideString>, FirewallError> firewall_products() {
  platform::ComPtr<INetFwProducts> products;
  HRESULT hr = CoCreateInstance(kClsidNetFwProducts, nullptr, CLSCTX_INPROC_SERVER,
                                kIidINetFwProducts, products.put_void());
  if (auto failure = object_failure(hr, products)) return std::unexpected(std::move(*failure));
  LONG count = 0;
  if (auto failure = call_failure(products->get_Count(&count))) {
    return std::unexpected(std::move(*failure));
  }
  std::vector<WideString> names;
  for (LONG i = 0; i < count; ++i) {
    platform::ComPtr<INetFwProduct> product;
    hr = products->Item(i, product.put());
    if (auto failure = object_failure(hr, product)) return std::unexpected(std::move(*failure));
    auto firewall = owns_firewall_category(product.get());
    if (!firewall) return std::unexpected(std::move(firewall.error()));
    if (!*firewall) continue;
    platform::OwnedBstr name;
    if (auto failure = call_failure(product->get_DisplayName(name.put()))) {
      return std::unexpected(std::move(*failure));
    }
    names.emplace_back(name.view());
  }
  return names;
}

}  // namespace orvane::firewall
