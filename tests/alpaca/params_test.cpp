// The Alpaca request parameters: the two name rules, form decoding, the UTF-8
// check that keeps malformed text out, and replies that quote such text.
#include "alpaca/params.h"

#include <gtest/gtest.h>

#include <string>

#include "alpaca/alpaca_errors.h"
#include "alpaca/json_text.h"
#include "alpaca/options.h"
#include "alpaca/server_config.h"

namespace sidera::alpaca {
namespace {

TEST(AlpacaParams, QueryNamesInAnyCaseBodyNamesExactly) {
  const Params query = Params::FromQuery("aXiS=1&clienttransactionid=7");
  EXPECT_EQ(query.Integer("Axis"), 1);
  EXPECT_EQ(query.ClientNumber("ClientTransactionID"), 7u);
  const Params body = Params::FromBody("tRACKING=False&ClientTransactionID=8");
  EXPECT_FALSE(body.Has("Tracking"));
  EXPECT_THROW(body.Bool("Tracking"), BadRequest);
  EXPECT_EQ(body.ClientNumber("ClientTransactionID"), 8u);
  EXPECT_TRUE(Params::FromBody("Tracking=False").Has("Tracking"));
}

TEST(AlpacaParams, FormDecoding) {
  struct Case {
    const char* text;
    std::string decoded;
  };
  const Case cases[] = {{"a+b%20c", "a b c"},
                        {"%41%6a", "Aj"},
                        {"%zz", "%zz"},
                        {"%4", "%4"},
                        {"50%", "50%"},
                        {"%E2%82%AC", "\xE2\x82\xAC"},
                        {"%00x", std::string("\0x", 2)}};
  for (const Case& c : cases) EXPECT_EQ(FormDecode(c.text), c.decoded) << c.text;
  const Params p = Params::FromQuery("a=1&&b&=3&c=x=y");
  EXPECT_EQ(p.Text("a"), "1");
  EXPECT_EQ(p.Text("b"), "");
  EXPECT_EQ(p.Text("c"), "x=y");
}

TEST(AlpacaParams, Utf8Check) {
  const char* valid[] = {"",
                         "abc",
                         "\xC3\xA9",
                         "\xE2\x82\xAC",
                         "\xF0\x9F\x98\x80",
                         "\xF4\x8F\xBF\xBF",
                         "\xEF\xBF\xBD"};
  for (const char* text : valid) EXPECT_TRUE(IsValidUtf8(text)) << text;
  const char* invalid[] = {"\xFF",         "\xFE\xFF",         "\xC0\x80",         "\xC1\xBF",
                           "\xE0\x80\x80", "\xED\xA0\x80",     "\xF4\x90\x80\x80", "\xC3",
                           "a\x80",        "\xF5\x80\x80\x80", "\xE2\x82",         "\xE2\x28\xA1"};
  for (const char* text : invalid) EXPECT_FALSE(IsValidUtf8(text)) << text;
}

TEST(AlpacaParams, InvalidUtf8IsAMalformedRequest) {
  for (const char* text : {"UTCDate=%FF%FE", "x%C0%80=1", "Axis=0&a=%ED%A0%80", "d=%E2%82"}) {
    EXPECT_THROW(Params::FromBody(text), BadRequest) << text;
    EXPECT_THROW(Params::FromQuery(text), BadRequest) << text;
  }
}

TEST(AlpacaParams, RepliesQuotingInvalidTextStillDump) {
  const nlohmann::json answer = {{"ErrorMessage", "UTCDate \"\xFF\xFE\" is not a date"}};
  std::string text;
  ASSERT_NO_THROW(text = JsonText(answer));
  EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);  // U+FFFD in its place
}

// Writing the file whole is the host's (host_kit_tests); this is its JSON.
TEST(AlpacaConfig, SettingsGoBothWays) {
  ServerConfig config;
  config.device = "/dev/ttyUSB0";
  std::string error;
  const std::string path = ::testing::TempDir() + "/alpaca_params_test.json";
  config.site = SiteSetting{34.2, -118.06, 1742};
  ASSERT_TRUE(SaveConfig(path, config, &error)) << error;
  ServerConfig read;
  ASSERT_TRUE(LoadConfig(path, &read, &error)) << error;
  EXPECT_EQ(read.device, config.device);
  ASSERT_TRUE(read.site.has_value());
  EXPECT_EQ(read.site->elevation, 1742);
}

TEST(AlpacaOptions, ClientTimeout) {
  struct Case {
    const char* value;
    int seconds;  // 0: refused
  };
  for (const Case& c : {Case{"1", 1}, Case{"86400", 86400}, Case{"0", 0}, Case{"86401", 0},
                        Case{"2s", 0}, Case{"-5", 0}}) {
    Options options;
    std::string error;
    const bool ok = ParseOptions({"--client-timeout", c.value}, &options, &error);
    EXPECT_EQ(ok, c.seconds != 0) << c.value;
    if (ok) {
      EXPECT_EQ(options.clientTimeoutSeconds, c.seconds);
    }
  }
  EXPECT_EQ(Options{}.clientTimeoutSeconds, 120);
}

}  // namespace
}  // namespace sidera::alpaca
