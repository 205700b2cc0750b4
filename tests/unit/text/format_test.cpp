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

// Everything the formatter would get wrong is refused, whatever the
// arguments: the result says so instead of showing wrong numbers.
struct Refusal {
  const char* format;
  text::FormatProblem problem;
  const char* why;
};

TEST(Format, RefusesWhatItWouldGetWrong) {
  using P = text::FormatProblem;
  const char* const conversion = "a conversion other than %d %i %u %X %c %s %%";
  const char* const size = "a size (h, l, ll, j, z, t, L): pass an int or unsigned";
  const char* const flag = "a flag other than '-' and '0'";
  const char* const notTaken = "'0' or a precision with %c, '0' with %s, or anything between % and %";
  const Refusal cases[] = {
      {"%x", P::Conversion, conversion},
      {"at %p", P::Conversion, conversion},
      {"%f", P::Conversion, conversion},
      {"%-8.2f", P::Conversion, conversion},
      {"%e", P::Conversion, conversion},
      {"%n", P::Conversion, conversion},
      {"%d then %o", P::Conversion, conversion},
      {"%ld", P::Size, size},
      {"%lld", P::Size, size},
      {"%zu", P::Size, size},
      {"%02hhX", P::Size, size},
      {"%+d", P::Flag, flag},
      {"% d", P::Flag, flag},
      {"%#X", P::Flag, flag},
      {"%05s", P::FlagNotTaken, notTaken},
      {"%.2c", P::FlagNotTaken, notTaken},
      {"%5%", P::FlagNotTaken, notTaken},
      {"50%", P::LonePercent, "a '%' at the end (%% is a percent sign)"},
  };
  for (const Refusal& c : cases) {
    EXPECT_EQ(text::FormatProblemOf(c.format), c.problem) << c.format;
    EXPECT_EQ(text::Format(c.format, 1L, 2L, 3L),
              std::string("text::Format refused \"") + c.format + "\": " + c.why);
  }
}

TEST(Format, AcceptsWhatItFormats) {
  for (const char* format : {"%-*d %.*s %0*X %-3c %i %4.4s %u %05d%%", "%d%%", "plain", ""})
    EXPECT_EQ(text::FormatProblemOf(format), text::FormatProblem::None) << format;
  static_assert(text::FormatProblemOf("%-*d %.*s %0*X %-3c %i %4.4s %u %05d%%") ==
                text::FormatProblem::None);
  static_assert(text::FormatProblemOf("%ld") == text::FormatProblem::Size);
}

}  // namespace
