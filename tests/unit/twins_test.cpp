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

// REMOVE's text expands APPEND, a macro whose expansion calls APPEND1, and reads its keywords
// with KEYS$ and KEY$; NTH's loop is written out with a name of its own, which no user form can
// redefine.
TEST(TwinReach, TextsReachWhatTheirMacrosCallWhileExpanding) {
  EXPECT_TRUE(reaches("REMOVE", "APPEND"));
  EXPECT_TRUE(reaches("REMOVE", "APPEND1"));
  EXPECT_TRUE(reaches("REMOVE", "KEYS$"));
  EXPECT_TRUE(reaches("DELETE", "REMOVE"));
  EXPECT_TRUE(reaches("MEMBER", "KEY$"));
  EXPECT_TRUE(reaches("SECOND", "NTH"));
  EXPECT_TRUE(reaches("GETHASH", "NOT"));
  EXPECT_TRUE(reaches("SUBSEQ", "ZEROP"));
  EXPECT_FALSE(reaches("NTH", "LOOP"));
  EXPECT_FALSE(reaches("NOT", "APPEND1"));
  EXPECT_FALSE(reaches("NTH", "NTH"));
}

// No library function leaves by a block a user's form can name: its loops are blocks of
// uninterned names, never LOOP, PROG, DOLIST, DOTIMES or RETURN (whose block is NIL), so a
// RETURN-FROM NIL in a user's callback never stops inside the library.
TEST(TwinReach, LibraryFunctionsHaveNoBlockAUserCanName) {
  clisp& m = withLibrary();
  std::vector<_cell*> named;
  for (const char* name : {"LOOP", "LOOP1", "PROG", "DOLIST", "DOTIMES", "RETURN"})
    named.push_back(m.CheckStringCell(name));
  std::vector<const char*> open;
  for (_symval* r = m.funcTable; r < m.funcTop; r++) {
    if (!r->symbol || r->tag != 'f') continue;
    std::vector<_cell*> work{r->value};
    bool found = false;
    while (!work.empty() && !found) {
      _cell* c = work.back();
      work.pop_back();
      if (!isCons(c)) continue;
      found = std::find(named.begin(), named.end(), c->car) != named.end() ||
              (c->car == BLOCKLISP && isCons(c->cdr) && c->cdr->car == NILCell);
      work.push_back(c->cdr);
      if (!isCons(c->car) || c->car->car != QUOTE) work.push_back(c->car);  // not data (a table)
    }
    if (found) open.push_back(nameOf(r->symbol));
  }
  EXPECT_TRUE(open.empty()) << open.front() << " and maybe others";
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
