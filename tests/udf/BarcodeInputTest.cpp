// BarcodeInputTest - the input side of UDF_Get_Barcode: field splitting, integer conversion,
// the order and texts of its failures, and the host buffer.
#include "uBarcodeInput.h"
#include "uCode.h"

#include "BarcodeInputCases.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using Strings = std::vector<std::string>;

namespace {

// The texts of the first MaxFields fields of Input, as the cursor gives them.
Strings SplitFields(const char* Input, std::size_t MaxFields = SIZE_MAX) {
  Strings fields;
  TFieldCursor cursor(Input);
  while (fields.size() < MaxFields && cursor.Next()) fields.push_back(cursor.Text());
  return fields;
}

} // namespace

TEST(FieldCursor, SeparatesByCommasBlanksAndControlCharacters) {
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

TEST(FieldCursor, StopsAfterTheFieldsAskedFor) {
  EXPECT_EQ(SplitFields("1,2,3,4", 2), (Strings{"1", "2"}));
  EXPECT_EQ(SplitFields("1,2,\"never closed", 2), (Strings{"1", "2"}));
  EXPECT_EQ(SplitFields("1,", 1), Strings{"1"});
}

namespace {

struct IntegerCase {
  const char* Text;
  std::optional<std::int32_t> Expected;
};

const IntegerCase IntegerCases[] = {
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
      {"4294967311", std::nullopt},          {"21474836470", std::nullopt},
};

} // namespace

TEST(ParseInt32, AcceptsDecimalAndHexadecimalWithinSigned32Bits) {
  for (const IntegerCase& c : IntegerCases) EXPECT_EQ(ParseInt32(c.Text), c.Expected) << "[" << c.Text << "]";
}

// The cursor converts plain decimal fields while it scans them and hands
// every other field to ParseInt32: both ways give ParseInt32's result, as a
// field of its own, as one in quotes, and between other fields.
TEST(FieldCursor, ValueIsThatOfParseInt32) {
  for (const IntegerCase& c : IntegerCases) {
    const std::string text = c.Text;
    // Inputs with the field first, or second behind "1".
    std::vector<std::pair<std::string, bool>> inputs = {{"\"" + text + "\"", false},
                                                        {"1,\"" + text + "\",2", true}};
    const bool plain = !text.empty() && text.find_first_of(" \t,\"") == std::string::npos;
    if (plain)
      inputs.insert(inputs.end(), {{text, false}, {"1," + text + ",2", true},
                                   {"1 " + text + "\t2", true}, {text + ",", false}});
    for (const auto& [input, second] : inputs) {
      TFieldCursor cursor(input.c_str());
      ASSERT_TRUE(cursor.Next()) << input;
      if (second) {
        ASSERT_TRUE(cursor.Next()) << input;
      }
      EXPECT_EQ(cursor.Value(), c.Expected) << "[" << input << "]";
      EXPECT_EQ(cursor.Text(), text) << "[" << input << "]";
    }
  }
}

// Each integer case as one of the eighteen fields of an input, in the first,
// a middle and the last position, between commas, blanks or both, and in
// quotes: ReadFields gives ParseInt32's value there, or names the field.
TEST(ReadFields, ConvertsEveryFieldAsParseInt32Does) {
  for (const IntegerCase& c : IntegerCases) {
    const std::string text = c.Text;
    const bool plain = !text.empty() && text.find_first_of(" \t,\"") == std::string::npos;
    for (const std::string& form : {plain ? text : std::string(), "\"" + text + "\""}) {
      if (form.empty()) continue;
      for (const char* separator : {",", " ", ", "}) {
        for (std::size_t position : {0, 10, 17}) {
          std::string input;
          for (std::size_t n = 0; n < BarcodeFieldCount; ++n) {
            if (n > 0) input += separator;
            input += n == position ? form : std::to_string(n);
          }
          std::int32_t values[BarcodeFieldCount];
          std::string got;
          try {
            ReadFields(input.c_str(), values);
            got = std::to_string(values[position]);
            for (std::size_t n = 0; n < BarcodeFieldCount; ++n)
              if (n != position && values[n] != static_cast<std::int32_t>(n)) {
                got += ", wrong field ";
                got += std::to_string(n);
              }
          } catch (const EBarcodeError& e) {
            got = e.what();
          }
          const std::string expected =
              c.Expected ? std::to_string(*c.Expected) : "'" + text + "' is not a valid integer value";
          EXPECT_EQ(got, expected) << "[" << input << "]";
        }
      }
    }
  }
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

const char* const Worked = WorkedBarcode;

} // namespace

TEST(GetBarcode, SplitsConvertsAndEncodesTheEighteenFields) {
  for (const TBarcodeInputCase& c : BarcodeInputCases)
    EXPECT_EQ(BarcodeOrMessage(c.Input), c.Expected) << c.Input;
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
