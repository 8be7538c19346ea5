// binding tables: the global-variable table and the function table
#include "heap/heap.h"
#include "heap/messages.h"

// Both tables are indexed by the symbol's creation number, so a lookup never scans; the
// records themselves stay in order of first assignment, as the tables define.
long cmemory::getSymVal2(_cell* sym) {
  long i = getSymVal(sym);
  if (i >= 0) return i;
  if (globalTop - globalTable >= kTableRecords - 1) exhausted(msg::GlobalTableFull);
  _symval* r = globalTop++;
  r->symbol = sym;
  r->value = nullptr;
  i = r - globalTable;
  globalIndex[sym->symIndex] = static_cast<int32_t>(i + 1);
  return i;
}

_symval* cmemory::getFuncval(_cell* sym) {
  if (_symval* r = getFuncval2(sym)) return r;
  if (funcTop - funcTable >= kTableRecords - 1) exhausted(msg::FuncTableFull);
  _symval* r = funcTop++;
  r->symbol = sym;
  funcIndex[sym->symIndex] = static_cast<int32_t>(r - funcTable + 1);
  return r;
}
