#include "firewall/encoders.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <string_view>
#include <utility>

#include "firewall/bstr_conversion.h"
#include "platform/owned_safe_array.h"

namespace orvane::firewall {
namespace {

using platform::HresultError;
using platform::OwnedBstr;
using platform::OwnedSafeArray;
using platform::OwnedVariant;

// HRESULT_FROM_WIN32(ERROR_INVALID_DATA): the answer for an index that SafeArrayPutElement's
// signed 32-bit index cannot express.
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x8007000D);

void append_number(std::string& out, unsigned value, int base) {
  std::array<char, 8> digits;
  const auto [end, error] =
      std::to_chars(digits.data(), digits.data() + digits.size(), value, base);
  (void)error;  // eight digits hold any 16-bit value in either base
  out.append(digits.data(), end);
}

void append_ipv4(std::string& out, const std::uint8_t* bytes) {
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) out += '.';
    append_number(out, bytes[i], 10);
  }
}

void append_groups(std::string& out, const std::array<unsigned, 8>& groups, std::size_t begin,
                   std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    if (i > begin) out += ':';
    append_number(out, groups[i], 16);
  }
}

// RFC 5952: lower-case hex without leading zeros, the longest run of two or more zero groups
// (the first of equals) as "::", and IPv4-mapped addresses with their IPv4 part dotted.
void append_ipv6(std::string& out, const Ipv6Address& bytes) {
  std::array<unsigned, 8> groups;
  for (std::size_t i = 0; i < 8; ++i) groups[i] = (bytes[2 * i] << 8) | bytes[2 * i + 1];

  if (groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
      groups[5] == 0xFFFF) {
    out += "::ffff:";
    append_ipv4(out, bytes.data() + 12);
    return;
  }

  std::size_t run_start = 0;
  std::size_t run_length = 0;
  for (std::size_t i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < 8 && groups[end] == 0) ++end;
    if (end - i > run_length) {
      run_start = i;
      run_length = end - i;
    }
    i = end;
  }

  if (run_length < 2) {
    append_groups(out, groups, 0, 8);
    return;
  }
  append_groups(out, groups, 0, run_start);
  out += "::";
  append_groups(out, groups, run_start + run_length, 8);
}

// The members' texts joined by single commas, as one BSTR; no text at all for an absent or
// empty set.
template <class Member, class Render>
OwnedBstr join_to_bstr(const std::optional<std::set<Member>>& members, Render render) {
  if (!members || members->empty()) return {};
  std::string text;
  bool first = true;
  for (const Member& member : *members) {
    if (!first) text += ',';
    first = false;
    render(text, member);
  }
  return from_text(std::move(text));
}

}  // namespace

std::string address_text(const IpAddress& address) {
  std::string text;
  if (const auto* ipv4 = std::get_if<Ipv4Address>(&address)) {
    append_ipv4(text, ipv4->data());
  } else {
    append_ipv6(text, std::get<Ipv6Address>(address));
  }
  return text;
}

OwnedBstr ports_to_bstr(const std::optional<std::set<std::uint16_t>>& ports) {
  return join_to_bstr(ports,
                      [](std::string& out, std::uint16_t port) { append_number(out, port, 10); });
}

OwnedBstr addresses_to_bstr(const std::optional<std::set<IpAddress>>& addresses) {
  return join_to_bstr(
      addresses, [](std::string& out, const IpAddress& address) { out += address_text(address); });
}

OwnedBstr interface_types_to_bstr(const std::optional<std::set<InterfaceType>>& types) {
  return join_to_bstr(
      types, [](std::string& out, InterfaceType type) { out += interface_type_name(type); });
}

std::expected<OwnedVariant, HresultError> interface_names_to_variant(
    const std::set<std::string>& names) {
  OwnedVariant result;
  if (names.empty()) return result;

  // The array is ours until it goes into the result; on any failure it is destroyed with
  // whatever elements it already holds.
  OwnedSafeArray array;
  if (std::in_range<ULONG>(names.size())) {
    array = OwnedSafeArray::adopt(
        SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(names.size())));
  }
  if (!array) return std::unexpected(HresultError::from_last_error());

  std::size_t index = 0;
  for (const std::string& name : names) {
    // The element goes in through a temporary VARIANT of our own, which the array copies; the
    // owner clears it on every way out of this iteration.
    OwnedVariant element;
    VARIANT* temporary = element.put();
    V_VT(temporary) = VT_BSTR;
    V_BSTR(temporary) = from_text(std::string(name)).detach();

    if (!std::in_range<LONG>(index)) return std::unexpected(HresultError(kInvalidData));
    LONG position = static_cast<LONG>(index);
    const HRESULT hr = SafeArrayPutElement(array.get(), &position, temporary);
    // The error is taken before the temporary is cleared, so that it gets the thread's error
    // information and not whatever the clearing might leave.
    if (FAILED(hr)) return std::unexpected(HresultError::from_hresult(hr));
    element.reset();
    ++index;
  }

  VARIANT* value = result.put();
  V_VT(value) = static_cast<VARTYPE>(VT_ARRAY | VT_VARIANT);
  V_ARRAY(value) = array.detach();
  return result;
}

}  // namespace orvane::firewall
