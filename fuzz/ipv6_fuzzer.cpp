// Address texts: IPv6 against glibc's inet_ntop wherever the two must agree, that is outside
// ::/96, where glibc writes the IPv4-compatible form ::a.b.c.d that the firewall's form does not
// have; and against a plain reference of the RFC 5952 form everywhere. IPv4 against inet_ntop.
#include <arpa/inet.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "firewall/encoders.h"
#include "reference_unicode.h"

namespace {

using namespace orvane::fuzz;

std::string dotted(const std::uint8_t* bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

// RFC 5952: IPv4-mapped addresses as ::ffff:a.b.c.d; otherwise lower-case groups without leading
// zeros, the longest run of two or more zero groups (the first of equals) written as "::".
std::string reference_text(const std::array<std::uint8_t, 16>& bytes) {
  std::array<unsigned, 8> groups{};
  for (int i = 0; i < 8; ++i) groups[i] = bytes[2 * i] << 8 | bytes[2 * i + 1];
  if (groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
      groups[5] == 0xFFFF) {
    return "::ffff:" + dotted(&bytes[12]);
  }
  int best = -1, best_length = 0;
  for (int start = 0; start < 8;) {
    int end = start;
    while (end < 8 && groups[end] == 0) ++end;
    if (end - start > best_length) {
      best = start;
      best_length = end - start;
    }
    start = end == start ? start + 1 : end;
  }
  if (best_length < 2) best = -1;
  std::string text;
  for (int i = 0; i < 8; ++i) {
    if (i == best) {
      text += "::";
      i += best_length - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    char group[5];
    std::snprintf(group, sizeof group, "%x", groups[i]);
    text += group;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 16) {
    if (size < 4) return 0;
    const orvane::firewall::Ipv4Address v4{data[0], data[1], data[2], data[3]};
    char expected[INET_ADDRSTRLEN];
    check(inet_ntop(AF_INET, data, expected, sizeof expected) != nullptr, "inet_ntop failed");
    check(orvane::firewall::address_text(v4) == expected, "IPv4 text differs from inet_ntop");
    return 0;
  }
  orvane::firewall::Ipv6Address v6{};
  for (std::size_t i = 0; i < 16; ++i) v6[i] = data[i];
  const std::string text = orvane::firewall::address_text(v6);
  check(text == reference_text(v6), "IPv6 text differs from the reference");
  bool in_96 = true;
  for (std::size_t i = 0; i < 12; ++i) in_96 = in_96 && v6[i] == 0;
  if (!in_96) {
    char expected[INET6_ADDRSTRLEN];
    check(inet_ntop(AF_INET6, v6.data(), expected, sizeof expected) != nullptr, "inet_ntop failed");
    check(text == expected, "IPv6 text differs from inet_ntop");
  }
  return 0;
}
