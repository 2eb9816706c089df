// Time and heap allocations per command against the null device.
// Not a test: the figures go into the README (scripts/bench.sh).
#include <benchmark/benchmark.h>

#include "alloc_count.h"
#include "commands.h"
#include "null_platform.h"

static void Command(benchmark::State& state, const MeasuredCommand* command) {
  if (OpenNullLink() != 0) {
    state.SkipWithError("the null link did not open");
    return;
  }
  unsigned long allocations = AllocationCount();
  unsigned long deviceCalls = NullDeviceCalls();
  for (auto _ : state) benchmark::DoNotOptimize(command->Call());
  double calls = (double)state.iterations();
  state.counters["allocations_per_call"] = (double)(AllocationCount() - allocations) / calls;
  state.counters["device_calls_per_call"] = (double)(NullDeviceCalls() - deviceCalls) / calls;
}

int main(int argc, char** argv) {
  if (!AllocationCountingAvailable()) return 1;
  for (unsigned i = 0; i < MeasuredCommandCount; i++)
    benchmark::RegisterBenchmark(MeasuredCommands[i].Name, Command, &MeasuredCommands[i]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
