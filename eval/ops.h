// The operators the dispatcher recognises by their head symbol, listed once in dispatch order.
// X(op, keyword global, fewest arguments, keeps values): the dispatcher refuses a call with
// fewer argument forms than the third column (a syntax error, before anything is evaluated),
// and for a 1 in the fourth hands on the values list of the operator's result.
#pragma once

#define ZELKORA_OPERATORS(X)                                                                \
  X(Quote, QUOTE, 1, 0) X(Car, CAR, 1, 0) X(Cdr, CDR, 1, 0) X(Cons, CONS, 2, 0)               \
  X(Backquote, BACKQUOTE, 0, 0) X(Print, PRINT, 1, 0) X(Prin1, PRIN1, 1, 0)                   \
  X(Princ, PRINC, 1, 0) X(Set, SET, 0, 0) X(Defparameter, DEFPARAMETER, 0, 0)                 \
  X(Defvar, DEFVAR, 0, 0) X(Setq, SETQ, 0, 0) X(And, AND, 0, 1) X(Or, OR, 0, 1)               \
  X(OnePlus, ONEPLUS, 1, 0) X(OneMinus, ONEMINUS, 1, 0) X(Atom, ATOM, 1, 0)                   \
  X(Consp, CONSP, 1, 0) X(Numberp, NUMBERP, 1, 0) X(Integerp, INTEGERP, 1, 0)                 \
  X(Eval, EVAL, 1, 0) X(Times, TIMES, 0, 0) X(Plus, PLUS, 0, 0) X(Minus, MINUS, 0, 0)         \
  X(Divide, DIVIDE, 0, 0) X(NumberEqual, NUMBEREQUAL, 2, 0) X(Eq, EQ, 2, 0) X(Eql, EQL, 2, 0) \
  X(Null, NULLP, 1, 0) X(Progn, PROGN, 0, 1) X(Prog1, PROG1, 0, 1) X(Minusp, MINUSP, 1, 0)    \
  X(Cond, COND, 0, 1) X(If, IF, 0, 1) X(Defun, DEFUN, 0, 0) X(Defmacro, DEFMACRO, 0, 0)       \
  X(Let, LET, 0, 1) X(LetAst, LETAST, 0, 1) X(Prog, PROG, 0, 1) X(Go, GO, 0, 0)               \
  X(Apply, APPLY, 1, 1) X(Funcall, FUNCALL, 1, 1) X(List, LIST, 0, 0) X(Open, TOPEN, 0, 0)    \
  X(Close, TCLOSE, 1, 0) X(Read, TREAD, 0, 0) X(Char, CHAR, 0, 0) X(Stringp, STRINGP, 1, 0)   \
  X(Length, LENGTH, 1, 0) X(Coerce, COERCE, 0, 0) X(Function, FUNCTION, 1, 0)                 \
  X(Spaces, SPACES, 1, 0) X(Terpri, TERPRI, 0, 0) X(StringEqual, STRINGEQUAL, 2, 0)           \
  X(CharEqual, CHAREQUAL, 1, 0) X(CharLess, CHARLESS, 1, 0) X(Gc, GC, 0, 0)                   \
  X(MultipleValueList, MULTIPLEVALUELIST, 1, 0) X(Rplaca, RPLACA, 2, 0) X(Rplacd, RPLACD, 2, 0)\
  X(Symbolp, SYMBOLP, 1, 0) X(Characterp, CHARACTERP, 1, 0) X(Bye, BYE, 0, 0)                 \
  X(Quit, QUIT, 0, 0) X(Exit, EXIT, 0, 0) X(Macroexpand, MACROEXPAND, 1, 0)                   \
  X(SetArray, SETARRAY, 0, 0) X(ArrayCar, ARRAYCAR, 1, 0) X(ArrayCdr, ARRAYCDR, 1, 0)         \
  X(Arrayp, ARRAYP, 1, 0) X(Random, RANDOM, 1, 0) X(Sqrt, SQRT, 1, 0) X(Expt, EXPT, 2, 0)     \
  X(Exp, EXP, 1, 0) X(Log, LOG, 1, 0) X(Sin, SIN, 1, 0) X(Cos, COS, 1, 0) X(Tan, TAN, 1, 0)   \
  X(Asin, ASIN, 1, 0) X(Acos, ACOS, 1, 0) X(Atan, ATAN, 1, 0) X(Evenp, EVENP, 1, 0)           \
  X(Floor, FLOOR, 1, 1) X(Now, NOW, 0, 0) X(LocalTime, LOCALTIME, 1, 0)                       \
  X(MakeTime, MAKETIME, 1, 0) X(CharCode, CHARCODE, 1, 0) X(CodeChar, CODECHAR, 1, 0)         \
  X(Catch, CATCHLISP, 0, 1) X(Throw, THROWLISP, 0, 0) X(Block, BLOCKLISP, 0, 1)               \
  X(ReturnFrom, RETURNFROMLISP, 0, 0) X(UnwindProtect, UNWINDPROTECT, 0, 0)                   \
  X(Error, ERRORLISP, 1, 0) X(Break, BREAKLISP, 0, 0) X(SymbolName, SYMBOLNAME, 0, 0)         \
  X(Intern, TINTERN, 0, 1) X(InternWide, TINTERNWIDE, 0, 1)                                   \
  X(SymbolFunction, SYMBOLFUNCTION, 0, 0)

enum class Op : unsigned char {
  None,
#define ZELKORA_OP_ENUM(op, kw, fewest, keeps) op,
  ZELKORA_OPERATORS(ZELKORA_OP_ENUM)
#undef ZELKORA_OP_ENUM
};

struct OpInfo {
  unsigned char fewest;
  bool keeps;
};

inline constexpr OpInfo kOpInfo[] = {
    {0, false},  // Op::None
#define ZELKORA_OP_INFO(op, kw, fewest, keeps) {fewest, keeps != 0},
    ZELKORA_OPERATORS(ZELKORA_OP_INFO)
#undef ZELKORA_OP_INFO
};

inline constexpr int kOpCount = sizeof(kOpInfo) / sizeof(kOpInfo[0]);
constexpr bool fewestAtMostTwo() {
  for (const OpInfo& i : kOpInfo)
    if (i.fewest > 2) return false;
  return true;
}
static_assert(fewestAtMostTwo(), "the dispatcher counts up to two arguments");
static_assert(kOpCount <= 256, "a symbol holds its operator in one byte");

struct _cell;
// The operator a head symbol names, or Op::None.
Op opOf(const _cell* head);
// Fills the table once the keyword symbols exist.
void initOperators();
