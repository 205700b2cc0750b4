#include "text/json.h"

#include <gtest/gtest.h>

namespace {

// A package's or a drive's text is bytes of the system's code page: every
// byte must come back to a reader, and the document must stay UTF-8.
TEST(JsonString, EscapesWhatJsonAndUtf8Need) {
  struct Case {
    const char* name;
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"plain", "QUARVEL QRW-20410C", "\"QUARVEL QRW-20410C\""},
      {"quote and backslash", "say \"a\\b\"", "\"say \\\"a\\\\b\\\"\""},
      {"line feed", "two\nlines", "\"two\\nlines\""},
      {"control bytes", std::string("\x01\t\x1F\x7F", 4), "\"\\u0001\\u0009\\u001F\\u007F\""},
      {"a NUL byte", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"bytes above 0x7F, as U+0080 to U+00FF", "\x80\xE9\xFF", "\"\xC2\x80\xC3\xA9\xC3\xBF\""},
      {"empty", "", "\"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(text::JsonString(c.text), c.json) << c.name;
}

TEST(Json, DocumentKeepsTheOrderMembersWereSetIn) {
  text::Json drive = text::Json::Object();
  drive.Set("device", "/dev/sg1").Set("accepted", true).Set("whyNot", text::Json());
  text::Json drives = text::Json::Array();
  drives.Add(std::move(drive)).Add(text::Json::Object());
  text::Json document = text::Json::Object();
  document.Set("status", 3).Set("drives", std::move(drives)).Set("empty", text::Json::Array());
  document.Set("status", -1);  // set again: replaced where it stood
  document.Set("offset", 4294967296LL);
  EXPECT_EQ(document.Document(),
            "{\n"
            "  \"status\": -1,\n"
            "  \"drives\": [\n"
            "    {\n"
            "      \"device\": \"/dev/sg1\",\n"
            "      \"accepted\": true,\n"
            "      \"whyNot\": null\n"
            "    },\n"
            "    {}\n"
            "  ],\n"
            "  \"empty\": [],\n"
            "  \"offset\": 4294967296\n"
            "}\n");
}

}  // namespace
