// expansions of library macro calls kept from one evaluation of a call to the next
//
// A macro twin's expansion depends on the call's forms and the library's definitions alone, and
// the copy evaluated in its place is new each time only so that the program can never hold or
// change a cons of it. An expansion none of whose forms hands out a cons of its own (no QUOTE
// of a list, no FUNCTION, no definition, no backquote, no macro but the twins') gives the
// program none, so one copy serves every evaluation while nothing it was made from changes:
// the call's conses (flagged Watched when kept), the twins and definitions, NIL and T. Every
// collection forgets what was kept, so a kept copy never outlives its last use.
#include "library/twins.h"
#include "heap/keywords.h"

namespace {

struct Kept {
  const _cell* args = nullptr;  // the call's forms
  const _cell* sym = nullptr;   // the macro
  _cell* expansion = nullptr;   // null: the call's expansion is not one to keep
  uint64_t watched = 0, definitions = 0, switches = 0;
};
constexpr size_t kKept = 256;
Kept gKept[kKept];

size_t slotOf(const _cell* args) { return (reinterpret_cast<uintptr_t>(args) >> 5) & (kKept - 1); }

void forgetKept(cmemory&) {
  for (Kept& k : gKept) k = Kept{};
}

// Whether evaluating this form can hand out no cons of it. Every cons is looked at as if it
// were a form: data in a form's place (a LET's bindings, COND's clauses) only makes the check
// stricter.
bool sealed(_cell* x) {
  static std::vector<_cell*> work;  // reused: the check never re-enters itself
  work.assign(1, x);
  while (!work.empty()) {
    _cell* c = work.back();
    work.pop_back();
    for (; isCons(c); c = c->cdr) {
      _cell* head = c->car;
      if (isCons(head)) {
        work.push_back(head);
        continue;
      }
      if (!isSymbol(head)) continue;
      switch (opOf(head)) {
        case Op::Quote:
          if (isCons(c->cdr) && isCons(c->cdr->car)) return false;
          break;
        case Op::Function:
        case Op::Defun:
        case Op::Defmacro:
        case Op::Backquote:
          return false;
        default:
          break;
      }
      if (head == LAMBDA) return false;
      if (_symval* rec = gMachine->getFuncval2(head); rec && rec->tag == 'm' && !macroTwin(head))
        return false;
    }
  }
  return true;
}

}  // namespace

void watchConses(_cell* x) {
  static std::vector<_cell*> work;  // reused: watching never re-enters itself
  work.assign(1, x);
  while (!work.empty()) {
    _cell* c = work.back();
    work.pop_back();
    for (; isCons(c) && !consFlag(c, ConsMeta::Watched); c = c->cdr) {
      setConsFlag(c, ConsMeta::Watched);
      if (isCons(c->car)) work.push_back(c->car);
    }
  }
}

namespace {
bool registered = false;
}  // namespace

namespace {
// Whether k was made for this call and nothing since could change its expansion.
bool current(const Kept& k, const _cell* sym, const _cell* args) {
  return k.args == args && k.sym == sym && k.watched == gWatchedChanges &&
         k.definitions == gDefinitions && k.switches == gTwinSwitches && twinConstantsIntact();
}
}  // namespace

_cell* keptExpansion(const _cell* sym, const _cell* args) {
  const Kept& k = gKept[slotOf(args)];
  return current(k, sym, args) ? k.expansion : nullptr;
}

void keepExpansion(const _cell* sym, _cell* args, _cell* expansion) {
  Kept& k = gKept[slotOf(args)];
  if (current(k, sym, args)) return;  // found not to be kept: not looked at again
  if (!registered) {
    gMachine->addForgetHook(forgetKept);
    registered = true;
  }
  watchConses(args);
  k = {args, sym, sealed(expansion) ? expansion : nullptr, gWatchedChanges, gDefinitions,
       gTwinSwitches};
}
