// built-in operators: the dispatch table made from the operator rows (eval/ops.h), and the
// operators whose whole work is the evaluator's own (quoting, predicates, EQ/EQL, printing, arrays)
#include <cstdlib>

#include "eval/eval.h"
#include "eval/ops.h"
#include "eval/twin_interface.h"
#include "streams/streams.h"
#include "text/text.h"
#include "time/clock.h"
#include "numbers/numbers.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
}  // namespace

_cell* cfunction::MultiPrintS(_cell* list) {
  for (; isCons(list); list = list->cdr) {
    cprint::printS(list->car);
    std::fputs(isCons(list->cdr) ? " ;\n" : "\n", stdout);
  }
  return NILCell;
}

_cell* cfunction::lispEval1(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BadForm, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  CellFrame g(*this, v);
  return eval(v, f, n);
}

_cell* cfunction::lispSymbolFunction(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::SymbolFunctionArg, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  _symval* rec = isSymbol(v) ? getFuncval2(v) : nullptr;
  if (!rec) return fail(msg::NoFunctionRecord, f, n);
  exposed(v);
  return cons(rec->tag == 'f' ? FUNCTION : MACRO, rec->value);
}

_cell* cfunction::lispMacroexpand(_cell* args, Frame f, long n) {
  _cell* form = eval(args->car, f, n);
  if (!form) return nullptr;
  _symval* rec = nullptr;
  if (isCons(form) && isSymbol(form->car)) rec = getFuncval2(form->car);
  if (!rec || rec->tag != 'm') {
    say(msg::UndefinedMacro);
    return nullptr;
  }
  CellFrame g(*this, form);
  return expandMacro(form->cdr, rec, f, n);
}

// ---- the dispatch table -------------------------------------------------------------------
namespace {
// A plain function for each routine, so that a call through the table is one indirect call.
template <_cell* (cfunction::*routine)(_cell*, Frame, long)>
_cell* direct(cfunction& m, _cell* args, Frame f, long n) {
  return (m.*routine)(args, f, n);
}
}  // namespace

const cfunction::Routine cfunction::routines[kOpCount] = {
    nullptr,  // Op::None: the step calls a user function itself
#define ZELKORA_OP_ROUTINE(op, kw, fewest, properties, group) &direct<&cfunction::lisp##op>,
    ZELKORA_OPERATORS(ZELKORA_OP_ROUTINE)
#undef ZELKORA_OP_ROUTINE
};

// ---- quoting, conses, predicates ----------------------------------------------------------
namespace {
// The first argument's value, the argument forms protected meanwhile.
_cell* firstValue(cfunction& m, _cell* args, Frame f, long n) {
  CellFrame g(m, args);
  return m.eval(args->car, f, n);
}

// The second argument's value, with the first value protected. The first argument's evaluation
// may have cut the list of forms short: too few of them, as the dispatch would have found.
_cell* secondValue(cfunction& m, _cell* first, _cell* args, Frame f, long n) {
  if (!isCons(args->cdr)) return m.syntaxError(f, n);
  CellFrame g(m, first);
  return m.eval(args->cdr->car, f, n);
}

// A predicate of its one argument's value.
template <bool (*test)(const _cell*)>
_cell* predicate(cfunction& m, _cell* args, Frame f, long n) {
  _cell* v = m.eval(args->car, f, n);
  if (!v) return nullptr;
  return truth(test(v));
}

bool isNil(const _cell* v) { return v == NILCell; }
}  // namespace

_cell* cfunction::lispQuote(_cell* args, Frame, long) { return args->car; }

_cell* cfunction::lispCar(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  return isCons(v) ? v->car : refuse(v, f, n);
}

_cell* cfunction::lispCdr(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  return isCons(v) ? v->cdr : refuse(v, f, n);
}

_cell* cfunction::lispCons(_cell* args, Frame f, long n) {
  _cell* c = getCell();
  CellFrame g(*this, c, args);
  _cell* a = eval(args->car, f, n);
  if (!a) return nullptr;
  c->car = a;
  if (!isCons(args->cdr)) return syntaxError(f, n);  // cut short by the first argument
  _cell* d = eval(args->cdr->car, f, n);
  if (!d) return nullptr;
  c->cdr = d;
  return c;
}

_cell* cfunction::lispAtom(_cell* a, Frame f, long n) { return predicate<isAtom>(*this, a, f, n); }
_cell* cfunction::lispConsp(_cell* a, Frame f, long n) { return predicate<isCons>(*this, a, f, n); }
_cell* cfunction::lispNumberp(_cell* a, Frame f, long n) { return predicate<isNumber>(*this, a, f, n); }
_cell* cfunction::lispIntegerp(_cell* a, Frame f, long n) { return predicate<isInt>(*this, a, f, n); }
_cell* cfunction::lispNull(_cell* a, Frame f, long n) { return predicate<isNil>(*this, a, f, n); }
_cell* cfunction::lispStringp(_cell* a, Frame f, long n) { return predicate<isString>(*this, a, f, n); }
_cell* cfunction::lispSymbolp(_cell* a, Frame f, long n) { return predicate<isSymbol>(*this, a, f, n); }
_cell* cfunction::lispCharacterp(_cell* a, Frame f, long n) { return predicate<isChar>(*this, a, f, n); }
_cell* cfunction::lispArrayp(_cell* a, Frame f, long n) { return predicate<isArray>(*this, a, f, n); }

_cell* cfunction::lispEval(_cell* args, Frame f, long n) {
  _cell* v = firstValue(*this, args, f, n);
  if (!v) return nullptr;
  CellFrame g(*this, v);
  if (isCons(v) && consFlag(v, ConsMeta::ReadForm)) return evalFrom(v, f, n);  // LOAD's forms
  return eval(v, f, n);
}

// ---- two arguments ------------------------------------------------------------------------
namespace {
// The operation on both argument values, the first protected while the second is evaluated.
template <_cell* (*op)(cfunction&, _cell*, _cell*, Frame, long)>
_cell* onTwo(cfunction& m, _cell* args, Frame f, long n) {
  _cell* a = firstValue(m, args, f, n);
  if (!a) return nullptr;
  _cell* b = secondValue(m, a, args, f, n);
  if (!b) return nullptr;
  return op(m, a, b, f, n);
}

_cell* numberEqualOp(cfunction& m, _cell* a, _cell* b, Frame f, long n) {
  bool ok;
  bool same = numberEqual(a, b, ok);
  return ok ? truth(same) : m.refuse(isNumber(a) ? b : a, f, n);
}
_cell* eqOp(cfunction&, _cell* a, _cell* b, Frame, long) { return truth(eqCells(a, b)); }
_cell* eqlOp(cfunction&, _cell* a, _cell* b, Frame, long) { return truth(eqlCells(a, b)); }
_cell* stringEqualOp(cfunction& m, _cell* a, _cell* b, Frame, long) {
  return m.made(StringEqual(a, b));
}
_cell* rplacaOp(cfunction& m, _cell* a, _cell* b, Frame f, long n) { return m.rplaca(a, b, f, n); }
_cell* rplacdOp(cfunction& m, _cell* a, _cell* b, Frame f, long n) { return m.rplacd(a, b, f, n); }

// CHAR-EQUAL and CHAR<: two characters, the second only evaluated when the first is one.
template <bool less>
_cell* compareChars(cfunction& m, _cell* args, Frame f, long n) {
  _cell* a = firstValue(m, args, f, n);
  if (!a) return nullptr;
  if (!isChar(a) || !isCons(args->cdr)) return m.refuse(a, f, n);
  _cell* b = secondValue(m, a, args, f, n);
  if (!b) return nullptr;
  if (!isChar(b)) return m.refuse(b, f, n);
  return truth(less ? byteOf(a) < byteOf(b) : byteOf(a) == byteOf(b));
}
}  // namespace

_cell* cfunction::lispNumberEqual(_cell* a, Frame f, long n) { return onTwo<numberEqualOp>(*this, a, f, n); }
_cell* cfunction::lispEq(_cell* a, Frame f, long n) { return onTwo<eqOp>(*this, a, f, n); }
_cell* cfunction::lispEql(_cell* a, Frame f, long n) { return onTwo<eqlOp>(*this, a, f, n); }
_cell* cfunction::lispStringEqual(_cell* a, Frame f, long n) { return onTwo<stringEqualOp>(*this, a, f, n); }
_cell* cfunction::lispRplaca(_cell* a, Frame f, long n) { return onTwo<rplacaOp>(*this, a, f, n); }
_cell* cfunction::lispRplacd(_cell* a, Frame f, long n) { return onTwo<rplacdOp>(*this, a, f, n); }
_cell* cfunction::lispCharEqual(_cell* a, Frame f, long n) { return compareChars<false>(*this, a, f, n); }
_cell* cfunction::lispCharLess(_cell* a, Frame f, long n) { return compareChars<true>(*this, a, f, n); }

_cell* cfunction::lispLength(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  return checkedMade(jlength(*this, v), f, n);
}

// ---- printing -----------------------------------------------------------------------------
namespace {
// A write to a file failed (a full disk, say): the operator fails rather than answer as if it
// had written. Standard output is checked where the run ends.
bool written(FILE* out) { return out == stdout || !std::ferror(out); }

// A stream to write to: its open file, or null after the syntax error (no open stream) or the
// message that it was opened for input.
FILE* outputOf(cfunction& m, _cell* s, Frame f, long n) {
  FILE* fp = isStreamValue(s) ? getStream(m, s) : nullptr;
  if (!fp) {
    m.refuse(s, f, n);
    return nullptr;
  }
  if (!m.fileOutput[intOf(s) - 1]) {
    m.fail(msg::NotOutputStream, f, n);
    return nullptr;
  }
  return fp;
}

// Where the first argument's value `v` is written: standard output, or the stream the second
// argument names (null when that fails).
FILE* destination(cfunction& m, _cell* v, _cell* args, Frame f, long n) {
  if (!isCons(args->cdr)) return stdout;
  _cell* s = secondValue(m, v, args, f, n);
  return s ? outputOf(m, s, f, n) : nullptr;
}

enum class Style { Print, Prin1, Princ };

template <Style style>
_cell* printOp(cfunction& m, _cell* args, Frame f, long n) {
  _cell* v = firstValue(m, args, f, n);
  if (!v) return nullptr;
  FILE* out = destination(m, v, args, f, n);
  if (!out) return nullptr;
  if (style == Style::Print) std::fputc('\n', out);
  if (style == Style::Princ)
    cprint::princS(v, out);
  else if (out == stdout)
    cprint::printS(v);
  else
    cprint::printSStrm(v, out);
  if (style == Style::Print) std::fputc(' ', out);
  if (!written(out)) return m.fail(msg::WriteFailed, f, n);
  return v;
}
}  // namespace

_cell* cfunction::lispPrint(_cell* a, Frame f, long n) { return printOp<Style::Print>(*this, a, f, n); }
_cell* cfunction::lispPrin1(_cell* a, Frame f, long n) { return printOp<Style::Prin1>(*this, a, f, n); }
_cell* cfunction::lispPrinc(_cell* a, Frame f, long n) { return printOp<Style::Princ>(*this, a, f, n); }

_cell* cfunction::lispSpaces(_cell* args, Frame f, long n) {
  _cell* v = firstValue(*this, args, f, n);
  if (!v) return nullptr;
  if (!isInt(v) || intOf(v) < 0) return refuse(v, f, n);
  FILE* out = destination(*this, v, args, f, n);
  if (!out) return nullptr;
  for (long i = 0; i < intOf(v); i++) std::fputc(' ', out);
  if (!written(out)) return fail(msg::WriteFailed, f, n);
  return TCell;
}

_cell* cfunction::lispTerpri(_cell* args, Frame f, long n) {
  FILE* out = stdout;
  if (isCons(args)) {
    _cell* s = eval(args->car, f, n);
    if (!s || !(out = outputOf(*this, s, f, n))) return nullptr;
  }
  std::fputc('\n', out);
  if (!written(out)) return fail(msg::WriteFailed, f, n);
  return TCell;
}

// ---- the session --------------------------------------------------------------------------
_cell* cfunction::lispGc(_cell*, Frame, long) {
  gc();
  return TCell;
}

_cell* cfunction::lispMultipleValueList(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  if (valuesList) return valuesList;
  return cons(v, NILCell);
}

// With an argument, the status the process ends with.
_cell* cfunction::lispBye(_cell* args, Frame f, long n) {
  int status = 0;
  if (isCons(args)) {
    _cell* v = firstValue(*this, args, f, n);
    if (!v) return nullptr;
    if (!isInt(v) || intOf(v) < 0 || intOf(v) > 255) return fail(msg::BadExitStatus, v, f, n);
    status = intOf(v);
  }
  endProcess(status);
  return nullptr;
}
_cell* cfunction::lispQuit(_cell* a, Frame f, long n) { return lispBye(a, f, n); }
_cell* cfunction::lispExit(_cell* a, Frame f, long n) { return lispBye(a, f, n); }

_cell* cfunction::lispError(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  cprint::princS(v, stdout);
  std::fputc('\n', stdout);
  errorlisp(f, n);
  return nullptr;
}

_cell* cfunction::lispNow(_cell*, Frame, long) { return now(*this); }

// ---- arrays -------------------------------------------------------------------------------
_cell* cfunction::lispSetArray(_cell* args, Frame f, long n) {
  _cell* v = isCons(args) ? firstValue(*this, args, f, n) : NILCell;
  if (!v) return nullptr;
  if (!isCons(v)) return fail(msg::SetArrayFail, v, f, n);
  setConsFlag(v, ConsMeta::Array);  // an array from now on: arrays of the pool are looked for
  ConsPool::gArrays = true;
  mutated(v);
  return v;
}

namespace {
template <bool car>
_cell* arrayPart(cfunction& m, _cell* args, Frame f, long n) {
  _cell* v = m.eval(args->car, f, n);
  if (!v) return nullptr;
  if (!isArray(v)) {
    say(msg::NotArray);
    return nullptr;
  }
  return car ? v->car : v->cdr;
}
}  // namespace

_cell* cfunction::lispArrayCar(_cell* a, Frame f, long n) { return arrayPart<true>(*this, a, f, n); }
_cell* cfunction::lispArrayCdr(_cell* a, Frame f, long n) { return arrayPart<false>(*this, a, f, n); }
