// The operators the dispatcher recognises by their head symbol, listed once in dispatch order.
// X(op, keyword global)
#pragma once

#define ZELKORA_OPERATORS(X)                                                                   \
  X(Quote, QUOTE) X(Car, CAR) X(Cdr, CDR) X(Cons, CONS) X(Backquote, BACKQUOTE)               \
  X(Print, PRINT) X(Prin1, PRIN1) X(Princ, PRINC) X(Set, SET) X(Defparameter, DEFPARAMETER)   \
  X(Defvar, DEFVAR) X(Setq, SETQ) X(And, AND) X(Or, OR) X(OnePlus, ONEPLUS)                   \
  X(OneMinus, ONEMINUS) X(Atom, ATOM) X(Consp, CONSP) X(Numberp, NUMBERP)                     \
  X(Integerp, INTEGERP) X(Eval, EVAL) X(Times, TIMES) X(Plus, PLUS) X(Minus, MINUS)           \
  X(Divide, DIVIDE) X(NumberEqual, NUMBEREQUAL) X(Eq, EQ) X(Eql, EQL) X(Null, NULLP)          \
  X(Progn, PROGN) X(Prog1, PROG1) X(Minusp, MINUSP) X(Cond, COND) X(If, IF) X(Defun, DEFUN)   \
  X(Defmacro, DEFMACRO) X(Let, LET) X(LetAst, LETAST) X(Prog, PROG) X(Go, GO) X(Apply, APPLY) \
  X(Funcall, FUNCALL) X(List, LIST) X(Open, TOPEN) X(Close, TCLOSE) X(Read, TREAD)            \
  X(Char, CHAR) X(Stringp, STRINGP) X(Length, LENGTH) X(Coerce, COERCE)                       \
  X(Function, FUNCTION) X(Spaces, SPACES) X(Terpri, TERPRI) X(StringEqual, STRINGEQUAL)       \
  X(CharEqual, CHAREQUAL) X(CharLess, CHARLESS) X(Gc, GC)                                     \
  X(MultipleValueList, MULTIPLEVALUELIST) X(Rplaca, RPLACA) X(Rplacd, RPLACD)                 \
  X(Symbolp, SYMBOLP) X(Characterp, CHARACTERP) X(Bye, BYE) X(Quit, QUIT) X(Exit, EXIT)       \
  X(Macroexpand, MACROEXPAND) X(SetArray, SETARRAY) X(ArrayCar, ARRAYCAR)                     \
  X(ArrayCdr, ARRAYCDR) X(Arrayp, ARRAYP) X(Random, RANDOM) X(Sqrt, SQRT) X(Expt, EXPT)       \
  X(Exp, EXP) X(Log, LOG) X(Sin, SIN) X(Cos, COS) X(Tan, TAN) X(Asin, ASIN) X(Acos, ACOS)     \
  X(Atan, ATAN) X(Evenp, EVENP) X(Floor, FLOOR) X(Now, NOW) X(LocalTime, LOCALTIME)           \
  X(MakeTime, MAKETIME) X(CharCode, CHARCODE) X(CodeChar, CODECHAR) X(Catch, CATCHLISP)       \
  X(Throw, THROWLISP) X(Block, BLOCKLISP) X(ReturnFrom, RETURNFROMLISP)                       \
  X(UnwindProtect, UNWINDPROTECT) X(Error, ERRORLISP) X(Break, BREAKLISP)                     \
  X(SymbolName, SYMBOLNAME) X(Intern, TINTERN) X(InternWide, TINTERNWIDE)                     \
  X(SymbolFunction, SYMBOLFUNCTION)

enum class Op : unsigned char {
  None,
#define ZELKORA_OP_ENUM(op, kw) op,
  ZELKORA_OPERATORS(ZELKORA_OP_ENUM)
#undef ZELKORA_OP_ENUM
};

struct _cell;
// The operator a head symbol names, or Op::None.
Op opOf(const _cell* head);
// Fills the table once the keyword symbols exist.
void initOperators();
