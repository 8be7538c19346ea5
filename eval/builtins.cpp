// built-in operators: the dispatch switch over the operator table (eval/ops.h), and the operators
// whose whole work is the evaluator's own (quoting, predicates, EQ/EQL, printing, arrays)
#include <cstdlib>

#include "eval/eval.h"
#include "eval/ops.h"
#include "eval/twins.h"
#include "streams/streams.h"
#include "text/text.h"
#include "time/clock.h"
#include "numbers/numbers.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
_cell* truth(bool b) { return b ? TCell : NILCell; }

void blanks(FILE* out, long count) {
  for (long i = 0; i < count; i++) std::fputc(' ', out);
}
}  // namespace

_cell* cfunction::MultiPrintS(_cell* list) {
  for (; isCons(list); list = list->cdr) {
    cprint::printS(list->car);
    std::fputs(isCons(list->cdr) ? " ;\n" : "\n", stdout);
  }
  return NILCell;
}

_cell* cfunction::eval1(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BadForm, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  CellFrame g(*this, v);
  return eval(v, f, n);
}

_cell* cfunction::symbolFunction(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::SymbolFunctionArg, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  _symval* rec = isSymbol(v) ? getFuncval2(v) : nullptr;
  if (!rec) return fail(msg::NoFunctionRecord, f, n);
  exposed(v);
  return cons(rec->tag == 'f' ? FUNCTION : MACRO, rec->value);
}

_cell* cfunction::macroexpand(_cell* args, Frame f, long n) {
  _cell* form = eval(args->car, f, n);
  if (!form) return nullptr;
  _symval* rec = nullptr;
  if (isCons(form) && isSymbol(form->car)) rec = getFuncval2(form->car);
  if (!rec || rec->tag != 'm') {
    say(msg::UndefinedMacro);
    return nullptr;
  }
  CellFrame g(*this, form);
  return MacroExec2(form->cdr, rec, f, n);
}

namespace {
// CAR or CDR, and MINUSP, of their one argument's value.
template <bool car>
_cell* carOrCdr(cfunction& m, _cell* args, Frame f, long n) {
  _cell* v = m.eval(args->car, f, n);
  if (!v) return nullptr;
  if (!isCons(v)) return m.syntaxError(f, n);
  return car ? v->car : v->cdr;
}

_cell* minuspOfArgument(cfunction& m, _cell* args, Frame f, long n) {
  return m.minusp(m.eval(args->car, f, n), f, n);
}

// A plain function for each handler, so that a call through the table is one indirect call.
template <_cell* (cfunction::*handler)(_cell*, Frame, long)>
_cell* direct(cfunction& m, _cell* args, Frame f, long n) {
  return (m.*handler)(args, f, n);
}

std::array<cfunction::DirectOp, kOpCount> makeDirectOps() {
  std::array<cfunction::DirectOp, kOpCount> t{};
  t[static_cast<int>(Op::Backquote)] = &direct<&cfunction::backquote>;
  t[static_cast<int>(Op::Setq)] = &direct<&cfunction::tsetq>;
  t[static_cast<int>(Op::OnePlus)] = &direct<&cfunction::OnePlus>;
  t[static_cast<int>(Op::Car)] = &carOrCdr<true>;
  t[static_cast<int>(Op::Cdr)] = &carOrCdr<false>;
  t[static_cast<int>(Op::Minusp)] = &minuspOfArgument;
  t[static_cast<int>(Op::OneMinus)] = &direct<&cfunction::OneMinus>;
  t[static_cast<int>(Op::And)] = &direct<&cfunction::tand>;
  t[static_cast<int>(Op::Or)] = &direct<&cfunction::tor>;
  t[static_cast<int>(Op::Times)] = &direct<&cfunction::times>;
  t[static_cast<int>(Op::Plus)] = &direct<&cfunction::plus>;
  t[static_cast<int>(Op::Minus)] = &direct<&cfunction::minus>;
  t[static_cast<int>(Op::Divide)] = &direct<&cfunction::divide>;
  t[static_cast<int>(Op::Progn)] = &direct<&cfunction::tprogn>;
  t[static_cast<int>(Op::Prog1)] = &direct<&cfunction::tprog1>;
  t[static_cast<int>(Op::Cond)] = &direct<&cfunction::condition>;
  t[static_cast<int>(Op::If)] = &direct<&cfunction::IfClause>;
  t[static_cast<int>(Op::Let)] = &direct<&cfunction::Let>;
  t[static_cast<int>(Op::LetAst)] = &direct<&cfunction::LetAst>;
  t[static_cast<int>(Op::Prog)] = &direct<&cfunction::prog>;
  t[static_cast<int>(Op::Go)] = &direct<&cfunction::tgo>;
  t[static_cast<int>(Op::List)] = &direct<&cfunction::tlist>;
  t[static_cast<int>(Op::Open)] = &direct<&cfunction::topen>;
  t[static_cast<int>(Op::Read)] = &direct<&cfunction::tread>;
  t[static_cast<int>(Op::Char)] = &direct<&cfunction::tchar>;
  t[static_cast<int>(Op::Coerce)] = &direct<&cfunction::coerce>;
  t[static_cast<int>(Op::Macroexpand)] = &direct<&cfunction::macroexpand>;
  t[static_cast<int>(Op::CharCode)] = &direct<&cfunction::char_to_code>;
  t[static_cast<int>(Op::CodeChar)] = &direct<&cfunction::code_to_char>;
  t[static_cast<int>(Op::Catch)] = &direct<&cfunction::catch_lisp>;
  t[static_cast<int>(Op::Throw)] = &direct<&cfunction::throw_lisp>;
  t[static_cast<int>(Op::Block)] = &direct<&cfunction::block_lisp>;
  t[static_cast<int>(Op::ReturnFrom)] = &direct<&cfunction::return_from_lisp>;
  t[static_cast<int>(Op::UnwindProtect)] = &direct<&cfunction::unwind_protect>;
  t[static_cast<int>(Op::SymbolName)] = &direct<&cfunction::symbolname>;
  t[static_cast<int>(Op::SymbolFunction)] = &direct<&cfunction::symbolFunction>;
  return t;
}
}  // namespace

const std::array<cfunction::DirectOp, kOpCount> cfunction::directOps = makeDirectOps();

_cell* cfunction::builtin(Op op, _cell* form, Frame f, long n, int& keep) {
  _cell* args = form->cdr;
  if (!enoughArgs(op, args)) return syntaxError(f, n);
  keep = kOpInfo[static_cast<int>(op)].keeps;
  if (DirectOp d = directOps[static_cast<int>(op)]) return d(*this, args, f, n);
  const bool one = isCons(args);
  const bool two = one && isCons(args->cdr);
  // Evaluates the first argument with the whole form protected.
  auto first = [&]() -> _cell* {
    CellFrame g(*this, form);
    return eval(args->car, f, n);
  };
  // Evaluates the second argument with the first value protected.
  auto second = [&](_cell* a) -> _cell* {
    CellFrame g(*this, a);
    return eval(args->cdr->car, f, n);
  };
  // A write to a file failed (a full disk, say): the operator fails rather than answer as if
  // it had written. Standard output is checked where the run ends.
  auto written = [](FILE* out) { return out == stdout || !std::ferror(out); };
  // A stream to write to: its open file, or false after the syntax error path (no open
  // stream) or the message that it was opened for input.
  auto outputOf = [&](_cell* s, FILE** out) -> bool {
    FILE* fp = isStreamValue(s) ? getStream(*this, s) : nullptr;
    if (!fp) {
      syntaxError(f, n);
      return false;
    }
    if (!fileOutput[intOf(s) - 1]) {
      fail(msg::NotOutputStream, f, n);
      return false;
    }
    *out = fp;
    return true;
  };
  // An optional stream argument, evaluated after the first.
  auto streamArg = [&](_cell* a, FILE** out) -> bool {
    _cell* s = second(a);
    return s && outputOf(s, out);
  };

  switch (op) {
    case Op::Quote:
      return args->car;
    case Op::Cons: {
      _cell* c = getCell();
      CellFrame g(*this, c, form);
      _cell* a = eval(args->car, f, n);
      if (!a) return nullptr;
      c->car = a;
      _cell* d = eval(args->cdr->car, f, n);
      if (!d) return nullptr;
      c->cdr = d;
      return c;
    }
    case Op::Print:
    case Op::Prin1:
    case Op::Princ: {
      _cell* v = first();
      if (!v) return nullptr;
      FILE* out = stdout;
      if (two && !streamArg(v, &out)) return nullptr;
      if (op == Op::Print) std::fputc('\n', out);
      if (op == Op::Princ)
        cprint::princS(v, out);
      else if (out == stdout)
        cprint::printS(v);
      else
        cprint::printSStrm(v, out);
      if (op == Op::Print) std::fputc(' ', out);
      if (!written(out)) return fail(msg::WriteFailed, f, n);
      return v;
    }
    case Op::Set:
      return tset(form, f, n);
    case Op::Defparameter:
      return tdefparameter(args, f, n, false);
    case Op::Defvar:
      return tdefparameter(args, f, n, true);
    case Op::Atom:
    case Op::Consp:
    case Op::Numberp:
    case Op::Integerp:
    case Op::Null:
    case Op::Stringp:
    case Op::Symbolp:
    case Op::Characterp:
    case Op::Arrayp: {
      _cell* v = eval(args->car, f, n);
      if (!v) return nullptr;
      switch (op) {
        case Op::Atom:
          return truth(!isCons(v));
        case Op::Consp:
          return truth(isCons(v));
        case Op::Numberp:
          return truth(isNumber(v));
        case Op::Integerp:
          return truth(isInt(v));
        case Op::Null:
          return truth(v == NILCell);
        case Op::Stringp:
          return truth(isString(v));
        case Op::Symbolp:
          return truth(isSymbol(v));
        case Op::Characterp:
          return truth(isChar(v));
        default:
          return truth(isArray(v));
      }
    }
    case Op::Eval: {
      _cell* v = first();
      if (!v) return nullptr;
      CellFrame g(*this, v);
      return eval(v, f, n);
    }
    case Op::NumberEqual:
    case Op::Eq:
    case Op::Eql:
    case Op::StringEqual:
    case Op::Rplaca:
    case Op::Rplacd: {
      _cell* a = first();
      if (!a) return nullptr;
      _cell* b = second(a);
      if (!b) return nullptr;
      switch (op) {
        case Op::NumberEqual: {
          bool ok;
          bool same = numberEqual(a, b, ok);
          if (!ok) return syntaxError(f, n);
          return truth(same);
        }
        case Op::Eq:
          return truth(eqCells(a, b));
        case Op::Eql:
          return truth(eqlCells(a, b));
        case Op::StringEqual:
          return made(StringEqual(a, b));
        case Op::Rplaca:
          return rplaca(a, b, f, n);
        default:
          return rplacd(a, b, f, n);
      }
    }
    case Op::Defun:
      return tdefun(args, f, n, 'f');
    case Op::Defmacro:
      return tdefun(args, f, n, 'm');
    case Op::Apply:
      return apply(args, args->cdr, f, n);
    case Op::Funcall:
      return funcall(args, args->cdr, f, n);
    case Op::Close:
      return tclose(args->car, f, n);
    case Op::Length: {
      _cell* v = eval(args->car, f, n);
      if (!v) return nullptr;
      return checkedMade(jlength(*this, v), f, n);
    }
    case Op::Function:
      return function(args->car, f, n);
    case Op::Spaces: {
      _cell* v = first();
      if (!v) return nullptr;
      if (!isInt(v) || intOf(v) < 0) return syntaxError(f, n);
      FILE* out = stdout;
      if (two && !streamArg(v, &out)) return nullptr;
      blanks(out, intOf(v));
      if (!written(out)) return fail(msg::WriteFailed, f, n);
      return TCell;
    }
    case Op::Terpri: {
      FILE* out = stdout;
      if (one) {
        _cell* s = eval(args->car, f, n);
        if (!s) return nullptr;
        if (!outputOf(s, &out)) return nullptr;
      }
      std::fputc('\n', out);
      if (!written(out)) return fail(msg::WriteFailed, f, n);
      return TCell;
    }
    case Op::CharEqual:
    case Op::CharLess: {
      _cell* a = first();
      if (!a) return nullptr;
      if (!isChar(a) || !two) return syntaxError(f, n);
      _cell* b = second(a);
      if (!b) return nullptr;
      if (!isChar(b)) return syntaxError(f, n);
      if (op == Op::CharEqual) return truth(byteOf(a) == byteOf(b));
      return truth(byteOf(a) < byteOf(b));
    }
    case Op::Gc:
      gc();
      return TCell;
    case Op::MultipleValueList: {
      _cell* v = eval(args->car, f, n);
      if (!v) return nullptr;
      if (valuesList) return valuesList;
      return cons(v, NILCell);
    }
    case Op::Bye:
    case Op::Quit:
    case Op::Exit:
      endProcess(0);
      return nullptr;
    case Op::SetArray: {
      _cell* v = one ? first() : NILCell;
      if (!v) return nullptr;
      if (!isCons(v)) return fail(msg::SetArrayFail, f, n);
      v->type = Type::Array;
      mutated();
      return v;
    }
    case Op::ArrayCar:
    case Op::ArrayCdr: {
      _cell* v = eval(args->car, f, n);
      if (!v) return nullptr;
      if (!isArray(v)) {
        say(msg::NotArray);
        return nullptr;
      }
      return op == Op::ArrayCar ? v->car : v->cdr;
    }
    case Op::Random:
    case Op::Sqrt:
    case Op::Exp:
    case Op::Log:
    case Op::Sin:
    case Op::Cos:
    case Op::Tan:
    case Op::Asin:
    case Op::Acos:
    case Op::Atan:
    case Op::Evenp:
    case Op::Floor:
    case Op::LocalTime:
    case Op::MakeTime: {
      _cell* x = args->car;
      switch (op) {
        case Op::Random:
          return Random(x, f, n);
        case Op::Sqrt:
          return jSqrt(x, f, n);
        case Op::Exp:
          return jExp(x, f, n);
        case Op::Log:
          return jLog(x, f, n);
        case Op::Sin:
          return jSin(x, f, n);
        case Op::Cos:
          return jCos(x, f, n);
        case Op::Tan:
          return jTan(x, f, n);
        case Op::Asin:
          return jAsin(x, f, n);
        case Op::Acos:
          return jAcos(x, f, n);
        case Op::Atan:
          return jAtan(x, f, n);
        case Op::Evenp:
          return jEvenp(x, f, n);
        case Op::Floor: {
          return tfloor(x, f, n);
        }
        case Op::LocalTime:
          return LocalTime(x, f, n);
        default:
          return MakeTime(x, f, n);
      }
    }
    case Op::Expt:
      return jExpt(args->car, args->cdr->car, f, n);
    case Op::Now:
      return now(*this);
    case Op::Error: {
      _cell* v = eval(args->car, f, n);
      if (!v) return nullptr;
      cprint::princS(v, stdout);
      std::fputc('\n', stdout);
      errorlisp(f, n);
      return nullptr;
    }
    case Op::Break:
      return breaklisp(f, n);
    case Op::Intern:
    case Op::InternWide: {
      return op == Op::Intern ? t_intern(args, f, n) : t_intern_wide(args, f, n);
    }
    default:  // Op::None, and the direct operators called above
      break;
  }
  return syntaxError(f, n);  // not reached: every operator is handled above
}
