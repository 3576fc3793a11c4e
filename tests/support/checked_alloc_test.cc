#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "support/checked_alloc.h"
#include "common/test_util.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
#else
constexpr bool kAsan = false;
#endif

// More than any address space can hold beside the program itself, on 32-bit hosts too.
constexpr size_t kHuge = SIZE_MAX - 4096;

// ASan's allocator reports a refused request as an error of its own and dies,
// unless it was told to hand back null as the C library does.
bool refusals_reach_the_caller() {
  if (!kAsan) return true;
  const char* options = getenv("ASAN_OPTIONS");
  return options != nullptr && strstr(options, "allocator_may_return_null=1") != nullptr;
}

// Checks the whole out-of-memory text and returns the total it reports.
unsigned long expect_oom_message(std::string err, const std::string& name, size_t size) {
  // ASan, when it hands back null, still notes each refusal on a line of its own.
  for (size_t at; kAsan && (at = err.find("==")) != std::string::npos;) err.erase(at, err.find('\n', at) + 1 - at);
  std::string head = "\n" + name + (name.empty() ? "" : ": ") + "out of memory allocating " +
                     std::to_string(size) + " bytes after a total of ";
  EXPECT_EQ(err.substr(0, head.size()), head) << err;
  std::string rest = err.size() > head.size() ? err.substr(head.size()) : "";
  size_t digits = rest.find_first_not_of("0123456789");
  EXPECT_GT(digits, 0u) << err;
  EXPECT_EQ(rest.substr(digits == std::string::npos ? rest.size() : digits), " bytes\n") << err;
  return strtoul(rest.c_str(), nullptr, 10);
}

void write_marker(const char* text) {
  ssize_t n = write(1, text, strlen(text));
  (void)n;
}

// Maps the stack below the caller now: under a lowered RLIMIT_AS it could not grow.
__attribute__((noinline)) void touch_stack() {
  volatile char area[256 * 1024];
  for (size_t i = 0; i < sizeof area; i += 1024) area[i] = 1;
}

TEST(checked_alloc, zero_byte_requests_get_distinct_usable_blocks) {
  char* a = static_cast<char*>(checked_alloc(0));
  char* b = static_cast<char*>(checked_alloc(0));
  char* c = static_cast<char*>(checked_realloc(nullptr, 0));
  ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
  EXPECT_TRUE(a != b && b != c && a != c);
  // Under ASan a zero-byte block would make each of these writes an overflow.
  a[0] = b[0] = c[0] = 'x';
  // realloc(p, 0) may free p and return null; the checked form must keep a block.
  char* d = static_cast<char*>(checked_realloc(a, 0));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d[0], 'x');
  free(b), free(c), free(d);
}

TEST(checked_alloc, zeroed_allocation_of_nothing_is_one_zero_byte) {
  const size_t cases[][2] = {{0, 100}, {7, 0}, {0, 0}};
  for (const auto& c : cases) {
    unsigned char* p = static_cast<unsigned char*>(checked_calloc(c[0], c[1]));
    ASSERT_NE(p, nullptr) << c[0] << " x " << c[1];
    EXPECT_EQ(p[0], 0) << c[0] << " x " << c[1];
    free(p);
  }
}

TEST(checked_alloc, strdup_copies_the_terminating_nul) {
  for (const char* text : {"", "a", "/usr/local/bin/"}) {
    char* copy = checked_strdup(text);
    EXPECT_NE(copy, text);
    EXPECT_EQ(memcmp(copy, text, strlen(text) + 1), 0) << text;
    free(copy);
  }
}

TEST(checked_alloc, refused_request_prints_the_adjusted_size_and_exits_1) {
  if (!refusals_reach_the_caller()) GTEST_SKIP() << "ASan dies on refused requests; run with ASAN_OPTIONS=allocator_may_return_null=1";
  // half * 2 by half / 2 + 1 is a whole address space plus half * 2, which wraps to half * 2.
  const size_t half = size_t{1} << (sizeof(size_t) * 4);
  struct refusal {
    const char* what;
    std::function<void(void*)> request;  // given a live 16-byte block
    size_t reported;
  } cases[] = {
      {"alloc", [](void*) { checked_alloc(kHuge); }, kHuge},
      {"calloc", [](void*) { checked_calloc(kHuge, 1); }, kHuge},
      {"calloc overflow", [&](void*) { checked_calloc(half * 2, half / 2 + 1); }, half * 2},
      {"realloc of null", [](void*) { checked_realloc(nullptr, kHuge); }, kHuge},
      {"realloc of a block", [](void* block) { checked_realloc(block, kHuge); }, kHuge},
  };
  for (const refusal& c : cases) {
    auto r = testutil::run_in_child([&] {
      // Without a recorded name the total counts from the start: the 16 bytes are in it.
      printf("%lu", alloc_total + 16);
      fflush(stdout);
      c.request(checked_alloc(16));
      write_marker("returned");
    });
    EXPECT_EQ(r.exit_code(), 1) << c.what;
    EXPECT_EQ(std::to_string(expect_oom_message(r.err, "", c.reported)), r.out) << c.what;
  }
}

TEST(checked_alloc, exhausted_memory_reports_the_zeroed_product) {
  if (kAsan) GTEST_SKIP() << "ASan's allocator maps its heap ahead of time, so an address-space limit does not exhaust it";
  auto r = testutil::run_in_child([] {
    touch_stack();
    rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = 1 << 20;  // below what is mapped already: no mapping can grow
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(77);
    // Use up every free block that could serve 32 bytes, then ask for 4 x 8 zeroed.
    // The volatile store keeps the compiler from dropping allocations nobody uses.
    void* volatile block = nullptr;
    do block = malloc(32);
    while (block != nullptr);
    checked_calloc(4, 8);
    write_marker("returned");
  });
  if (r.exit_code() == 77) GTEST_SKIP() << "cannot lower RLIMIT_AS";
  EXPECT_EQ(r.exit_code(), 1) << r.out;
  expect_oom_message(r.err, "", 32);
}

TEST(checked_alloc, program_name_heads_the_message_and_the_total_counts_from_its_first_setting) {
  if (!refusals_reach_the_caller()) GTEST_SKIP() << "ASan dies on refused requests; run with ASAN_OPTIONS=allocator_may_return_null=1";
  auto r = testutil::run_in_child([] {
    free(checked_alloc(1000));
    set_alloc_program_name("first");
    // Adjusted sizes: 1 + 1 + 32, a resize adds its new size 40, the copy 4 with its NUL;
    // freeing takes nothing off.
    void* block = checked_alloc(0);
    free(checked_calloc(0, 100));
    free(checked_calloc(4, 8));
    block = checked_realloc(block, 40);
    free(checked_strdup("abc"));
    set_alloc_program_name("quarn-ar");  // the count keeps its first start
    free(checked_alloc(2));
    free(block);
    checked_alloc(kHuge);
  });
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(expect_oom_message(r.err, "quarn-ar", kHuge), 80u);
}

TEST(exit_program, runs_the_hook_before_exit_and_its_handlers) {
  auto hooked = testutil::run_in_child([] {
    atexit([] { write_marker("atexit\n"); });
    exit_cleanup_hook = [] { write_marker("hook\n"); };
    printf("buffered\n");  // a pipe is fully buffered: only exit's flush writes it
    exit_program(3);
  });
  EXPECT_EQ(hooked.exit_code(), 3);
  EXPECT_EQ(hooked.out, "hook\natexit\nbuffered\n");

  auto plain = testutil::run_in_child([] {
    printf("buffered\n");
    exit_program(3);
  });
  EXPECT_EQ(plain.exit_code(), 3);
  EXPECT_EQ(plain.out, "buffered\n");
}

TEST(exit_program, out_of_memory_goes_through_the_hook) {
  if (!refusals_reach_the_caller()) GTEST_SKIP() << "ASan dies on refused requests; run with ASAN_OPTIONS=allocator_may_return_null=1";
  auto r = testutil::run_in_child([] {
    exit_cleanup_hook = [] { write_marker("hook\n"); };
    checked_alloc(kHuge);
  });
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.out, "hook\n");
}

}  // namespace
