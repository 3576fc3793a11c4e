#include <gtest/gtest.h>

#include "argv/argv_vector.h"
#include "common/arg_vector.h"

using owned_vector = testutil::arg_vector;
using testutil::strings;
using testutil::to_strings;

TEST(argv_vector, null_vector_is_empty_and_copies_to_null) {
  EXPECT_EQ(argv_length(nullptr), 0);
  EXPECT_EQ(argv_copy(nullptr), nullptr);
  argv_release(nullptr);
}

TEST(argv_vector, copy_is_deep_and_owned) {
  for (const strings& args : {strings{}, strings{""}, strings{"prog", "a b", "", "\xff\x01"}}) {
    owned_vector original(args);
    char** copy = argv_copy(original.data());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original.data());
    EXPECT_EQ(argv_length(copy), original.size());
    EXPECT_EQ(copy[args.size()], nullptr);
    EXPECT_EQ(to_strings(copy), args);
    for (size_t i = 0; i < args.size(); ++i) EXPECT_NE(copy[i], original.data()[i]) << i;
    // Writing to the copy must not reach the original; the sanitizer build checks that
    // release frees exactly what copy allocated.
    if (!args.empty() && copy[0][0] != '\0') copy[0][0] = 'X';
    EXPECT_TRUE(original.intact(args));
    argv_release(copy);
  }
}
