// BarcodeInputCases - inputs of UDF_Get_Barcode with their barcode or the message of their
// failure: the table of the input tests, and the inputs the encoder's
// benchmark runs on.
#pragma once

#include <string_view>

struct TBarcodeInputCase {
  const char* Input;
  const char* Expected; // the barcode, or the message

  // A barcode has no blanks; every message has.
  bool Succeeds() const { return std::string_view(Expected).find(' ') == std::string_view::npos; }
};

inline constexpr char WorkedBarcode[] = "_1000009B71IP4?0D4";

inline constexpr TBarcodeInputCase BarcodeInputCases[] = {
    {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", WorkedBarcode},
    {"15 3 200 0 2 0 0 1 2 0 123456 5 0 0 0 7 9 1", WorkedBarcode},
    {"15, 3, 200, 0, 2, 0, 0, 1, 2, 0, 123456, 5, 0, 0, 0, 7, 9, 1", WorkedBarcode},
    {"  15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1\r\n", WorkedBarcode},
    {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,", WorkedBarcode},
    {"15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1,junk,\"open", WorkedBarcode},
    {"$0F,3,$C8,0,2,0,0,1,2,0,0x1E240,5,0,0,0,7,9,+1", WorkedBarcode},
    {"\"15\",\" 3\",200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", WorkedBarcode},
    // Fields outside the layout still have to be integers, not to fit.
    {"15,3,200,-5,2,2147483647,0,1,2,0,123456,5,0,0,0,7,9,1", WorkedBarcode},
    {"7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1", "W18a3051"},
    {"14,9,77,1,5,19,3,6,10,4,98765432,42,0,0,0,0,0,11", "^40000ZfVEX9lDHlZ^"},
    {"14,9,77,2,5,0,0,0,0,0,98765432,42,13,6,9,0,0,11", "^400000YeUX9lDHlZ^"},
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
    {"15,3,200,0,2,0,0,1,2,0,2147483648,5,0,0,0,7,9,1", "'2147483648' is not a valid integer value"},
    {"15,3,200,0,2,0,0,1,2,0,-2147483649,5,0,0,0,7,9,1", "'-2147483649' is not a valid integer value"},
    {"\"1,5\",3", "'1,5' is not a valid integer value"},
    {"\"1\"\"5\",3", "'1\"5' is not a valid integer value"},
    {"15\xC0,3", "'15\xC0' is not a valid integer value"},
    // Converted but too wide: the encoder's message.
    {"15,3,256,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", "Длина параметра ID > 8!"},
    {"15,3,200,0,2,0,0,1,2,0,134217728,5,0,0,0,7,9,1", "Длина параметра номер ворот> 27!"},
    {"32,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1", "Длина параметра вид ШК > 5!"},
    {"15,3,200,0,2,0,0,1,2,0,-1,5,0,0,0,7,9,1", "Длина параметра номер ворот> 27!"},
};
