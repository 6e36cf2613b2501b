#include "system/login_failures.h"

#include <gtest/gtest.h>

#include <string>

TEST(LoginFailuresTest, DelayStartsAtTheFifthFailureAndDoublesToAnHour) {
  const struct { int failures; long delay; } cases[] = {
      {0, 0}, {4, 0}, {5, 10}, {6, 20}, {7, 40}, {13, 2560}, {14, 3600}, {1000, 3600}, {2147483647, 3600},
  };
  for (const auto& c : cases) EXPECT_EQ(c.delay, LoginDelay(c.failures)) << c.failures;
}

TEST(LoginFailuresTest, WaitCountsDownAndIsForgottenAfterADay) {
  HLoginFailures failures;
  const long long t = 1767000000;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(0, failures.AddFailure("192.0.2.1", t));
  EXPECT_EQ(10, failures.AddFailure("192.0.2.1", t));
  EXPECT_EQ(10, failures.WaitFor("192.0.2.1", t));
  EXPECT_EQ(1, failures.WaitFor("192.0.2.1", t + 9));
  EXPECT_EQ(0, failures.WaitFor("192.0.2.1", t + 10));
  EXPECT_EQ(0, failures.WaitFor("192.0.2.2", t));  // another address
  // A clock set back never makes the wait longer than the delay.
  EXPECT_EQ(10, failures.WaitFor("192.0.2.1", t - 1000));
  // A day after the last failure, the count starts again.
  EXPECT_EQ(0, failures.AddFailure("192.0.2.1", t + 24 * 60 * 60));
  // The text keeps what a later request needs, and drops what it cannot read.
  failures.AddFailure("2001:db8::1", t);
  HLoginFailures read;
  read.Parse(failures.Text() + "garbage\n192.0.2.9 x 5\n192.0.2.8 0 5\n\n");
  EXPECT_EQ(failures.Text(), read.Text());
  EXPECT_TRUE(read.Forget("2001:db8::1"));
  EXPECT_FALSE(read.Forget("2001:db8::1"));
}

TEST(LoginFailuresTest, KeepsAtMostSoManyAddresses) {
  HLoginFailures failures;
  for (size_t i = 0; i <= kMostAddresses; ++i) failures.AddFailure("10.0." + std::to_string(i), 1000 + i);
  const std::string text = failures.Text();
  EXPECT_EQ(std::string::npos, text.find("10.0.0 "));  // the oldest gave way
  EXPECT_NE(std::string::npos, text.find("10.0.1 "));
  EXPECT_NE(std::string::npos, text.find("10.0." + std::to_string(kMostAddresses) + " "));
}

TEST(LoginFailuresTest, OnlyAddressesAreKeys) {
  EXPECT_EQ("192.0.2.1", ClientAddress("192.0.2.1"));
  EXPECT_EQ("2001:db8::1", ClientAddress("2001:db8::1"));
  for (const char* bad : {static_cast<const char*>(nullptr), "", "a b", "x\n1 2", "host.example", "1.2.3.4 5 6"}) {
    EXPECT_EQ("unknown", ClientAddress(bad)) << (bad == nullptr ? "(null)" : bad);
  }
  EXPECT_EQ("unknown", ClientAddress(std::string(65, '1').c_str()));
}
