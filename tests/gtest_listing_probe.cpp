// A GoogleTest program whose suites the runner's test reads and runs through
// CTest (gtest_suite_test.sh): cases that run, a disabled case beside them, a
// disabled suite, and a parameterised suite instantiated twice, once
// disabled. Its cases test nothing but the runner.
#include <gtest/gtest.h>

TEST(Alpha, Runs)
{
    SUCCEED();
}
TEST(Alpha, DISABLED_IsCountedApart)
{
    FAIL() << "a disabled case ran";
}
TEST(DISABLED_Beta, IsCountedApart)
{
    FAIL() << "a case of a disabled suite ran";
}

class Gamma : public ::testing::TestWithParam<int> {};
TEST_P(Gamma, Runs)
{
    SUCCEED();
}
INSTANTIATE_TEST_SUITE_P(On, Gamma, ::testing::Values(1, 2));
INSTANTIATE_TEST_SUITE_P(DISABLED_Off, Gamma, ::testing::Values(3));
