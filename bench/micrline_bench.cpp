// Code lines parsed per second by CMicrData: each iteration adds one E-13B line and takes the
// record back out, as the MICR service does for every read.
#include <benchmark/benchmark.h>

#include <string>

#include "micrline/micrdata.h"

namespace {

const char* const kLines[] = {
    "T123456780T1234567890O1001",       "5T123456780T1234567890O1001 A0000012500A",
    "O001234O T123456780T 1234567890O", "T1234D56780T1001 12 34D567890O",
    "T123008009T 4455O12345678O",
};

void BM_AddAndPop(benchmark::State& state) {
    CMicrData data;
    data.Setting(static_cast<LONG>(state.range(0)));
    const BOOL checkDigit = state.range(1) ? TRUE : FALSE;
    std::string raw, account, amount, bank, serial, epc, transit;
    LONG checkType = 0, countryCode = 0;
    size_t i = 0;
    for (auto _ : state) {
        std::string line = kLines[i++ % std::size(kLines)];
        benchmark::DoNotOptimize(data.Add(line, TRUE, checkDigit));
        data.PopOldest(raw, account, amount, bank, serial, epc, transit, checkType, countryCode);
        benchmark::DoNotOptimize(account.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddAndPop)->ArgNames({"DeleteChar", "CheckDigit"})->Args({0, 0})->Args({3, 1});

}  // namespace

BENCHMARK_MAIN();
