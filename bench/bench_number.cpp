// parse_number against the C library's strtold on the same numbers.
// Each iteration parses a whole set; the counter reports ns per number.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "strings/dynstr.h"
#include "strings/number.h"

namespace {

struct NumberSet {
    const char* name;
    std::vector<std::string> ours;     // the library's syntax
    std::vector<std::string> strtold;  // the same values in the C syntax
};

const NumberSet kSets[] = {
    {"small_int", {"7", "42", "123", "9", "1000", "65535", "3", "12"},
     {"7", "42", "123", "9", "1000", "65535", "3", "12"}},
    {"short_decimal", {"3.25", "-0.5", "12.75", "0.001", "99.9", "1.5e3", "-7.125", "2.0"},
     {"3.25", "-0.5", "12.75", "0.001", "99.9", "1.5e3", "-7.125", "2.0"}},
    {"long_decimal_exp",
     {"1234567890123456789012e-45", "3.14159265358979323846264e300", "-9.87654321098765432123D-1200",
      "0.000000123456789012345678901e4000", "271828182845904523536028.7e-30", "1.7976931348623157e308",
      "6.02214076e23", "123456789012345678901234567890E+1000"},
     {"1234567890123456789012e-45", "3.14159265358979323846264e300", "-9.87654321098765432123e-1200",
      "0.000000123456789012345678901e4000", "271828182845904523536028.7e-30", "1.7976931348623157e308",
      "6.02214076e23", "123456789012345678901234567890E+1000"}},
    {"hex", {"&H1F", "&HFFFF&", "&H7FFFFFFF", "&HDEADBEEF&&", "&H10", "&HABCDEF", "&H0FFFF", "&H123456789AB"},
     {"0x1F", "0xFFFF", "0x7FFFFFFF", "0xDEADBEEF", "0x10", "0xABCDEF", "0x0FFFF", "0x123456789AB"}},
};

void attach_once() {
    static bool attached = false;
    if (!attached) attached = library_entry(0x10000, kProcessAttach, 0) == 1;
    load_fpu_control(kRuntimeFpuControl);
}

void BM_parse_number(benchmark::State& state) {
    attach_once();
    const NumberSet& set = kSets[state.range(0)];
    std::vector<StrHandle> texts;
    for (const std::string& s : set.ours) {
        StrHandle h = str_alloc_ansi(static_cast<uint32_t>(s.size()));
        memcpy(reinterpret_cast<void*>(h), s.data(), s.size());
        texts.push_back(h);
    }
    ProcFrame f;
    frame_init(f, nullptr);
    for (auto _ : state) {
        for (StrHandle h : texts) {
            tmp_push_ref(f, h);  // borrowed: the parse is measured, not an allocation
            benchmark::DoNotOptimize(parse_number(f, 1));
        }
    }
    state.SetLabel(set.name);
    state.counters["ns_per_number"] = benchmark::Counter(
        static_cast<double>(state.iterations() * texts.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (StrHandle h : texts) str_free(h);
}

void BM_strtold(benchmark::State& state) {
    const NumberSet& set = kSets[state.range(0)];
    for (auto _ : state) {
        for (const std::string& s : set.strtold) benchmark::DoNotOptimize(strtold(s.c_str(), nullptr));
    }
    state.SetLabel(set.name);
    state.counters["ns_per_number"] = benchmark::Counter(
        static_cast<double>(state.iterations() * set.strtold.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_parse_number)->DenseRange(0, 3);
BENCHMARK(BM_strtold)->DenseRange(0, 3);

}  // namespace
