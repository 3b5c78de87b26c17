// Text conversion and quoting, in bytes of UTF-8 text per second: the program's own converters
// alone, and from_text, which also asks the platform (fwsim here) for the BSTR.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "bench_support.h"
#include "firewall/bstr_conversion.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace {

using orvane::bench::repeat_to;

void text_to_wide(benchmark::State& state, std::string_view unit) {
  const std::string text = repeat_to(unit, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    orvane::WideString wide = orvane::text::text_to_wide(text);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void from_text(benchmark::State& state, std::string_view unit) {
  orvane::bench::quiet_platform();
  const std::string text = repeat_to(unit, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    orvane::platform::OwnedBstr bstr = orvane::firewall::from_text(std::string_view(text));
    benchmark::DoNotOptimize(bstr.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Bytes counted are those of the UTF-8 text the units decode to, so that the rates compare with
// the other direction's.
void wide_to_text(benchmark::State& state, std::string_view unit) {
  const std::string text = repeat_to(unit, static_cast<std::size_t>(state.range(0)));
  const orvane::WideString wide = orvane::text::text_to_wide(text);
  for (auto _ : state) {
    std::string decoded = orvane::text::wide_to_text(wide);
    benchmark::DoNotOptimize(decoded.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void quote_text(benchmark::State& state, std::string_view unit) {
  const std::string text = repeat_to(unit, static_cast<std::size_t>(state.range(0)));
  std::string out;
  for (auto _ : state) {
    out.clear();
    orvane::text::quote_text(text, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// A rule name or path is tens of bytes; a long system message or description a few KiB.
void sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(4096); }

using orvane::bench::kAsciiUnit;
using orvane::bench::kEscapesUnit;
using orvane::bench::kMixedUnit;

BENCHMARK_CAPTURE(text_to_wide, ascii, kAsciiUnit)->Apply(sizes);
BENCHMARK_CAPTURE(text_to_wide, mixed_script, kMixedUnit)->Apply(sizes);
BENCHMARK_CAPTURE(from_text, ascii, kAsciiUnit)->Apply(sizes);
BENCHMARK_CAPTURE(from_text, mixed_script, kMixedUnit)->Apply(sizes);
BENCHMARK_CAPTURE(wide_to_text, ascii, kAsciiUnit)->Apply(sizes);
BENCHMARK_CAPTURE(wide_to_text, mixed_script, kMixedUnit)->Apply(sizes);
BENCHMARK_CAPTURE(quote_text, ascii, kAsciiUnit)->Apply(sizes);
BENCHMARK_CAPTURE(quote_text, mixed_script, kMixedUnit)->Apply(sizes);
BENCHMARK_CAPTURE(quote_text, mostly_escapes, kEscapesUnit)->Apply(sizes);

}  // namespace
