// Allocation failure in the relocation routines. This program is linked with
// --wrap=malloc,strdup,free, so every such call goes through the probe below; while the
// probe is armed, it fails the chosen call and keeps the blocks still outstanding.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "search/path_parts.h"
#include "search/relocate.h"
#include "common/test_util.h"

extern "C" {
void* __real_malloc(size_t size);
char* __real_strdup(const char* text);
void __real_free(void* block);
void* __wrap_malloc(size_t size);
char* __wrap_strdup(const char* text);
void __wrap_free(void* block);
}

namespace {

constexpr int kMaxTracked = 256;

struct alloc_probe {
  bool armed;
  int fail_at;  // 1-based number of the call to fail; 0 fails none
  int calls;
  size_t sizes[kMaxTracked];  // requested sizes in call order
  void* live[kMaxTracked];
  int live_count;
  bool overflow;
};

alloc_probe probe;

// Counts an allocation; true when this one is to fail.
bool count_call(size_t size) {
  int index = probe.calls++;
  if (index < kMaxTracked) {
    probe.sizes[index] = size;
  } else {
    probe.overflow = true;
  }
  if (probe.calls == probe.fail_at) {
    errno = ENOMEM;
    return true;
  }
  return false;
}

void track(void* block) {
  if (block == nullptr) return;
  if (probe.live_count == kMaxTracked) {
    probe.overflow = true;
    return;
  }
  probe.live[probe.live_count++] = block;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
  if (!probe.armed) return __real_malloc(size);
  if (count_call(size)) return nullptr;
  void* block = __real_malloc(size);
  track(block);
  return block;
}

extern "C" char* __wrap_strdup(const char* text) {
  if (!probe.armed) return __real_strdup(text);
  if (count_call(strlen(text) + 1)) return nullptr;
  char* copy = __real_strdup(text);
  track(copy);
  return copy;
}

extern "C" void __wrap_free(void* block) {
  if (probe.armed && block != nullptr) {
    for (int i = 0; i < probe.live_count; ++i) {
      if (probe.live[i] == block) {
        probe.live[i] = probe.live[--probe.live_count];
        break;
      }
    }
  }
  __real_free(block);
}

namespace {

// What one armed call left behind.
struct probed_run {
  void* result;
  int calls;
  int live;
};

template <typename Call>
probed_run run_armed(int fail_at, Call&& call) {
  probe = alloc_probe{};
  probe.fail_at = fail_at;
  probe.armed = true;
  void* result = call();
  probe.armed = false;
  EXPECT_FALSE(probe.overflow);
  return {result, probe.calls, probe.live_count};
}

// Fails the first, second, ... allocation of call until a run needs fewer; every failed
// run must give null and leave no block behind. Returns the undisturbed run.
template <typename Call>
probed_run expect_clean_failures(Call&& call) {
  for (int n = 1; n < kMaxTracked; ++n) {
    probed_run run = run_armed(n, call);
    if (run.calls < n) return run;
    EXPECT_EQ(run.result, nullptr) << "allocation " << n << " failed";
    EXPECT_EQ(run.live, 0) << "blocks left after allocation " << n << " failed";
  }
  ADD_FAILURE() << "no run got through";
  return {};
}

// Frees a single-block result; true when that was the last block outstanding.
bool free_armed(probed_run run) {
  probe.armed = true;
  free(run.result);
  probe.armed = false;
  return probe.live_count == 0;
}

class relocate_alloc : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("PATH");
    saved_path_ = old != nullptr ? old : "";
    had_path_ = old != nullptr;
    testutil::make_dirs(tmp_ / "opt/tc/bin");
    testutil::make_dirs(tmp_ / "usr/bin");
    testutil::write_file(tmp_ / "opt/tc/bin/quarn-ar", "", 0755);
    bin_ = tmp_ / "opt/tc/bin";
  }
  void TearDown() override {
    if (had_path_) {
      setenv("PATH", saved_path_.c_str(), 1);
    } else {
      unsetenv("PATH");
    }
  }

  testutil::scoped_temp_dir tmp_;
  std::string bin_;
  std::string saved_path_;
  bool had_path_ = false;
};

TEST_F(relocate_alloc, every_failure_of_a_successful_relocation_gives_null_and_no_leak) {
  setenv("PATH", (tmp_ / "usr/bin:" + bin_).c_str(), 1);
  for (int resolve : {1, 0}) {
    probed_run run = expect_clean_failures(
        [&] { return relocate_dir_core("quarn-ar", "/usr/local/bin/", "/usr/local/lib/quarn/", resolve); });
    ASSERT_NE(run.result, nullptr);
    std::string result = static_cast<char*>(run.result);
    EXPECT_EQ(result, bin_ + "/../lib/quarn/");
    // The result is the last block taken, sized exactly, and the only one kept.
    EXPECT_EQ(probe.sizes[run.calls - 1], result.size() + 1);
    EXPECT_EQ(run.live, 1);
    EXPECT_TRUE(free_armed(run));
  }
}

TEST_F(relocate_alloc, every_failure_of_a_refused_relocation_gives_null_and_no_leak) {
  setenv("PATH", bin_.c_str(), 1);
  const std::string in_place = bin_ + "/";
  const std::string in_place_lib = tmp_ / "opt/tc/lib/";
  const struct {
    const char* bin;
    const char* target;
  } rows[] = {
      {in_place.c_str(), in_place_lib.c_str()},  // the program lies in its configured directory
      {"bin/", "/usr/local/lib/quarn/"},         // no shared leading component
  };
  for (const auto& r : rows) {
    probed_run run = expect_clean_failures([&] { return relocate_dir("quarn-ar", r.bin, r.target); });
    EXPECT_EQ(run.result, nullptr) << r.bin;
    EXPECT_EQ(run.live, 0) << r.bin;
    EXPECT_GT(run.calls, 0) << r.bin;
  }
}

TEST_F(relocate_alloc, candidate_buffer_moves_to_the_heap_at_4032_bytes) {
  // The candidate buffer needs len(PATH) + 1 + len("quarn-ar") + 1 bytes.
  auto path_of_size = [&](size_t size) {
    std::string path = "/no-such-dir/";
    path += std::string(size - 10 - path.size() - 1 - bin_.size(), 'x');
    return path + ":" + bin_;
  };
  auto relocate = [] { return relocate_dir("quarn-ar", "/usr/local/bin/", "/usr/local/lib/quarn/"); };

  setenv("PATH", path_of_size(4031).c_str(), 1);
  probed_run on_stack = expect_clean_failures(relocate);
  ASSERT_NE(on_stack.result, nullptr);
  EXPECT_TRUE(free_armed(on_stack));
  size_t stack_calls = static_cast<size_t>(on_stack.calls);

  for (size_t size : {4032u, 9000u}) {
    setenv("PATH", path_of_size(size).c_str(), 1);
    probed_run on_heap = expect_clean_failures(relocate);
    ASSERT_NE(on_heap.result, nullptr) << size;
    EXPECT_EQ(std::string(static_cast<char*>(on_heap.result)), bin_ + "/../lib/quarn/");
    // One allocation more, the first, of exactly the buffer's size; freed before return.
    EXPECT_EQ(static_cast<size_t>(on_heap.calls), stack_calls + 1) << size;
    EXPECT_EQ(probe.sizes[0], size);
    EXPECT_EQ(on_heap.live, 1);
    EXPECT_TRUE(free_armed(on_heap));
  }
}

TEST_F(relocate_alloc, path_utilities_give_null_and_no_leak) {
  const std::string existing = bin_ + "/quarn-ar";
  for (const std::string& name : {existing, tmp_ / "missing"}) {
    probed_run run = expect_clean_failures([&] { return canonical_path(name.c_str()); });
    ASSERT_NE(run.result, nullptr);
    EXPECT_EQ(run.calls, 1);
    EXPECT_TRUE(free_armed(run));
  }

  int count = 0;
  probed_run run = expect_clean_failures([&] { return split_path("//a//b", &count); });
  ASSERT_NE(run.result, nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(run.calls, 4);
  EXPECT_EQ(run.live, 4);
  probe.armed = true;
  free_path_parts(static_cast<char**>(run.result));
  probe.armed = false;
  EXPECT_EQ(probe.live_count, 0);
}

}  // namespace
