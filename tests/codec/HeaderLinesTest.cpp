// Reading and changing single header lines, and cutting texts into lines.
#include <gtest/gtest.h>

#include "mail/codec/HeaderLines.h"

using namespace MailVrex;

namespace {

struct LineCase {
  const char* line;
  const char* expected;
};

TEST(IndexOfHeaderLine, FindsTheNthLineByPrefixIgnoringCase) {
  std::vector<std::string> lines = {"From: a", "To: b", "Subject: s", "TO: c"};
  EXPECT_EQ(IndexOfHeaderLine(&lines, "to:", 0), 1);
  EXPECT_EQ(IndexOfHeaderLine(&lines, "to:", 1), 3);
  EXPECT_EQ(IndexOfHeaderLine(&lines, "to:", 2), -1);
  EXPECT_EQ(IndexOfHeaderLine(&lines, "Cc:", 0), -1);
  EXPECT_EQ(IndexOfHeaderLine(&lines, "", 2), 2);
  EXPECT_EQ(IndexOfHeaderLine(&lines, "Subject: s and more", 0), -1);
  EXPECT_EQ(IndexOfHeaderLine(nullptr, "To:", 0), -1);
}

TEST(FieldValueOfLine, TakesTheValuePartTrimmedAndUnquoted) {
  const LineCase cases[] = {
      {"Subject: Re: hi", "Re: hi"},
      {"Content-Type: \"text/plain\"; charset=gb2312", "text/plain"},
      {"No colon here", ""},
      {"X-Quoted: \"a;b\" ; c", "a;b"},
      {"X-Inner: \"a\" b \"c\"", "a\" b \"c"},
      {"\"Odd:name\": value", "value"},
      {"X-Empty:", ""},
      {"X-Lone: \"", "\""},
      {"X-Open: \"never closed; still value", "\"never closed; still value"},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldValueOfLine(c.line), c.expected) << c.line;
}

TEST(ReplaceFieldValueInLine, KeepsNameAndParameters) {
  EXPECT_EQ(ReplaceFieldValueInLine("Content-Type: text/plain; charset=gb2312", " text/html "),
            "Content-Type: text/html; charset=gb2312");
  EXPECT_EQ(ReplaceFieldValueInLine("Subject:old", "new"), "Subject: new");
  EXPECT_EQ(ReplaceFieldValueInLine("no colon", "x"), "no colon");
  EXPECT_EQ(ReplaceFieldValueInLine("X: \"a;b\"; p=1", "c"), "X: c; p=1");
}

TEST(ParamValueOfLine, FindsParametersByNameIgnoringCase) {
  struct Case {
    const char* line;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"Content-Type: multipart/mixed; boundary=\"ab;c\"", "BOUNDARY", "ab;c"},
      {"Content-Type: text/plain; charset=gb2312", "charset", "gb2312"},
      {"Content-Type: text/plain; charset=gb2312", "name", ""},
      {"Content-Type: text/plain; Name = \" a.txt \" ; x=1", " name ", " a.txt "},
      {"X: v; a=b=c", "a", "b"},                    // an unquoted "=" cuts the value
      {"X: v; a=1; a=2", "a", "12"},                // a repeated parameter runs together
      {"X: v; a=\"open; b=2", "a", "\"open; b=2"},  // a quote that never closes
      {"X: charset=no; y=1", "charset", ""},        // the value part holds no parameters
      {"X; a=1; b=2", "b", "2"},
      // A quoted-pair does not end the quoted string, and is resolved.
      {"X: v; name=\"a\\\"; filename=\\\"b\"; c=1", "name", "a\"; filename=\"b"},
      {"X: v; name=\"a\\\"; filename=\\\"b\"; c=1", "filename", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParamValueOfLine(c.line, c.name), c.expected) << c.line << " / " << c.name;
  }
}

TEST(ReplaceParamValueInLine, AppendsOrReplacesInPlace) {
  std::string line = ReplaceParamValueInLine("Content-Type: text/plain", "charset", "gb2312");
  EXPECT_EQ(line, "Content-Type: text/plain; charset=gb2312");
  line = ReplaceParamValueInLine(line, "CHARSET", " utf-8 ");
  EXPECT_EQ(line, "Content-Type: text/plain; charset=utf-8");
  EXPECT_EQ(ReplaceParamValueInLine("X: v; a=\"x;y\"; b=2", "a", "\"z\""), "X: v; a=\"z\"; b=2");
  EXPECT_EQ(ReplaceParamValueInLine("X: v; a=1;", "a", "2"), "X: v; a=2;");
  EXPECT_EQ(ReplaceParamValueInLine("  X: v  ", " b ", " 3 "), "X: v; b=3");
  EXPECT_EQ(ReplaceParamValueInLine("X: v; a=\"open", "a", "1"), "X: v; a=1");
  EXPECT_EQ(ReplaceParamValueInLine("X: v; a=\"x\\\";y\"; b=2", "a", "1"), "X: v; a=1; b=2");
}

TEST(TakeNextLine, CutsAtCrLfAndKeepsIt) {
  std::string text = "one\r\ntwo\nstill two\r\nlast";
  std::ptrdiff_t position = 1;
  EXPECT_EQ(TakeNextLine(text, position), "one\r\n");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(TakeNextLine(text, position), "two\nstill two\r\n");
  EXPECT_EQ(TakeNextLine(text, position), "last");
  EXPECT_EQ(position, -1);
}

TEST(TakeNextLine, EndsWithMinusOneWhenTheLastLineEndsTheText) {
  std::ptrdiff_t position = 1;
  EXPECT_EQ(TakeNextLine("a\r\n", position), "a\r\n");
  EXPECT_EQ(position, -1);
}

TEST(TakeNextLine, GivesAnEmptyLineForPositionsOutsideTheText) {
  for (std::ptrdiff_t start :
       {std::ptrdiff_t{4}, std::ptrdiff_t{100}, std::ptrdiff_t{0}, std::ptrdiff_t{-1}}) {
    std::ptrdiff_t position = start;
    EXPECT_EQ(TakeNextLine("abc", position), "") << start;
    EXPECT_EQ(position, -1);
  }
  std::ptrdiff_t position = 1;
  EXPECT_EQ(TakeNextLine("", position), "");
  EXPECT_EQ(position, -1);
}

TEST(TakeNextLine, NeedsTheCrOfALineEndInsideTheLine) {
  std::string text = "a\r\r\nb";
  std::ptrdiff_t position = 3;  // starts at the second CR
  EXPECT_EQ(TakeNextLine(text, position), "\r\n");
  position = 4;  // starts at the LF
  EXPECT_EQ(TakeNextLine(text, position), "\nb");
}

TEST(NextLineView, AgreesWithTakeNextLine) {
  std::string text = "\r\n\r\nx\ry\n\r\n\rz\r";
  std::ptrdiff_t a = 1, b = 1;
  while (a > 0) {
    EXPECT_EQ(std::string(NextLineView(text, a)), TakeNextLine(text, b));
    EXPECT_EQ(a, b);
  }
}

}  // namespace
