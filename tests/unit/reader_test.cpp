// The reader's internals: rewriting passes, completeness checks, token classes, float text.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "library/texts.h"
#include "reader/reader.h"
#include "heap_fixture.h"

namespace {
std::string rewritten(const std::string& text) {
  char buf[kLineStrSize];
  std::snprintf(buf, sizeof buf, "%s", text.c_str());
  if (!ctextproc::Rewrite(buf)) return "<failed>";
  return buf;
}

// Feeds text to the file reader through a temporary file; returns its answer and lineStr.
int collect(const std::string& text, std::string* got) {
  FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  lineStr[0] = 0;
  int r = ctextproc::GetOneSStream(f);
  std::fclose(f);
  *got = lineStr;
  return r;
}
}  // namespace

TEST(Rewrite, PrefixesBecomeLists) {
  EXPECT_EQ(rewritten("'(a b)"), "(QUOTE (A B))");
  EXPECT_EQ(rewritten("#'car"), "(FUNCTION CAR)");
  EXPECT_EQ(rewritten("''x"), "(QUOTE (QUOTE X))");
  EXPECT_EQ(rewritten("'#'f"), "(QUOTE (FUNCTION F))");
  EXPECT_EQ(rewritten("`(a ,b ,@c)"), "(BACKQUOTE (A , B , @ C))");
}

TEST(Rewrite, StringsAndCharactersAreLeftAlone) {
  EXPECT_EQ(rewritten("(list 'a \"x'y\")"), "(LIST (QUOTE A) \"x'y\")");
  EXPECT_EQ(rewritten("#\\' #\\a"), "#\\' #\\a");
  EXPECT_EQ(rewritten("(a\tb\nc)"), "(A B C)");
}

TEST(Rewrite, AnUnterminatedStringFailsSilently) {
  testing::internal::CaptureStdout();
  char buf[64] = "'(a \"b";
  EXPECT_EQ(ctextproc::MakeQuoteText(buf, kFormLimit), 0);  // rewritten up to the string
  EXPECT_EQ(std::strncmp(buf, "(QUOTE (a", 9), 0);
  char buf2[64] = "\"b '(a";
  EXPECT_EQ(ctextproc::MakeQuoteText(buf2, kFormLimit), 0);
  EXPECT_STREQ(buf2, "\"b '(a");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Rewrite, GrowthStopsBeforeTheLimit) {
  // A quote grows the text by 7 bytes: it fails once length + 6 reaches the limit.
  for (int len = 1; len < 30; len++) {
    std::string text = "'" + std::string(static_cast<size_t>(len - 1), 'a');
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", text.c_str());
    testing::internal::CaptureStdout();
    int ok = ctextproc::MakeQuoteText(buf, 20);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, len + 7 < 20 ? 1 : 0) << len;
    if (ok) EXPECT_EQ(std::strlen(buf), static_cast<size_t>(len + 7));
  }
}

// A start parses the library's texts as the build rewrote them: the same as rewriting now.
TEST(Rewrite, TheBuildRewroteTheLibraryAsTheReaderDoes) {
  for (int i = 0; i < kLibraryForms; i++)
    EXPECT_EQ(rewritten(ReadEvalData[i]), RewrittenTexts[i]) << i;
}

TEST(Taiou, FindsTheEndOfADatum) {
  char text[] = " ''(a (b \")\" #\\)) c) d";
  EXPECT_STREQ(ctextproc::taiou(text), " d");
  char atom[] = "abc\"x y\"z)rest";
  EXPECT_STREQ(ctextproc::taiou(atom), ")rest");
  char unbalanced[] = "(a (b";
  EXPECT_STREQ(ctextproc::taiou(unbalanced), "");
  char escaped[] = "\"a\\\\\" b";  // "a\\" b: the string ends at its second quote
  EXPECT_STREQ(ctextproc::taiou(escaped), " b");
}

TEST(CheckBrace, TerminalCompleteness) {
  EXPECT_EQ(ctextproc::CheckBrace("(a b)"), 1);
  EXPECT_EQ(ctextproc::CheckBrace("(a (b)"), 0);
  EXPECT_EQ(ctextproc::CheckBrace("abc"), 1);
  EXPECT_EQ(ctextproc::CheckBrace("  \n"), 0);
  EXPECT_EQ(ctextproc::CheckBrace("'`,@"), 0);
  EXPECT_EQ(ctextproc::CheckBrace(")"), -1);
  EXPECT_EQ(ctextproc::CheckBrace("(\"a)\""), 0);
  EXPECT_EQ(ctextproc::CheckBrace("(#\\()"), 1);
  EXPECT_EQ(ctextproc::CheckBrace("\"abc"), 0);
  EXPECT_EQ(ctextproc::CheckBrace("#\\"), 1);
  EXPECT_EQ(ctextproc::CheckBrace("(\"a\\\\\")"), 1);  // a backslash escapes one byte only
  EXPECT_EQ(ctextproc::CheckBrace("(\"a\\\")"), 0);
}

// The file reader answers incrementally; its answers must be those of a full rescan.
TEST(CheckBrace2, IncrementalMatchesRescan) {
  const char alphabet[] = "()\"\\#; ab'\n";
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; round++) {
    std::string text;
    int len = 1 + static_cast<int>(rng() % 24);
    for (int i = 0; i < len; i++) text.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    if (text.find(';') != std::string::npos) continue;  // comments are the collector's business
    std::string got;
    testing::internal::CaptureStdout();
    int r = collect(text, &got);
    testing::internal::GetCapturedStdout();
    // Whatever was collected, the rescan of each proper prefix must have answered 0.
    for (size_t k = 1; k < got.size(); k++)
      ASSERT_EQ(ctextproc::CheckBrace2(got.substr(0, k).c_str()), 0) << text << " @" << k;
    if (r == 1 && got.size() < text.size())
      ASSERT_EQ(ctextproc::CheckBrace2(got.c_str()), 1) << text;
    if (r == 0) ASSERT_EQ(ctextproc::CheckBrace2(got.c_str()), -1) << text;
  }
}

TEST(GetOneSStream, CommentsAndEndOfFile) {
  std::string got;
  EXPECT_EQ(collect("(foo ; note\nbar)", &got), 1);
  EXPECT_EQ(got, "(foo bar)");
  EXPECT_EQ(collect("(a #\\; b)", &got), 1);
  EXPECT_EQ(got, "(a #\\; b)");
  EXPECT_EQ(collect("(a b", &got), 1);
  EXPECT_EQ(collect("(a b\n", &got), 2);
  EXPECT_EQ(collect("   \n", &got), 2);
  EXPECT_EQ(collect("7 8", &got), 1);
  EXPECT_EQ(got, "7 ");
  EXPECT_EQ(collect("(\"a\\\"\" ; note\nb)", &got), 1);
  EXPECT_EQ(got, "(\"a\\\"\" b)");
  EXPECT_EQ(collect("\"a b\"c", &got), 1);  // a top-level string ends at its closing quote
  EXPECT_EQ(got, "\"a b\"");
}

TEST(AnaType, TokenClasses) {
  auto type = [](const char* t) { return ctextproc::AnaType(t, std::strlen(t)); };
  EXPECT_EQ(type("1+"), Token::Symbol);
  EXPECT_EQ(type("1-"), Token::Symbol);
  EXPECT_EQ(type("+5"), Token::Symbol);
  EXPECT_EQ(type("-"), Token::Symbol);
  EXPECT_EQ(type("."), Token::Symbol);
  EXPECT_EQ(type("1.5"), Token::Float);
  EXPECT_EQ(type(".5"), Token::Float);
  EXPECT_EQ(type("-.5"), Token::Float);
  EXPECT_EQ(type("1E3"), Token::Float);
  EXPECT_EQ(type("1E+3"), Token::Float);
  EXPECT_EQ(type("1E"), Token::Integer);
  EXPECT_EQ(type("5."), Token::Integer);
  EXPECT_EQ(type("12ABC"), Token::Integer);
  EXPECT_EQ(type("-5"), Token::Integer);
  EXPECT_EQ(type("3/4"), Token::Fraction);
  EXPECT_EQ(type("6/-4"), Token::Integer);
  EXPECT_EQ(type("\"s\""), Token::String);
  EXPECT_EQ(type("#\\a"), Token::Character);
  EXPECT_EQ(type("#\\"), Token::Symbol);
}

TEST(ParseInt32, WrapsBeyond32Bits) {
  auto p = [](const char* s) { return parseInt32(s, std::strlen(s)); };
  EXPECT_EQ(p("2147483647"), 2147483647);
  EXPECT_EQ(p("2147483648"), INT32_MIN);
  EXPECT_EQ(p("-2147483648"), INT32_MIN);
  EXPECT_EQ(p("4294967297"), 1);
  EXPECT_EQ(p("12abc"), 12);
}

TEST(FloatText, AppendsPointZeroOnlyWhenNeeded) {
  char buf[32];
  ctextproc::myftoa(buf, 2.0L);
  EXPECT_STREQ(buf, "2.0");
  ctextproc::myftoa(buf, 1.5L);
  EXPECT_STREQ(buf, "1.5");
  ctextproc::myftoa(buf, 1e20L);
  EXPECT_STREQ(buf, "1e+20");
  ctextproc::myftoa(buf, 1.0L / 3.0L);
  EXPECT_STREQ(buf, "0.333333333333333");
  ctextproc::myftoa(buf, -0.0L);
  EXPECT_STREQ(buf, "-0.0");
  ctextproc::myftoa(buf, -1.0e-300L * 1e-300L * 1e-300L * 1e-300L * 1e-300L);
  EXPECT_LT(std::strlen(buf), 30u);
}
