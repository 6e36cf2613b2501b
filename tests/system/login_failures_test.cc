#include "system/login_failures.h"

#include <gtest/gtest.h>

#include <string>

TEST(LoginFailuresTest, DelayStartsAtTheFifthFailureAndDoublesToAnHour) {
  const struct { int failures; long delay; } cases[] = {
      {0, 0}, {4, 0}, {5, 10}, {6, 20}, {7, 40}, {13, 2560}, {14, 3600}, {1000, 3600}, {2147483647, 3600},
  };
  for (const auto& c : cases) EXPECT_EQ(c.delay, LoginDelay(c.failures)) << c.failures;
}

// The countdown and the expiry are seen through the pages (tests/cgi); here
// what they cannot show.
TEST(LoginFailuresTest, ClockSetBackAndTheStoredText) {
  HLoginFailures failures;
  const long long t = 1767000000;
  for (int i = 0; i < 5; ++i) failures.AddFailure("192.0.2.1", t);
  // A clock set back never makes the wait longer than the delay.
  EXPECT_EQ(10, failures.WaitFor("192.0.2.1", t - 1000));
  // The text keeps what a later request needs, and drops what it cannot read.
  failures.AddFailure("2001:db8::1", t);
  HLoginFailures read;
  read.Parse(failures.Text() + "garbage\n192.0.2.9 x 5\n192.0.2.8 0 5\n\n");
  EXPECT_EQ("192.0.2.1 5 1767000000\n2001:db8::1 1 1767000000\n", read.Text());
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
