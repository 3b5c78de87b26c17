#include "firewall_products.h"

#include "com_object.h"
#include "firewall.h"

namespace fwsim::detail {
namespace {

class NetFwProducts final : public Object<INetFwProducts, kIidINetFwProducts> {
 public:
  NetFwProducts() : Object("NetFwProducts") {}

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    clear_out(count);
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Item(LONG /*index*/, INetFwProduct** product) override {
    clear_out(product);
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** new_enum) override {
    clear_out(new_enum);
    return E_NOTIMPL;
  }
};

}  // namespace

INetFwProducts* new_products() { return new NetFwProducts(); }

}  // namespace fwsim::detail
