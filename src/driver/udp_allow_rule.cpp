#include "driver/udp_allow_rule.h"

#include <optional>
#include <utility>

namespace orvane::driver {

firewall::FirewallRule udp_allow_rule(std::string name, std::string application,
                                      firewall::RuleDirection direction) {
  using namespace firewall;
  return {
      .name = std::move(name),
      .direction = direction,
      .enabled = true,
      .action = RuleAction::Allow,
      .description = std::nullopt,
      .application_name = std::move(application),
      .service_name = std::nullopt,
      .protocol = RuleProtocol::Udp,
      .local_ports = std::nullopt,
      .remote_ports = std::nullopt,
      .local_addresses = std::nullopt,
      .remote_addresses = std::nullopt,
      .icmp_types_and_codes = std::nullopt,
      .edge_traversal = std::nullopt,
      .grouping = std::nullopt,
      .interfaces = std::nullopt,
      .interface_types = std::nullopt,
      .profile = std::nullopt,
  };
}

}  // namespace orvane::driver
