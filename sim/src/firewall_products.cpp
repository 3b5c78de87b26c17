#include "firewall_products.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com_object.h"
#include "controls.h"
#include "faults.h"
#include "firewall.h"
#include "firewall_enum.h"
#include "oleaut32.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

using Products = std::shared_ptr<const std::vector<Product>>;

// The categories as INetFwProduct::get_RuleCategories gives them, VT_I4 elements of a
// VT_ARRAY | VT_VARIANT, made with oleaut32's own calls (their trace lines come first).
HRESULT categories_variant(const std::vector<LONG>& categories, VARIANT& out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(categories.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < static_cast<LONG>(categories.size()); ++i) {
    VARIANT element{};
    V_VT(&element) = VT_I4;
    V_I4(&element) = categories[static_cast<std::size_t>(i)];
    if (const HRESULT hr = SafeArrayPutElement(array, &i, &element); FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  V_VT(&out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&out) = array;
  return S_OK;
}

std::string categories_label(const std::vector<LONG>& categories) {
  std::string label = "[";
  for (const LONG category : categories) {
    label += (label.size() > 1 ? "," : "") + std::to_string(category);
  }
  return label + "]";
}

// A standard user reads a product as an administrator does (a conformance fact).
class NetFwProduct final : public Object<INetFwProduct, kIidINetFwProduct> {
 public:
  explicit NetFwProduct(Product product) : Object("NetFwProduct"), product_(std::move(product)) {}

  HRESULT STDMETHODCALLTYPE get_RuleCategories(VARIANT* categories) override {
    constexpr std::string_view kName = "INetFwProduct::get_RuleCategories";
    HRESULT hr = S_OK;
    if (categories != nullptr) *categories = VARIANT{};
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (categories == nullptr) {
      hr = E_POINTER;
    } else {
      hr = categories_variant(product_.categories, *categories);
    }
    const bool given = categories != nullptr && V_VT(categories) != VT_EMPTY;
    trace(kName, id(),
          hresult_text(hr) + " " + (given ? categories_label(product_.categories) : "empty"));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR* name) override {
    return get_text("INetFwProduct::get_DisplayName", product_.name, name);
  }

  // Where the product's signed program is; fwsim's products have none, and say so with an empty
  // text.
  HRESULT STDMETHODCALLTYPE get_PathToSignedProductExe(BSTR* path) override {
    return get_text("INetFwProduct::get_PathToSignedProductExe", u"", path);
  }

 private:
  HRESULT get_text(std::string_view name, std::u16string_view text, BSTR* out) {
    HRESULT hr = S_OK;
    if (auto fault = take_fault(name)) {
      clear_out(out);
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (out == nullptr) {
      hr = E_POINTER;
    } else {
      *out = make_bstr(text);
    }
    trace(name, id(), hresult_text(hr) + " " + bstr_label(out ? *out : nullptr));
    return hr;
  }

  Product product_;
};

class NetFwProducts final : public Object<INetFwProducts, kIidINetFwProducts> {
 public:
  NetFwProducts()
      : Object("NetFwProducts"),
        products_(std::make_shared<const std::vector<Product>>(products())) {}

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    constexpr std::string_view kName = "INetFwProducts::get_Count";
    HRESULT hr = S_OK;
    std::string shown;
    if (auto fault = take_fault(kName)) {
      clear_out(count);
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (count == nullptr) {
      hr = E_POINTER;
    } else {
      *count = static_cast<LONG>(products_->size());
      shown = " " + std::to_string(*count);
    }
    trace(kName, id(), hresult_text(hr) + shown);
    return hr;
  }

  // 0-based; an index out of range answers E_INVALIDARG (Windows does not document the answer).
  HRESULT STDMETHODCALLTYPE Item(LONG index, INetFwProduct** product) override {
    constexpr std::string_view kName = "INetFwProducts::Item";
    HRESULT hr = S_OK;
    NetFwProduct* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (product == nullptr) {
      hr = E_POINTER;
    } else if (index < 0 || static_cast<std::size_t>(index) >= products_->size()) {
      clear_error_info();
      hr = E_INVALIDARG;
    } else {
      made = new NetFwProduct((*products_)[static_cast<std::size_t>(index)]);
    }
    if (product != nullptr) *product = made;
    trace(kName, id() + " " + std::to_string(index),
          hresult_text(hr) + " " + (made ? made->id() : "null"));
    return hr;
  }

  // Handed out as IUnknown, as for the rules; the caller asks it for IEnumVARIANT.
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** new_enum) override {
    constexpr std::string_view kName = "INetFwProducts::get__NewEnum";
    HRESULT hr = S_OK;
    IEnumVARIANT* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (new_enum == nullptr) {
      hr = E_POINTER;
    } else {
      auto make = std::make_shared<const MakeElement>([products = products_](std::size_t i) {
        return static_cast<IDispatch*>(new NetFwProduct((*products)[i]));
      });
      made = new_dispatch_enum("NetFwProductsEnum", products_->size(), std::move(make), 0);
    }
    if (new_enum != nullptr) *new_enum = made;
    trace(kName, id(), hresult_text(hr) + " " + object_label(made));
    return hr;
  }

 private:
  Products products_;
};

}  // namespace

INetFwProducts* new_products() { return new NetFwProducts(); }

}  // namespace fwsim::detail
