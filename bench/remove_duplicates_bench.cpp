#include <benchmark/benchmark.h>

#include <string>

#include "util/text.h"
#include "util/text_search.h"

namespace {

// A cookie text of `count` items «nameN=valueN» joined by "; ", one in ten a repeat.
std::string cookie_text(long long count) {
  const long long distinct = count - count / 10;
  std::string text;
  for (long long i = 0; i < count; ++i) {
    const std::string n = std::to_string(i % distinct);
    if (i != 0) text += "; ";
    text.append("name").append(n).append("=value").append(n);
  }
  return text;
}

// The item-by-item way: every item looked up in the list of those kept so far.
std::string remove_duplicates_by_list(std::string_view text, std::string_view delimiter) {
  virn::TextList kept;
  std::string out;
  for (const std::string& item : virn::split_text(text, delimiter)) {
    if (virn::find_in_list(kept, item) != -1) continue;
    kept.push_back(item);
    out.append(item).append(delimiter);
  }
  if (kept.empty()) return {};
  out.resize(out.size() - delimiter.size());
  return out;
}

void BM_RemoveDuplicates(benchmark::State& state) {
  const std::string text = cookie_text(state.range(0));
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(virn::remove_duplicates(text, "; ", true));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveDuplicates)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_RemoveDuplicatesByList(benchmark::State& state) {
  const std::string text = cookie_text(state.range(0));
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(remove_duplicates_by_list(text, "; "));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveDuplicatesByList)->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
