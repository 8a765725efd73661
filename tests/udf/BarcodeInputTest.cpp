// The input side of UDF_Get_Barcode: field splitting, integer conversion,
// the order and texts of its failures, and the host buffer.
#include "uBarcodeInput.h"
#include "uCode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

TEST(SplitFields, SeparatesByCommasBlanksAndControlCharacters) {
  struct Case {
    const char* Input;
    Strings Expected;
  } cases[] = {
      {"", {}},
      {"   \t\r\n", {}},
      {"1,2,3", {"1", "2", "3"}},
      {"1 2\t3", {"1", "2", "3"}},
      {"  1 , 2 ,3  ", {"1", "2", "3"}},
      {"1,\x01\x1f 2", {"1", "2"}},
      {"1,,2", {"1", "", "2"}},
      {",1", {"", "1"}},
      {"1, ,2", {"1", "", "2"}},          // blanks after a comma are skipped
      {"1,", {"1", ""}},                  // a final comma adds an empty field
      {"1, ", {"1"}},                     // ... only when it is the very last character
      {"1,,", {"1", "", ""}},
      {",", {"", ""}},
      {"\"a b,c\",2", {"a b,c", "2"}},
      {"\"say \"\"hi\"\"\" x", {"say \"hi\"", "x"}},
      {"\"\",1", {"", "1"}},
      {"\"\"\"\"", {"\""}},
      {"\"12\"3", {"12", "3"}},          // a quoted field ends at its quote
      {"\"12", {"12"}},                  // an unclosed quote runs to the end
      {"\"1\"\"", {"1\""}},
      {"1\"2\"", {"1\"2\""}},            // a quote inside a field is a character
      {"a\xC0\xFF,b", {"a\xC0\xFF", "b"}}, // bytes above 127 are no separators
      {"\xA0" "1", {"\xA0" "1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitFields(c.Input), c.Expected) << c.Input;
  EXPECT_EQ(SplitFields(nullptr), Strings{});
}

TEST(SplitFields, StopsAfterTheFieldsAskedFor) {
  EXPECT_EQ(SplitFields("1,2,3,4", 2), (Strings{"1", "2"}));
  EXPECT_EQ(SplitFields("1,2,\"never closed", 2), (Strings{"1", "2"}));
  EXPECT_EQ(SplitFields("1,", 1), Strings{"1"});
}

TEST(ParseInt32, AcceptsDecimalAndHexadecimalWithinSigned32Bits) {
  struct Case {
    const char* Text;
    std::optional<std::int32_t> Expected;
  } cases[] = {
      {"0", 0},           {"15", 15},        {"+15", 15},        {"-15", -15},
      {"007", 7},         {"  42", 42},      {"$0F", 15},        {"$ff", 255},
      {"x1A", 26},        {"X1a", 26},       {"0x10", 16},       {"0X10", 16},
      {"-$10", -16},      {"+0x7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},            {"-2147483648", INT32_MIN},
      {"-0x80000000", INT32_MIN},            {"00000000000000000000001", 1},
      {"2147483648", std::nullopt},          {"-2147483649", std::nullopt},
      {"4294967296", std::nullopt},          {"99999999999999999999", std::nullopt},
      {"$80000000", std::nullopt},           {"$FFFFFFFF", std::nullopt},
      {"", std::nullopt},  {" ", std::nullopt},  {"+", std::nullopt},   {"-", std::nullopt},
      {"$", std::nullopt}, {"0x", std::nullopt}, {"x", std::nullopt},   {"--1", std::nullopt},
      {"12a", std::nullopt},  {"15 ", std::nullopt}, {"1.0", std::nullopt},
      {"$0G", std::nullopt},  {"0b1", std::nullopt}, {"00x5", std::nullopt},
      {"\t5", std::nullopt},  {"1e3", std::nullopt}, {"- 1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInt32(c.Text), c.Expected) << "[" << c.Text << "]";
}

namespace {

// The barcode of Input, or the message it failed with.
std::string BarcodeOrMessage(const char* Input) {
  try {
    return GetBarcode(Input);
  } catch (const EBarcodeError& e) {
    return e.what();
  }
}

const char Worked[] = "_1000009B71IP4?0D4";

} // namespace

TEST(GetBarcode, SplitsConvertsAndEncodesTheEighteenFields) {
  struct Case {
    const char* Input;
    const char* Expected;
  } cases[] = {
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", Worked},
      {"15 3 200 0 2 0 0 1 2 0 123456 5 0 0 0 7 9 1", Worked},
      {"15, 3, 200, 0, 2, 0, 0, 1, 2, 0, 123456, 5, 0, 0, 0, 7, 9, 1", Worked},
      {"  15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1\r\n", Worked},
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,", Worked},
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,junk,\"open", Worked},
      {"$0F,3,$C8,0,2,0,0,1,2,0,0x1E240,5,0,0,0,7,9,+1", Worked},
      {"\"15\",\" 3\",200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", Worked},
      // Fields outside the layout still have to be integers, not to fit.
      {"15,3,200,-5,2,2147483647,0,1,2,0,123456,5,0,0,0,7,9,1", Worked},
      {"7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1", "W18a3051"},
      // Empty input and too few fields: the first missing position.
      {"", "List index out of bounds (0)"},
      {"   ", "List index out of bounds (0)"},
      {"15", "List index out of bounds (1)"},
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9", "List index out of bounds (17)"},
      // Not an integer: the field's own text; fields are looked at in order.
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,,1", "'' is not a valid integer value"},
      {"15,,", "'' is not a valid integer value"},
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,", "'' is not a valid integer value"},
      {"15,3,20O,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", "'20O' is not a valid integer value"},
      {"15,3,200abc", "'200abc' is not a valid integer value"},
      {"15,3,200,0,2,0,0,1,2,0,2147483648,5,0,0,0,7,9,1",
       "'2147483648' is not a valid integer value"},
      {"15,3,200,0,2,0,0,1,2,0,-2147483649,5,0,0,0,7,9,1",
       "'-2147483649' is not a valid integer value"},
      {"\"1,5\",3", "'1,5' is not a valid integer value"},
      {"15\xC0,3", "'15\xC0' is not a valid integer value"},
      // Converted but too wide: the encoder's message.
      {"15,3,256,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", "Длина параметра ID > 8!"},
      {"15,3,200,0,2,0,0,1,2,0,134217728,5,0,0,0,7,9,1", "Длина параметра номер ворот> 27!"},
      {"32,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", "Длина параметра вид ШК > 5!"},
      {"15,3,200,0,2,0,0,1,2,0,-1,5,0,0,0,7,9,1", "Длина параметра номер ворот> 27!"},
  };
  for (const Case& c : cases) EXPECT_EQ(BarcodeOrMessage(c.Input), c.Expected) << c.Input;
  EXPECT_EQ(BarcodeOrMessage(nullptr), "List index out of bounds (0)");
}

TEST(GetBarcode, IgnoresAnArbitrarilyLongTail) {
  std::string input = "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,";
  input.append(8 << 20, 'x');
  EXPECT_EQ(GetBarcode(input.c_str()), Worked);
  std::string longField(8 << 20, '9');
  EXPECT_EQ(BarcodeOrMessage(longField.c_str()), "'" + longField + "' is not a valid integer value");
}

namespace {

std::vector<long> Requests;
void* RecordingAlloc(long Size) {
  Requests.push_back(Size);
  return std::malloc(static_cast<size_t>(Size));
}
void* FailingAlloc(long Size) {
  Requests.push_back(Size);
  return nullptr;
}

} // namespace

TEST(GetBarcodeBuffer, AllocatesExactlyTheTextAndItsNulFromTheHost) {
  struct Case {
    const char *Input, *Expected;
  } cases[] = {
      {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", Worked},
      {"7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1", "W18a3051"},
  };
  for (const Case& c : cases) {
    Requests.clear();
    char* buffer = GetBarcodeBuffer(c.Input, RecordingAlloc);
    ASSERT_NE(buffer, nullptr);
    EXPECT_STREQ(buffer, c.Expected);
    EXPECT_EQ(Requests, std::vector<long>{static_cast<long>(std::string(c.Expected).size() + 1)});
    std::free(buffer);
  }
}

TEST(GetBarcodeBuffer, AllocatesNothingForABadInputAndFailsWhenTheHostHasNoMemory) {
  Requests.clear();
  EXPECT_THROW(GetBarcodeBuffer("15,3", RecordingAlloc), EBarcodeError);
  EXPECT_TRUE(Requests.empty());
  EXPECT_THROW(GetBarcodeBuffer("15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", FailingAlloc),
               std::bad_alloc);
  EXPECT_EQ(Requests.size(), 1u);
}
