#include "text/format.h"

#include <gtest/gtest.h>

namespace {

// The program's own formats, written out, with what the C library makes of
// them.
TEST(Format, TheProgramsTexts) {
  EXPECT_EQ(text::Format("> Status: %02X, SenseCode: %02X %02X %02X", 2u, 5u, 0x24u, 0u),
            "> Status: 02, SenseCode: 05 24 00");
  EXPECT_EQ(text::Format(" (system error %u)", 4294967295u), " (system error 4294967295)");
  EXPECT_EQ(text::Format("Error reading inquiry data information; error was %d", -5),
            "Error reading inquiry data information; error was -5");
  EXPECT_EQ(text::Format("%d-%d-%d %c: %28.28s", 1, 0, 0, 'E', "QUARVEL QRW-20410C      1.00"),
            "1-0-0 E: QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(text::Format("HA#%d - ID#%d :  %28.28s", 0, 6, "SHORT"),
            "HA#0 - ID#6 :  " "                       SHORT");  // 23 blanks fill 28
  EXPECT_EQ(text::Format("%5.5s%02d", "MODEL", 7), "MODEL07");
  EXPECT_EQ(text::Format("%5.5s%02d", "MODEL", 100), "MODEL100");
  EXPECT_EQ(text::Format("Command Error: %02X", 0xABCu), "Command Error: ABC");
}

// Precision cuts a text that has no NUL within it; width fills it.
TEST(Format, TextPrecisionReadsNoFurther) {
  const char field[4] = {'1', '.', '1', '0'};  // no NUL
  EXPECT_EQ(text::Format("%4.4s", field), "1.10");
  EXPECT_EQ(text::Format("[%-6s]", "ab"), "[ab    ]");
  EXPECT_EQ(text::Format("[%6s]", "ab"), "[    ab]");
  EXPECT_EQ(text::Format("[%.1s]", "ab"), "[a]");
  EXPECT_EQ(text::Format("[%24.24s]", "QUARVEL QRW-20410C"), "[      QUARVEL QRW-20410C]");
}

TEST(Format, Numbers) {
  EXPECT_EQ(text::Format("%d|%i|%u", 0, -2147483647 - 1, 0u), "0|-2147483648|0");
  EXPECT_EQ(text::Format("[%05d]", -42), "[-0042]");
  EXPECT_EQ(text::Format("[%-5d]", 42), "[42   ]");
  EXPECT_EQ(text::Format("[%0*X]", 8, 0xBEEFu), "[0000BEEF]");
  EXPECT_EQ(text::Format("[%.3d]", 7), "[007]");
  EXPECT_EQ(text::Format("[%3c]", 'x'), "[  x]");
  EXPECT_EQ(text::Format("100%%"), "100%");
}

}  // namespace
