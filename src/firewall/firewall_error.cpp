#include "firewall/firewall_error.h"

#include <type_traits>

#include "text/quote.h"

namespace orvane::firewall {

void detailed_form(const FirewallError& error, std::string& out) {
  std::visit(
      [&out](const auto& variant) {
        using Variant = std::decay_t<decltype(variant)>;
        if constexpr (std::is_same_v<Variant, CoInitializeExFailed>) {
          out += "CoInitializeExFailed(";
          text::quote_text(variant.message, out);
          out += ')';
        } else if constexpr (std::is_same_v<Variant, WindowsError>) {
          out += "WindowsError(";
          detailed_form(variant.error, out);
          out += ')';
        } else if constexpr (std::is_same_v<Variant, RuleAlreadyExists>) {
          out += "RuleAlreadyExists";
        } else if constexpr (std::is_same_v<Variant, InvalidNetFwAction>) {
          out += "InvalidNetFwAction";
        } else if constexpr (std::is_same_v<Variant, InvalidNetFwProfile>) {
          out += "InvalidNetFwProfile";
        } else if constexpr (std::is_same_v<Variant, InvalidNetFwRuleDirection>) {
          out += "InvalidNetFwRuleDirection";
        } else if constexpr (std::is_same_v<Variant, InvalidNetFwIpProtocol>) {
          out += "InvalidNetFwIpProtocol";
        } else if constexpr (std::is_same_v<Variant, EmptyHashSet>) {
          out += "EmptyHashSet";
        } else {
          static_assert(std::is_same_v<Variant, RuleStillExists>);
          out += "RuleStillExists";
        }
      },
      error);
}

}  // namespace orvane::firewall
