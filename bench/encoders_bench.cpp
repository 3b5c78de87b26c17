// The rule value encoders: ports, addresses, interface types and interface names, as the
// firewall's texts and arrays. Each result is a BSTR or VARIANT from the platform (fwsim here).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "bench_support.h"
#include "firewall/encoders.h"

namespace {

using namespace orvane::firewall;

std::set<std::uint16_t> ports(std::int64_t count) {
  std::set<std::uint16_t> set;
  // Spread over the whole range, so that the texts have one to five digits.
  for (std::int64_t i = 0; i < count; ++i) set.insert(static_cast<std::uint16_t>(1 + i * 257));
  return set;
}

Ipv4Address ipv4(std::int64_t i) {
  return {192, 168, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
}

// 2001:db8::X:Y, the documentation prefix with a run of zero groups to shorten.
Ipv6Address ipv6(std::int64_t i) {
  Ipv6Address bytes{0x20, 0x01, 0x0d, 0xb8};
  bytes[12] = static_cast<std::uint8_t>(i >> 8);
  bytes[13] = static_cast<std::uint8_t>(i);
  bytes[15] = 1;
  return bytes;
}

void BM_PortsToBstr(benchmark::State& state) {
  orvane::bench::quiet_platform();
  const std::optional<std::set<std::uint16_t>> set = ports(state.range(0));
  for (auto _ : state) {
    orvane::platform::OwnedBstr text = ports_to_bstr(set);
    benchmark::DoNotOptimize(text.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PortsToBstr)->Arg(1)->Arg(16)->Arg(256);

void BM_AddressText(benchmark::State& state, IpAddress address) {
  for (auto _ : state) {
    std::string text = address_text(address);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_AddressText, ipv4, IpAddress(Ipv4Address{203, 0, 113, 254}));
BENCHMARK_CAPTURE(BM_AddressText, ipv6_compressed, IpAddress(ipv6(0x1234)));
BENCHMARK_CAPTURE(BM_AddressText, ipv6_full,
                  IpAddress(Ipv6Address{0x20, 0x01, 0x0d, 0xb8, 0x85, 0xa3, 0x08, 0xd3, 0x13, 0x19,
                                        0x8a, 0x2e, 0x03, 0x70, 0x73, 0x48}));
BENCHMARK_CAPTURE(BM_AddressText, ipv4_mapped,
                  IpAddress(Ipv6Address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 198, 51, 100,
                                        7}));

void BM_AddressesToBstr(benchmark::State& state, bool v6) {
  orvane::bench::quiet_platform();
  std::optional<std::set<IpAddress>> set(std::in_place);
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    set->insert(v6 ? IpAddress(ipv6(i)) : IpAddress(ipv4(i)));
  }
  for (auto _ : state) {
    orvane::platform::OwnedBstr text = addresses_to_bstr(set);
    benchmark::DoNotOptimize(text.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(BM_AddressesToBstr, ipv4, false)->Arg(1)->Arg(16)->Arg(256);
BENCHMARK_CAPTURE(BM_AddressesToBstr, ipv6, true)->Arg(1)->Arg(16)->Arg(256);

void BM_InterfaceTypesToBstr(benchmark::State& state) {
  orvane::bench::quiet_platform();
  const std::optional<std::set<InterfaceType>> set = std::set<InterfaceType>{
      InterfaceType::Wireless, InterfaceType::Lan, InterfaceType::RemoteAccess, InterfaceType::All};
  for (auto _ : state) {
    orvane::platform::OwnedBstr text = interface_types_to_bstr(set);
    benchmark::DoNotOptimize(text.get());
  }
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_InterfaceTypesToBstr);

void BM_InterfaceNamesToVariant(benchmark::State& state) {
  orvane::bench::quiet_platform();
  std::set<std::string> names;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    names.insert("Ethernet adapter " + std::to_string(i));
  }
  for (auto _ : state) {
    auto variant = interface_names_to_variant(names);
    if (!variant) {
      state.SkipWithError("interface_names_to_variant failed");
      break;
    }
    benchmark::DoNotOptimize(variant->get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InterfaceNamesToVariant)->Arg(1)->Arg(8)->Arg(64);

}  // namespace
