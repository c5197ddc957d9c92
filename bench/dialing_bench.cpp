// buildDialString runs on the GUI thread for every number the clipboard
// pop-up delivers, so it should stay far below a frame's time.

#include "dialing/dialing_rules.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using pellandor::DialingRules;

// WORKAROUND: GCC 12 at -O3 reports a false -Wrestrict when a literal is
// assigned into a std::string member (GCC bug 105651); move-assigning a whole
// string avoids it.
DialingRules koreanPlan() {
    DialingRules r;
    r.coAccessCode = std::string("9");
    r.myCountryCode = std::string("82");
    r.myAreaCode = std::string("031");
    r.internationalCode = std::string("001");
    r.addZero = true;
    return r;
}

DialingRules northAmericanPlan() {
    DialingRules r;
    r.coAccessCode = std::string("9");
    r.myCountryCode = std::string("1");
    r.myAreaCode = std::string("212");
    r.internationalCode = std::string("011");
    r.longDistanceCode = std::string("1");
    r.useNonStandard = true;
    r.usePrefix = true;
    r.prefix1 = std::string("114");
    r.prefix2 = std::string("119");
    return r;
}

// Numbers as they are typically copied: extensions, plain numbers, and
// numbers written for people with separators and country codes.
constexpr std::array<std::string_view, 10> kInputs = {
    "1234",          "1234567",        "0311234567",        " +82 31 123 4567 ", "+82-2-123-4567",
    "(02) 123-4567", "82-31-123-4567", "+1 (415) 555-1234", "1-212-555-1234",    "+44 20 7946 0018",
};

void runTable(benchmark::State& state, const DialingRules& rules) {
    for (auto _ : state) {
        for (std::string_view text : kInputs) {
            benchmark::DoNotOptimize(rules.buildDialString(text));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kInputs.size()));
}

void BM_BuildDialString_KoreanPlan(benchmark::State& state) {
    runTable(state, koreanPlan());
}
BENCHMARK(BM_BuildDialString_KoreanPlan);

void BM_BuildDialString_NorthAmericanPlan(benchmark::State& state) {
    runTable(state, northAmericanPlan());
}
BENCHMARK(BM_BuildDialString_NorthAmericanPlan);

// One input at a time, to show which shape of number costs most.
void BM_BuildDialString_Single(benchmark::State& state) {
    const DialingRules rules = koreanPlan();
    const std::string_view text = kInputs[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(std::string(text));
    for (auto _ : state) {
        benchmark::DoNotOptimize(rules.buildDialString(text));
    }
}
BENCHMARK(BM_BuildDialString_Single)->DenseRange(0, static_cast<int>(kInputs.size()) - 1);

}  // namespace
