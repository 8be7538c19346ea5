// cycle detection over cons structure, and the copy that keeps cycles
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "heap/heap.h"

void findCycleTargets(_cell* root, std::unordered_set<const _cell*>& targets, bool asPrinted) {
  enum : char { Grey = 1, Black = 2 };
  std::unordered_map<const _cell*, char> colour;
  struct Step {
    _cell* c;
    int child;  // 0: car next, 1: cdr next, 2: done
  };
  std::vector<Step> path;
  auto enter = [&](_cell* c) {
    if (!c || (!isCons(c) && !isArray(c))) return;
    auto it = colour.find(c);
    if (it != colour.end()) {
      if (it->second == Grey) targets.insert(c);
      return;
    }
    colour.emplace(c, Grey);
    path.push_back({c, 0});
  };
  enter(root);
  while (!path.empty()) {
    Step& s = path.back();
    if (s.child == 2) {
      colour[s.c] = Black;
      path.pop_back();
      continue;
    }
    _cell* next = s.child == 0 ? s.c->car : s.c->cdr;
    // The printer shows an array as its dimensions and the contents after its element type.
    if (asPrinted && s.child == 1 && isArray(s.c)) next = isCons(next) ? next->cdr : nullptr;
    s.child++;
    enter(next);
  }
}

long consesUpTo(_cell* v, long limit) {
  static std::vector<_cell*> work;  // reused: never re-entered
  work.assign(1, v);
  long count = 0;
  while (!work.empty()) {
    _cell* c = work.back();
    work.pop_back();
    for (; isCons(c); c = c->cdr) {
      if (++count > limit) return -1;
      if (isCons(c->car)) work.push_back(c->car);
    }
  }
  return count;
}

namespace {
// Copies cons structure with a work list; cells in `keep` are copied once and shared, so a
// cycle through them is copied as a cycle. Gives up (null) after `limit` conses when limit >= 0.
_cell* copyConses(cmemory& m, _cell* v, const std::unordered_set<const _cell*>& keep, long limit) {
  std::unordered_map<const _cell*, _cell*> copies;
  struct Job {
    _cell* from;
    _cell* to;
  };
  static std::vector<Job> work;  // reused: copying never re-enters itself
  work.clear();
  long made = 0;
  auto copyOf = [&](_cell* src) -> _cell* {
    if (!isCons(src)) return src;
    bool shared = !keep.empty() && keep.count(src);
    if (shared) {
      auto it = copies.find(src);
      if (it != copies.end()) return it->second;
    }
    _cell* c = m.getCell();
    made++;
    if (shared) copies.emplace(src, c);
    work.push_back({src, c});
    return c;
  };
  _cell* root = copyOf(v);
  while (!work.empty()) {
    if (limit >= 0 && made > limit) return nullptr;
    Job j = work.back();
    work.pop_back();
    j.to->car = copyOf(j.from->car);
    j.to->cdr = copyOf(j.from->cdr);
  }
  return root;
}

// A tree copied along its cdr chains, the cars' subtrees kept on a work list: the same conses
// as copyConses makes for a tree, with less bookkeeping.
_cell* copyTree(cmemory& m, _cell* v) {
  struct Job {
    _cell* from;
    _cell* to;
  };
  static std::vector<Job> work;  // reused: copying never re-enters itself
  _cell* root = m.getCell();
  work.assign(1, {v, root});
  while (!work.empty()) {
    Job j = work.back();
    work.pop_back();
    for (;;) {
      _cell* a = j.from->car;
      if (isCons(a)) {
        _cell* c = m.getCell();
        work.push_back({a, c});
        a = c;
      }
      j.to->car = a;
      _cell* d = j.from->cdr;
      if (!isCons(d)) {
        j.to->cdr = d;
        break;
      }
      _cell* c = m.getCell();
      j.to->cdr = c;
      j = {d, c};
    }
  }
  return root;
}
}  // namespace

// Duplicates every cons reachable through car and cdr; atoms are shared. Only after an
// in-place change can a value hold a cycle; a copy that grows large is then redone keeping
// its cycles, instead of running for ever.
_cell* cmemory::CopyTree(_cell* v) { return isCons(v) ? copyTree(*this, v) : v; }

_cell* cmemory::Copy(_cell* v) {
  if (!isCons(v)) return v;
  if (!structureMutated) return copyTree(*this, v);
  long limit = std::min(freeCells / 4, 100000L);
  if (consesUpTo(v, limit) >= 0) return copyTree(*this, v);  // the bounded copy would finish
  // It would not: it still runs, so that what it allocates before giving up, and so the
  // collector's counts, stay as they were.
  const std::unordered_set<const _cell*> none;
  if (_cell* c = copyConses(*this, v, none, limit)) return c;
  std::unordered_set<const _cell*> targets;
  findCycleTargets(v, targets);
  return copyConses(*this, v, targets, -1);
}
