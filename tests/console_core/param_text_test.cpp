#include "console/core/param_text.h"

#include <gtest/gtest.h>

namespace tavik::console {
namespace {

TEST(ParamText, AcceptsOnlyAWholeIntWithBlanksAround) {
  struct Case {
    const char* text;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"500", 500},
      {"-5", -5},
      {"+7", std::nullopt},  // as the tool reads numbers
      {"  42\t", 42},
      {"007", 7},
      {"0", 0},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"abc", std::nullopt},
      {"500abc", std::nullopt},
      {"abc500", std::nullopt},
      {"5 00", std::nullopt},
      {"-", std::nullopt},
      {"+", std::nullopt},
      {"+-5", std::nullopt},
      {"-+5", std::nullopt},
      {"--5", std::nullopt},
      {"1e3", std::nullopt},
      {"1.5", std::nullopt},
      {"0x10", std::nullopt},
      {"５００", std::nullopt},  // full-width digits
  };
  for (const Case& c : cases) EXPECT_EQ(parse_param_value(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace tavik::console
