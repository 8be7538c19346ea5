// The built-in operators, one row each, in dispatch order:
//   X(op, keyword symbol, fewest argument forms, properties, group in the README's table)
// The routine of row `op` is the evaluator's member `lisp<op>` (argument forms, frame, count),
// declared and put into the dispatch table from this list; doc/operators.py reads the groups.
// The dispatcher refuses a call with fewer argument forms than the third column (a syntax
// error, before anything is evaluated).
#pragma once

// What the evaluator and the library's twins know of an operator.
enum OpProperty : unsigned {
  kKeeps = 1,       // its result's values list is handed on (a result it made carries none)
  kBare = 2,        // runs before the step's start looks at collection, Ctrl-C and the stack
  kPlain = 4,       // evaluates every argument, runs no user code, keeps or changes no cons of
                    // its argument forms
  kTotal = 8,       // given exactly its fewest arguments, answers any values without failing
  kAnyCount = 16,   // the same for any number of arguments
  kOnCons = 32,     // given one argument, answers without failing when it is a cons
  kOnNumber = 64,   // the same when it is an integer or a float
};

#define ZELKORA_OPERATORS(X)                                                                 \
  X(Quote, QUOTE, 1, 0, Control) X(Car, CAR, 1, kPlain | kOnCons, Lists)                     \
  X(Cdr, CDR, 1, kPlain | kOnCons, Lists) X(Cons, CONS, 2, kPlain | kTotal, Lists)           \
  X(Backquote, BACKQUOTE, 0, 0, Control) X(Print, PRINT, 1, 0, Files)                        \
  X(Prin1, PRIN1, 1, 0, Files) X(Princ, PRINC, 1, 0, Files) X(Set, SET, 0, 0, Control)       \
  X(Defparameter, DEFPARAMETER, 0, 0, Control) X(Defvar, DEFVAR, 0, 0, Control)              \
  X(Setq, SETQ, 0, 0, Control) X(And, AND, 0, kKeeps, Control) X(Or, OR, 0, kKeeps, Control) \
  X(OnePlus, ONEPLUS, 1, kPlain | kOnNumber, Numbers)                                        \
  X(OneMinus, ONEMINUS, 1, kPlain | kOnNumber, Numbers)                                      \
  X(Atom, ATOM, 1, kPlain | kTotal, Lists) X(Consp, CONSP, 1, kPlain | kTotal, Lists)        \
  X(Numberp, NUMBERP, 1, kPlain | kTotal, Numbers)                                           \
  X(Integerp, INTEGERP, 1, kPlain | kTotal, Numbers) X(Eval, EVAL, 1, 0, Control)            \
  X(Times, TIMES, 0, kPlain, Numbers) X(Plus, PLUS, 0, kPlain, Numbers)                      \
  X(Minus, MINUS, 0, kPlain, Numbers) X(Divide, DIVIDE, 0, kPlain, Numbers)                  \
  X(NumberEqual, NUMBEREQUAL, 2, kPlain, Numbers) X(Eq, EQ, 2, kPlain | kTotal, Control)     \
  X(Eql, EQL, 2, kPlain | kTotal, Control) X(Null, NULLP, 1, kPlain | kTotal, Lists)         \
  X(Progn, PROGN, 0, kKeeps, Control) X(Prog1, PROG1, 0, kKeeps, Control)                    \
  X(Minusp, MINUSP, 1, kPlain, Numbers) X(Cond, COND, 0, kKeeps, Control)                    \
  X(If, IF, 0, kKeeps, Control) X(Defun, DEFUN, 0, 0, Control)                               \
  X(Defmacro, DEFMACRO, 0, 0, Control) X(Let, LET, 0, kKeeps, Control)                       \
  X(LetAst, LETAST, 0, kKeeps, Control) X(Prog, PROG, 0, kKeeps, Control)                    \
  X(Go, GO, 0, 0, Control) X(Apply, APPLY, 1, kKeeps, Control)                               \
  X(Funcall, FUNCALL, 1, kKeeps, Control) X(List, LIST, 0, kPlain | kAnyCount, Lists)        \
  X(Open, TOPEN, 0, 0, Files) X(Close, TCLOSE, 1, 0, Files) X(Read, TREAD, 0, 0, Files)      \
  X(Char, CHAR, 0, 0, Text) X(Stringp, STRINGP, 1, kPlain | kTotal, Text)                    \
  X(Length, LENGTH, 1, kPlain, Lists) X(Coerce, COERCE, 0, 0, Text)                          \
  X(Function, FUNCTION, 1, 0, Control) X(Spaces, SPACES, 1, 0, Files)                        \
  X(Terpri, TERPRI, 0, 0, Files) X(StringEqual, STRINGEQUAL, 2, kTotal, Text)                \
  X(CharEqual, CHAREQUAL, 1, 0, Text) X(CharLess, CHARLESS, 1, 0, Text)                      \
  X(Gc, GC, 0, 0, Session) X(MultipleValueList, MULTIPLEVALUELIST, 1, 0, Control)            \
  X(Rplaca, RPLACA, 2, 0, Lists) X(Rplacd, RPLACD, 2, 0, Lists)                              \
  X(Symbolp, SYMBOLP, 1, kPlain | kTotal, Text)                                              \
  X(Characterp, CHARACTERP, 1, kPlain | kTotal, Text) X(Bye, BYE, 0, 0, Session)             \
  X(Quit, QUIT, 0, 0, Session) X(Exit, EXIT, 0, 0, Session)                                  \
  X(Macroexpand, MACROEXPAND, 1, 0, Control) X(SetArray, SETARRAY, 0, 0, Tables)             \
  X(ArrayCar, ARRAYCAR, 1, 0, Tables) X(ArrayCdr, ARRAYCDR, 1, 0, Tables)                    \
  X(Arrayp, ARRAYP, 1, kPlain | kTotal, Tables) X(Random, RANDOM, 1, 0, Numbers)             \
  X(Sqrt, SQRT, 1, 0, Numbers) X(Expt, EXPT, 2, 0, Numbers) X(Exp, EXP, 1, 0, Numbers)       \
  X(Log, LOG, 1, 0, Numbers) X(Sin, SIN, 1, 0, Numbers) X(Cos, COS, 1, 0, Numbers)           \
  X(Tan, TAN, 1, 0, Numbers) X(Asin, ASIN, 1, 0, Numbers) X(Acos, ACOS, 1, 0, Numbers)       \
  X(Atan, ATAN, 1, 0, Numbers) X(Evenp, EVENP, 1, kPlain, Numbers)                           \
  X(Floor, FLOOR, 1, kKeeps, Numbers) X(Now, NOW, 0, 0, Time)                                \
  X(LocalTime, LOCALTIME, 1, 0, Time) X(MakeTime, MAKETIME, 1, 0, Time)                      \
  X(CharCode, CHARCODE, 1, 0, Text) X(CodeChar, CODECHAR, 1, 0, Text)                        \
  X(Catch, CATCHLISP, 0, kKeeps, Control) X(Throw, THROWLISP, 0, 0, Control)                 \
  X(Block, BLOCKLISP, 0, kKeeps, Control) X(ReturnFrom, RETURNFROMLISP, 0, 0, Control)       \
  X(UnwindProtect, UNWINDPROTECT, 0, 0, Control) X(Error, ERRORLISP, 1, 0, Session)          \
  X(Break, BREAKLISP, 0, 0, Session) X(SymbolName, SYMBOLNAME, 0, 0, Text)                   \
  X(Intern, TINTERN, 0, kKeeps, Text) X(InternWide, TINTERNWIDE, 0, kKeeps, Text)            \
  X(SymbolFunction, SYMBOLFUNCTION, 0, 0, Control)                                           \
  X(Values, VALUES, 0, kKeeps | kBare, Control)                                              \
  X(ReadLine, READLINE, 0, kKeeps | kBare, Files)                                            \
  X(Eval1, EVAL1, 0, kKeeps | kBare, Control)

enum class Op : unsigned char {
  None,
#define ZELKORA_OP_ENUM(op, kw, fewest, properties, group) op,
  ZELKORA_OPERATORS(ZELKORA_OP_ENUM)
#undef ZELKORA_OP_ENUM
};

struct OpInfo {
  unsigned char fewest;
  unsigned char properties;  // OpProperty bits
  bool has(unsigned p) const { return (properties & p) != 0; }
};

// Op::None is a call of anything else (a user function, a lambda form): its values are its own.
inline constexpr OpInfo kOpInfo[] = {
    {0, kKeeps},
#define ZELKORA_OP_INFO(op, kw, fewest, properties, group) {fewest, (properties)},
    ZELKORA_OPERATORS(ZELKORA_OP_INFO)
#undef ZELKORA_OP_INFO
};

inline constexpr int kOpCount = sizeof(kOpInfo) / sizeof(kOpInfo[0]);
// The bare operators are the last rows, so the step tells them by their number alone.
inline constexpr Op kFirstBare = Op::Values;
constexpr bool rowsFit() {
  for (int op = 0; op < kOpCount; op++) {
    const OpInfo& i = kOpInfo[op];
    if (i.fewest > 2) return false;  // the dispatcher counts up to two argument forms
    if (((i.properties & kBare) != 0) != (op >= static_cast<int>(kFirstBare))) return false;
    if ((i.properties & kBare) && i.fewest) return false;  // a bare operator checks its own
  }
  return true;
}
static_assert(rowsFit(), "an operator row the dispatcher cannot take");
static_assert(kOpCount <= 256, "a symbol holds its operator in one byte");

inline const OpInfo& opInfo(Op op) { return kOpInfo[static_cast<int>(op)]; }
// Fills the table once the keyword symbols exist.
void initOperators();
