// The status and result records that carry a stage's failure up to the exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/status.h"

namespace kestrin::base {
namespace {

TEST(Status, SuccessHasNoMessageAndFailureKeepsItsOwn)
{
    const status done = status::success();
    EXPECT_TRUE(done.ok());
    EXPECT_EQ(done.message(), "");
    const status failed = status::failure("cannot open x.pdf");
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(static_cast<bool>(failed));
    EXPECT_EQ(failed.message(), "cannot open x.pdf");
    // An empty message still fails: the outcome is not read from the text.
    EXPECT_FALSE(status::failure("").ok());
}

TEST(Result, HoldsTheRecordOrTheFailure)
{
    const result<std::vector<int>> made = std::vector<int>{1, 2, 3};
    ASSERT_TRUE(made.ok());
    EXPECT_EQ(made->size(), 3u);
    EXPECT_EQ(made.message(), "");
    const result<std::vector<int>> refused = status::failure("page object 7 is missing");
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.message(), "page object 7 is missing");
}

}  // namespace
}  // namespace kestrin::base
