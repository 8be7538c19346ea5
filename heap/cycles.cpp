// cycle detection over cons structure
#include <unordered_map>
#include <vector>

#include "heap/heap.h"

void findCycleTargets(_cell* root, std::unordered_set<const _cell*>& targets) {
  enum : char { Grey = 1, Black = 2 };
  std::unordered_map<const _cell*, char> colour;
  struct Step {
    _cell* c;
    int child;  // 0: car next, 1: cdr next, 2: done
  };
  std::vector<Step> path;
  auto enter = [&](_cell* c) {
    if (!c || (c->type != Type::Cons && c->type != Type::Array)) return;
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
    s.child++;
    enter(next);
  }
}
