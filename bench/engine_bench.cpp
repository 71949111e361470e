// The engine's own cost: replaceStr on long texts, and a batch run against the in-memory host,
// so the host's time is all that remains in the end-to-end figures.
#include <benchmark/benchmark.h>

#include "engine/quietrunservices.h"
#include "engine/replacestr.h"
#include "tests/support/engine/doubles.h"
#include "tests/support/engine/recordinghost.h"

namespace {

using namespace quorvel::engine;

void ReplaceStrManyOccurrences(benchmark::State& state) {
    std::u16string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) {
        text += u"图号-A";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(replaceStr(text, u"-", u"——", false));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size() * 2));
}
BENCHMARK(ReplaceStrManyOccurrences)->Arg(64)->Arg(4096)->Arg(30000);

struct Queue final : DrawingList {
    std::vector<std::u16string> entries;
    int count() const override { return static_cast<int>(entries.size()); }
    std::u16string text(int index) const override { return entries.at(index); }
    void removeAt(int index) override { entries.erase(entries.begin() + index); }
    void removeAll() override { entries.clear(); }
};
using Quiet = QuietRunServices;

// 50 drawings of state.range(0) texts, every other one matching.
void BatchRunInMemory(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        testing::RecordingHost host;
        host.running = true;
        host.openNew({}, {}, {});
        Queue queue;
        for (int d = 0; d < 50; ++d) {
            testing::Drawing drawing;
            for (int t = 0; t < state.range(0); ++t) {
                drawing.push_back({t % 2 ? u"AB-" : u"other"});
            }
            const std::u16string path = u"/d/" + std::u16string(1, char16_t(u'A' + d % 26)) +
                                        std::u16string(1, char16_t(u'0' + d / 26)) + u".dwg";
            host.addFile(path, std::move(drawing));
            queue.entries.push_back(path);
        }
        testing::FakeOptions options;  // justified and sized: every step of a match
        options.text5 = u"2.5";
        options.check3 = 1;
        options.check4 = 1;
        Quiet quiet;
        Module1 module1(host.connector(), quiet);
        ReplacementRun run(
            makeRunServices(module1, host.windowControl(), options, queue, quiet, u"/prog"));
        state.ResumeTiming();
        run.runBatch();
        benchmark::DoNotOptimize(host.savedPaths.size());
    }
}
BENCHMARK(BatchRunInMemory)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
