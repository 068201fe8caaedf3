#include "common/comma_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velqor {
namespace {

using Items = std::vector<std::string>;

TEST(SplitCommaText, SplitsLikeTheFormLibrarysCommaText) {
  const struct {
    const char* text;
    Items expected;
  } cases[] = {
      {"11 22 33", {"11", "22", "33"}},     // a masked edit's text
      {"11  22   33", {"11", "22", "33"}},  // runs of blanks make no empty items
      {"  11 22", {"11", "22"}},            // leading blanks skipped
      {"11 22  ", {"11", "22"}},
      {"\t11\r\n22", {"11", "22"}},  // control characters separate too
      {"a,b", {"a", "b"}},
      {"a , b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},  // consecutive commas: an empty item
      {"a, ,b", {"a", "", "b"}},
      {",a", {"", "a"}},
      {"a,", {"a", ""}},  // a final comma adds one empty item...
      {"a ,", {"a", ""}},
      {"a, ", {"a"}},  // ...only when it is the last character
      {"", {}},
      {"   ", {}},
      {",", {"", ""}},
      {"\"a b,c\" d", {"a b,c", "d"}},  // a quoted item holds separators
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"\"", {""}},
      {"\"\",a", {"", "a"}},
      {"\"ab\"cd", {"ab", "cd"}},                  // text after the closing quote starts a new item
      {"\"open to the end", {"open to the end"}},  // no closing quote: kept, not cut
      {"x\"y", {"x\"y"}},  // a quote inside an item is an ordinary character
  };
  for (const auto& c : cases) EXPECT_EQ(splitCommaText(c.text), c.expected) << c.text;
  EXPECT_EQ(splitCommaText(std::string_view("1\0"
                                            "2",
                                            3)),
            (Items{"1", "2"}));  // NUL separates
}

}  // namespace
}  // namespace velqor
