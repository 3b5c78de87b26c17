#include "firewall_rule_checks.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "firewall_rule_line.h"

namespace fwsim {
namespace {

using detail::find_property;
using detail::prop_name;

// Sources: MS-FASP (Microsoft's protocol document for the firewall's remote management, one of its
// Open Specifications), section 2.2.37 (FW_RULE) and its product-behaviour notes, which the
// firewall service applies to every rule it is given, and Microsoft's INetFwRule documentation.
// Lengths are UTF-16 units.
//
// Windows checks more than this, and fwsim does not simulate it: the form of port, address, ICMP
// and interface-type lists (MS-FASP 2.2.37 names their grammars), whether an application path
// names an existing file (it does not have to), and the limits on those lists' sizes.
constexpr std::size_t kMaxNameUnits = 10'000;  // Name and Description: fewer than 10,000 units
constexpr std::size_t kMaxPathUnits = 260;     // ApplicationName, serviceName: fewer than MAX_PATH
constexpr std::u16string_view kBadPathUnits = u"/*?\"<>|";  // so no \\?\ path is taken
constexpr std::u16string_view kBadServiceUnits = u"/\\|";
constexpr std::int32_t kDirectionIn = 1;    // NET_FW_RULE_DIR_IN
constexpr std::int32_t kDirectionOut = 2;   // NET_FW_RULE_DIR_OUT
constexpr std::int32_t kActionBlock = 0;    // NET_FW_ACTION_BLOCK
constexpr std::int32_t kActionAllow = 1;    // NET_FW_ACTION_ALLOW
constexpr std::int32_t kProtocolAny = 256;  // NET_FW_IP_PROTOCOL_ANY; above it no IP protocol

std::u16string_view text_of(const Rule& rule, Prop prop) {
  const PropValue* value = find_property(rule, prop);
  return value ? std::u16string_view(std::get<std::u16string>(*value)) : std::u16string_view();
}

std::optional<std::int32_t> number_of(const Rule& rule, Prop prop) {
  const PropValue* value = find_property(rule, prop);
  if (value == nullptr) return std::nullopt;
  return std::get<std::int32_t>(*value);
}

bool holds_any(std::u16string_view text, std::u16string_view units) {
  return text.find_first_of(units) != std::u16string_view::npos;
}

bool is_all(std::u16string_view name) {
  return name.size() == 3 && (name[0] | 0x20) == u'a' && (name[1] | 0x20) == u'l' &&
         (name[2] | 0x20) == u'l';
}

std::string refusal(Prop prop, std::string_view check) {
  return std::string(prop_name(prop)) + " " + std::string(check);
}

}  // namespace

namespace detail {

bool ports_allowed(const Rule& rule, Prop prop, const PropValue& value) {
  if (prop != Prop::LocalPorts && prop != Prop::RemotePorts) return true;
  if (std::get<std::u16string>(value).empty()) return true;
  const std::int32_t protocol = number_of(rule, Prop::Protocol).value_or(256);
  return protocol == 6 || protocol == 17;
}

}  // namespace detail

std::optional<std::string> add_refusal(const Rule& rule) {
  const std::u16string_view name = text_of(rule, Prop::Name);
  if (name.empty()) return refusal(Prop::Name, "is empty");
  if (name.size() >= kMaxNameUnits) return refusal(Prop::Name, "is 10,000 units or longer");
  if (holds_any(name, u"|")) return refusal(Prop::Name, "contains |");
  if (is_all(name)) return refusal(Prop::Name, "is \"all\", which names every rule");

  const std::u16string_view description = text_of(rule, Prop::Description);
  if (description.size() >= kMaxNameUnits) {
    return refusal(Prop::Description, "is 10,000 units or longer");
  }
  if (holds_any(description, u"|")) return refusal(Prop::Description, "contains |");

  const std::u16string_view application = text_of(rule, Prop::ApplicationName);
  if (application.size() >= kMaxPathUnits) {
    return refusal(Prop::ApplicationName, "is 260 units or longer");
  }
  if (holds_any(application, kBadPathUnits)) {
    return refusal(Prop::ApplicationName, "contains one of / * ? \" < > |");
  }

  const std::u16string_view service = text_of(rule, Prop::serviceName);
  if (service.size() >= kMaxPathUnits) return refusal(Prop::serviceName, "is 260 units or longer");
  if (holds_any(service, kBadServiceUnits)) {
    return refusal(Prop::serviceName, "contains one of / \\ |");
  }

  // An unset property keeps the new rule's default, which passes.
  const std::int32_t direction = number_of(rule, Prop::Direction).value_or(kDirectionIn);
  if (direction != kDirectionIn && direction != kDirectionOut) {
    return refusal(Prop::Direction, "is neither 1 (in) nor 2 (out)");
  }
  const std::int32_t action = number_of(rule, Prop::Action).value_or(kActionAllow);
  if (action != kActionBlock && action != kActionAllow) {
    return refusal(Prop::Action, "is neither 0 (block) nor 1 (allow)");
  }
  if (number_of(rule, Prop::Protocol).value_or(kProtocolAny) > kProtocolAny) {
    return refusal(Prop::Protocol, "is above 256 (any)");
  }

  if (number_of(rule, Prop::Profiles) == 0) return refusal(Prop::Profiles, "is 0, no profile");
  const bool edge = number_of(rule, Prop::EdgeTraversal).value_or(0) != 0;
  if (edge && direction == kDirectionOut) {
    return refusal(Prop::EdgeTraversal, "is true on an outbound rule");
  }
  return std::nullopt;
}

}  // namespace fwsim
