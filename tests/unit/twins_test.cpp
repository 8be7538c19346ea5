// The twins' reach, worked out from the library's definitions once they are loaded.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/twins.h"
#include "heap_fixture.h"

namespace {
clisp& withLibrary() {
  static bool loaded = testLisp().ReadEvalLoop() != 0;
  EXPECT_TRUE(loaded);
  return testLisp();
}

bool reaches(const char* twin, const char* name) {
  clisp& m = withLibrary();
  std::vector<_cell*> reach = twinReach(m.CheckStringCell(twin));
  return std::find(reach.begin(), reach.end(), m.CheckStringCell(name)) != reach.end();
}
}  // namespace

// NTH's text is a LOOP, whose expansion is built by APPEND1 and leaves by RETURN.
TEST(TwinReach, NthReachesWhatItsMacrosCallWhileExpanding) {
  EXPECT_TRUE(reaches("NTH", "LOOP"));
  EXPECT_TRUE(reaches("NTH", "APPEND1"));
  EXPECT_TRUE(reaches("NTH", "RETURN"));
  EXPECT_TRUE(reaches("SECOND", "APPEND1"));
  EXPECT_TRUE(reaches("GETHASH", "NOT"));
  EXPECT_TRUE(reaches("SUBSEQ", "ZEROP"));
  EXPECT_FALSE(reaches("NOT", "APPEND1"));
  EXPECT_FALSE(reaches("NTH", "NTH"));
}

// Every twin found what it stands on at start-up, and every macro twin's texts are the ones it
// was written for: a library text edited without its twin fails here.
TEST(TwinReach, EveryTwinMatchesItsText) {
  withLibrary();
  EXPECT_TRUE(unmatchedTwins().empty()) << unmatchedTwins().front() << " and maybe others";
  std::vector<const char*> mismatched = macroTwinsMismatched(testLisp());
  EXPECT_TRUE(mismatched.empty()) << mismatched.front() << " and maybe others";
  EXPECT_FALSE(twinReach(testLisp().CheckStringCell("MAPCAR")).empty());
}
