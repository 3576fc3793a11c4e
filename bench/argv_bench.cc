// Throughput of the response-file reader, writer and expansion on a response file of
// a million object paths, the size a large link or archive step hands over.
//
// Each benchmark that allocates runs twice. With warm_heap:0 the allocator behaves as
// it does in the wrapper: every iteration touches its memory for the first time, and
// the kernel's page faults are part of the figure. With warm_heap:1 (glibc only) freed
// memory stays with the process, so the figure is the code's own.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "argv/argv_expand.h"
#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "argv/argv_write.h"

namespace {

constexpr int object_count = 1000000;

// Paths as a build tree names them, a few with an escaped space.
std::string make_response_text() {
  std::string text;
  char line[128];
  for (int i = 0; i < object_count; ++i) {
    snprintf(line, sizeof line, "build/%s/module_%03d/file_%06d.o\n",
             i % 97 == 0 ? "third\\ party" : "objects", i % 500, i);
    text += line;
  }
  return text;
}

const std::string& response_text() {
  static const std::string text = make_response_text();
  return text;
}

// A scratch directory for the files the benchmarks write, removed at exit.
const std::string& scratch_dir() {
  static const std::string dir = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/argv-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return pattern;
  }();
  return dir;
}

struct scratch_cleanup {
  ~scratch_cleanup() {
    unlink((scratch_dir() + "/written").c_str());
    unlink((scratch_dir() + "/response").c_str());
    rmdir(scratch_dir().c_str());
  }
} cleanup;

// Switches between a heap that returns freed memory to the kernel (the default) and
// one that keeps it; false when the allocator offers no such choice.
bool set_warm_heap(bool warm) {
#if defined(__GLIBC__)
  // 128 KiB and 65536 are glibc's defaults.
  mallopt(M_TRIM_THRESHOLD, warm ? 1 << 30 : 128 * 1024);
  mallopt(M_MMAP_MAX, warm ? 0 : 65536);
  return true;
#else
  return !warm;
#endif
}

bool choose_heap(benchmark::State& state) {
  if (set_warm_heap(state.range(0) != 0)) return true;
  state.SkipWithError("this allocator always returns freed memory");
  return false;
}

void heap_modes(benchmark::internal::Benchmark* b) {
  b->ArgName("warm_heap")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
}

void BM_argv_parse(benchmark::State& state) {
  if (!choose_heap(state)) return;
  const std::string& text = response_text();
  for (auto _ : state) {
    char** argv = argv_parse(text.c_str());
    benchmark::DoNotOptimize(argv);
    state.PauseTiming();
    if (argv_length(argv) != object_count) state.SkipWithError("wrong argument count");
    argv_release(argv);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_argv_parse)->Apply(heap_modes);

// Allocates nothing while it runs: one heap mode is enough.
void BM_argv_write_quoted(benchmark::State& state) {
  set_warm_heap(false);
  char** argv = argv_parse(response_text().c_str());
  const std::string path = scratch_dir() + "/written";
  long written = 0;
  for (auto _ : state) {
    // A fresh file each time, as the wrapper writes one: truncating the last one would
    // make some file systems (ext4) start writing it back on close.
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
    FILE* stream = fopen(path.c_str(), "w");
    if (stream == nullptr || argv_write_quoted(argv, stream) != 0) state.SkipWithError("write failed");
    written = ftell(stream);
    if (fclose(stream) != 0) state.SkipWithError("close failed");
  }
  if (static_cast<size_t>(written) != response_text().size()) state.SkipWithError("unexpected text size");
  state.SetBytesProcessed(state.iterations() * written);
  argv_release(argv);
}
BENCHMARK(BM_argv_write_quoted)->Unit(benchmark::kMillisecond);

void BM_argv_expand_at_files(benchmark::State& state) {
  if (!choose_heap(state)) return;
  const std::string& text = response_text();
  const std::string path = scratch_dir() + "/response";
  FILE* file = fopen(path.c_str(), "w");
  if (file == nullptr || fwrite(text.data(), 1, text.size(), file) != text.size() || fclose(file) != 0) {
    state.SkipWithError("cannot write the response file");
    return;
  }
  std::string prog = "prog";
  std::string at = "@" + path;
  for (auto _ : state) {
    char* original[] = {prog.data(), at.data(), nullptr};
    int argc = 2;
    char** argv = original;
    argv_expand_at_files(&argc, &argv);
    state.PauseTiming();
    if (argc != object_count + 1) state.SkipWithError("wrong argument count");
    if (argv != original) argv_release(argv);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_argv_expand_at_files)->Apply(heap_modes);

}  // namespace
