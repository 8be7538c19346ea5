// The heap's internals: interning, cells, the cell stack's pairing, the collector's counts,
// and captured frames.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "eval/ops.h"
#include "heap_fixture.h"
#include "heap/keywords.h"

namespace {
struct Counts {
  long cells, floats, ints;
};

Counts collect() {
  testing::internal::CaptureStdout();
  testLisp().gc();
  std::string out = testing::internal::GetCapturedStdout();
  std::smatch m;
  std::regex re("gc: \\S+ (\\d+)\\S+ \\S+ (\\d+)\\S+ \\S+ (\\d+)\\S+ \\S+ [ *]\n");
  EXPECT_TRUE(std::regex_match(out, m, re)) << out;
  return {std::stol(m[1]), std::stol(m[2]), std::stol(m[3])};
}
}  // namespace

TEST(Interning, SameNameSameSymbol) {
  clisp& m = testLisp();
  _cell* a = m.getStringCell("ZEBRA");
  EXPECT_EQ(a, m.getStringCell("ZEBRA"));
  EXPECT_EQ(a, m.CheckStringCell("ZEBRA"));
  EXPECT_EQ(a->attr, Attr::Plain);
  EXPECT_EQ(a->cdr, NILCell);
  EXPECT_EQ(m.getStringCell(":KEY")->attr, Attr::Keyword);
  EXPECT_EQ(m.CheckStringCell("NEVER-MADE"), nullptr);
}

TEST(Interning, UninternedSymbolsAreNeverFound) {
  clisp& m = testLisp();
  _cell* g1 = m.getStringCellWide("G77");
  _cell* g2 = m.getStringCellWide("G77");
  EXPECT_NE(g1, g2);
  EXPECT_EQ(g1->attr, Attr::Uninterned);
  _cell* plain = m.getStringCell("G77");
  EXPECT_NE(plain, g1);
  EXPECT_NE(plain, g2);
  EXPECT_EQ(plain->attr, Attr::Plain);
}

TEST(Cells, FreshCellsAndNumberCells) {
  clisp& m = testLisp();
  _cell* c = m.getCell();
  EXPECT_TRUE(isCons(c));
  EXPECT_EQ(typeOf(c), Type::Cons);
  EXPECT_EQ(c->car, NILCell);
  EXPECT_EQ(c->cdr, NILCell);
  EXPECT_FALSE(isClosure(c));
  EXPECT_EQ(cmemory::closureSize(c), 0);
  _cell* r = m.BunsuToCell(2, 4);
  EXPECT_EQ(numOf(r), 2);
  EXPECT_EQ(denOf(r), 4);
  EXPECT_EQ(m.getMojiCell(static_cast<char>(0xe6))->code, -26);  // bytes are widened signed
}

// A cons has no header: where one would be lies its neighbour's car. Whatever that car is, the
// cons is still a cons and nothing else, and SET-ARRAY's mark is the only thing that makes it
// an array.
TEST(Cells, AConsIsToldByItsPlaceWhateverItsNeighbourHolds) {
  clisp& m = testLisp();
  _cell* kinds[] = {NILCell, m.IntToCell(7), m.NumberToCell(1.5L), m.BunsuToCell(1, 3),
                    m.getMojiCell('a'), m.stringFromBytes("ab", 2), m.getCell()};
  for (_cell* k : kinds) {
    _cell* c = m.getCell();
    _cell* next = m.getCell();
    ASSERT_EQ(reinterpret_cast<char*>(next), reinterpret_cast<char*>(c) + sizeof(ConsSlot));
    next->car = k;
    EXPECT_TRUE(isCons(c));
    EXPECT_EQ(typeOf(c), Type::Cons);
    EXPECT_FALSE(isSymbol(c) || isNumber(c) || isChar(c) || isArray(c) || isStreamValue(c));
    EXPECT_FALSE(isCons(k) && k != kinds[6]);
  }
  _cell* row = m.cons(m.IntToCell(1), m.cons(m.getStringCell("ALL"), NILCell));
  CellFrame keep(m, row);
  setConsFlag(row, ConsMeta::Array);
  ConsPool::gArrays = true;
  EXPECT_TRUE(isArray(row));
  EXPECT_FALSE(isCons(row));
  EXPECT_EQ(typeOf(row), Type::Array);
  EXPECT_TRUE(isCons(row->cdr));
}

// An integer of the pool keeps its header and slot word in the next slot: a neighbour's value,
// attribute and flags, its death and its slot's reuse must leave the integer as it was.
TEST(Cells, AnIntegerOfThePoolKeepsItsFieldsWhateverItsNeighboursHold) {
  clisp& m = testLisp();
  const int32_t values[] = {-1, INT32_MIN, 0, 0x7a7a7a7a, 0x6c6c6c6c, INT32_MAX, 16};
  const long base = collect().ints;
  CellFrame keep(m);
  std::vector<_cell*> kept;
  for (int32_t v : values) {
    kept.push_back(keep.push(m.IntToCell(v)));
    m.IntToCell(~v);  // a neighbour left for the collector
  }
  kept[1]->attr = Attr::Stream;
  _cell* owner = m.IntToCell(42);  // dies, its FLOOR copy lives: the copy takes its slot over
  _cell* copy = keep.push(m.sharingInt(owner));
  EXPECT_EQ(collect().ints, base + 8);  // each kept integer's slot and the copy's, once
  for (int round = 0; round < 2; round++) {
    for (int i = 0; i < 4 * kBlock; i++) m.IntToCell(i % 3 ? -i : 0x69);  // the dead slots reused
    m.gc(false);
    for (size_t i = 0; i < kept.size(); i++) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(IntPool::holds(kept[i]));
      EXPECT_TRUE(isInt(kept[i]) && isNumber(kept[i]));
      EXPECT_EQ(typeOf(kept[i]), Type::Int);
      EXPECT_FALSE(isCons(kept[i]) || isSymbol(kept[i]) || isArray(kept[i]));
      EXPECT_EQ(intOf(kept[i]), values[i]);
      EXPECT_EQ(isStreamValue(kept[i]), i == 1);
    }
    EXPECT_EQ(intOf(copy), 42);
  }
  EXPECT_EQ(collect().ints, base + 8);
}

TEST(Cells, AnOperatorsSymbolIsNoFunctionObject) {
  clisp& m = testLisp();
  EXPECT_EQ(opOf(QUOTE), Op::Quote);  // an odd number: it once shared a byte with the flags
  EXPECT_FALSE(isClosure(QUOTE));
  EXPECT_EQ(opOf(m.getStringCell("NAMES-NO-OPERATOR")), Op::None);
}

TEST(CellStack, GuardsPairPushesAndPops) {
  clisp& m = testLisp();
  _cell** before = m.cellStackTop;
  {
    CellFrame outer(m, m.getCell());
    {
      CellFrame inner(m, m.getCell(), m.getCell());
      inner.push(nullptr);  // a null pushed (an empty values list) is not a frame boundary
      inner.push(m.getCell());
      EXPECT_EQ(m.cellStackTop - before, 1 + 4);
    }
    EXPECT_EQ(m.cellStackTop - before, 1);
  }
  EXPECT_EQ(m.cellStackTop, before);
}

TEST(Collector, CountsWhatIsReachable) {
  clisp& m = testLisp();
  Counts base = collect();
  EXPECT_EQ(collect().cells, base.cells);  // nothing changes between two collections

  for (int i = 0; i < 1000; i++) m.cons(m.IntToCell(i), m.NumberToCell(i));  // garbage
  Counts after = collect();
  EXPECT_EQ(after.cells, base.cells);
  EXPECT_EQ(after.floats, base.floats);
  EXPECT_EQ(after.ints, base.ints);
  EXPECT_EQ(m.freeCells, kCells - base.cells);

  // A list held on the cell stack survives: 100 conses, 100 integer cells, 100 slots.
  _cell* l = NILCell;
  for (int i = 0; i < 100; i++) l = m.cons(m.IntToCell(i), l);
  {
    CellFrame keep(m, l);
    Counts held = collect();
    EXPECT_EQ(held.cells, base.cells + 200);
    EXPECT_EQ(held.ints, base.ints + 100);
    EXPECT_EQ(intOf(l->car), 99);
  }
  EXPECT_EQ(collect().cells, base.cells);
}

TEST(Collector, MarksCircularAndDeepStructure) {
  clisp& m = testLisp();
  Counts base = collect();
  _cell* ring = m.cons(NILCell, NILCell);
  ring->cdr = m.cons(NILCell, ring);
  _cell* deep = NILCell;
  for (int i = 0; i < 200000; i++) deep = m.cons(deep, NILCell);
  CellFrame keep(m, ring, deep);
  EXPECT_EQ(collect().cells, base.cells + 2 + 200000);
}

TEST(Frames, ACapturedFrameLivesWhileAFunctionObjectHoldsIt) {
  clisp& m = testLisp();
  Counts base = collect();  // nothing below is protected until `keep`: no collection before it
  _cell* lambda = m.cons(LAMBDA, m.cons(NILCell, NILCell));
  _cell* value = m.IntToCell(42);
  {
    FrameHolder frame(m, 1);
    frame.recs()[0].symbol = m.getStringCell("CAPTURED");
    frame.recs()[0].value = value;
    LocFrame reg(m, frame.recs(), 1);
    lambda = testLisp().lispFunction(m.cons(lambda, NILCell), frame.recs(), 1);
  }
  // The activation ended; only the function object (on the cell stack) holds its frame.
  {
    CellFrame keep(m, lambda);
    Counts held = collect();
    EXPECT_EQ(held.ints, base.ints + 1);
    EXPECT_EQ(cmemory::closureSize(lambda), 1);
    EXPECT_EQ(intOf(cmemory::closureFrame(lambda)[0].value), 42);
  }
  EXPECT_EQ(collect().ints, base.ints);  // dropped: frame and value are reclaimed
}

// Exhausting a store ends the process with status 1 after its message (on standard output).
TEST(ExhaustionDeathTest, EveryStoreEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  clisp& m = testLisp();
  EXPECT_EXIT(
      {
        for (;;) m.getCell();
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EXIT(
      {
        for (;;) m.IntToCell(1);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EXIT(
      {
        for (;;) m.NumberToCell(1.0L);
      },
      testing::ExitedWithCode(1), "");
  // The string area refuses a name once full, for its caller to report: the session goes on.
  EXPECT_EXIT(
      {
        while (m.getString("a fairly long symbol name to fill the string area quickly")) {
        }
        std::exit(3);
      },
      testing::ExitedWithCode(3), "");
  EXPECT_EXIT(
      {
        for (;;) m.IncCellStack(nullptr);
      },
      testing::ExitedWithCode(1), "");
}

// The start-up loader stops at the first form that cannot be rewritten, read or evaluated.
TEST(Loader, StopsAtTheFirstFailingForm) {
  clisp& m = testLisp();
  const char* good[] = {"(setq loaded-a 1)", "(defun loaded-f (x) x)"};
  EXPECT_EQ(m.LoadTexts(good, 2), 1);
  testing::internal::CaptureStdout();
  const char* unreadable[] = {"(setq loaded-b 1)", "1/0", "(setq loaded-c 1)"};
  EXPECT_EQ(m.LoadTexts(unreadable, 3), 0);
  const char* unrewritable[] = {"(list 'a \"open"};
  EXPECT_EQ(m.LoadTexts(unrewritable, 1), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("エラー: 0で割りました。"), std::string::npos);
  EXPECT_EQ(m.CheckStringCell("LOADED-C"), nullptr);  // never read
}
