// The keyword symbols, in the order they are interned at start-up. One list makes both the
// globals and the interning loop. X(global, text).
#pragma once

struct _cell;

#define ZELKORA_KEYWORDS(X)                                                                   \
  X(QUOTE, "QUOTE") X(CAR, "CAR") X(CDR, "CDR") X(CONS, "CONS") X(PRINT, "PRINT")            \
  X(PRIN1, "PRIN1") X(SET, "SET") X(NILCell, "NIL") X(TCell, "T") X(NIL, "NIL") X(T, "T")     \
  X(BACKQUOTE, "BACKQUOTE") X(BACK_QUOTE, "`") X(COMMA, ",") X(AST, "@") X(DEFUN, "DEFUN")   \
  X(AMPREST, "&REST") X(LET, "LET") X(LETAST, "LET*") X(SETQ, "SETQ") X(PROG, "PROG**")      \
  X(GO, "GO") X(RETURN, "RETURN") X(AND, "AND") X(OR, "OR") X(ONEPLUS, "1+")                 \
  X(ONEMINUS, "1-") X(COND, "COND") X(NUMBEREQUAL, "=") X(DEFMACRO, "DEFMACRO")              \
  X(AMPBODY, "&BODY") X(ATOM, "ATOM") X(LIST, "LIST") X(EQ, "EQ") X(EVAL, "EVAL")            \
  X(NULLP, "NULL") X(PROGN, "PROGN") X(IF, "IF") X(TREAD, "READ") X(TOPEN, "OPEN")           \
  X(COLDIRECTION, ":DIRECTION") X(COLINPUT, ":INPUT") X(COLOUTPUT, ":OUTPUT")                \
  X(TCLOSE, "CLOSE") X(PROG1, "PROG1") X(PLUS, "+") X(MINUS, "-") X(MINUSP, "MINUSP")        \
  X(EQL, "EQL") X(CHAR, "CHAR") X(STRINGP, "STRINGP") X(LENGTH, "LENGTH")                    \
  X(COERCE, "COERCE") X(STRING, "STRING") X(PRINC, "PRINC") X(FUNCTION, "FUNCTION")          \
  X(LAMBDA, "LAMBDA") X(SPACES, "SPACES") X(TERPRI, "TERPRI")                                \
  X(STRINGEQUAL, "STRING-EQUAL") X(READLINE, "READ-LINE") X(GC, "GC") X(BYE, "BYE")          \
  X(QUIT, "QUIT") X(EXIT, "EXIT") X(DEFPARAMETER, "DEFPARAMETER") X(DEFVAR, "DEFVAR")        \
  X(CONSP, "CONSP") X(NUMBERP, "NUMBERP") X(TIMES, "*") X(DIVIDE, "/") X(VALUES, "VALUES")   \
  X(MULTIPLEVALUELIST, "MULTIPLE-VALUE-LIST") X(EVAL1, "EVAL1") X(APPLY, "APPLY")            \
  X(FUNCALL, "FUNCALL") X(RPLACA, "RPLACA") X(RPLACD, "RPLACD") X(SYMBOLP, "SYMBOLP")        \
  X(CHARACTERP, "CHARACTERP") X(CHAREQUAL, "CHAR-EQUAL") X(CHARLESS, "CHAR<")                \
  X(MACROEXPAND, "MACROEXPAND") X(INTEGERP, "INTEGERP") X(SETARRAY, "SET-ARRAY")             \
  X(CHARACTER, "CHARACTER") X(ARRAYCAR, "ARRAY-CAR") X(ARRAYCDR, "ARRAY-CDR")                \
  X(ARRAYP, "ARRAYP") X(RANDOM, "RANDOM") X(SQRT, "SQRT") X(EXPT, "EXPT") X(EXP, "EXP")      \
  X(LOG, "LOG") X(SIN, "SIN") X(COS, "COS") X(TAN, "TAN") X(ASIN, "ASIN") X(ACOS, "ACOS")    \
  X(ATAN, "ATAN") X(EVENP, "EVENP") X(FLOOR, "FLOOR") X(NOW, "NOW")                          \
  X(LOCALTIME, "LOCAL-TIME") X(MAKETIME, "MAKE-TIME") X(CHARCODE, "CHAR-CODE")               \
  X(CODECHAR, "CODE-CHAR") X(CATCHLISP, "CATCH") X(THROWLISP, "THROW")                       \
  X(UNWINDPROTECT, "UNWIND-PROTECT") X(ABORT, "ABORT") X(ERRORLISP, "ERROR")                 \
  X(BREAKLISP, "BREAK") X(CONTINUELISP, "CONTINUE") X(SYMBOLNAME, "SYMBOL-NAME")             \
  X(TINTERN, "INTERN") X(TINTERNAL, ":INTERNAL") X(TINTERNWIDE, "INTERN-WIDE")               \
  X(SYMBOLFUNCTION, "SYMBOL-FUNCTION") X(MACRO, "MACRO") X(BLOCKLISP, "BLOCK")               \
  X(RETURNFROMLISP, "RETURN-FROM")

#define ZELKORA_DECLARE_KEYWORD(name, text) extern _cell* name;
ZELKORA_KEYWORDS(ZELKORA_DECLARE_KEYWORD)
#undef ZELKORA_DECLARE_KEYWORD

#define ZELKORA_COUNT_KEYWORD(name, text) +1
constexpr int kKeywordCount = 0 ZELKORA_KEYWORDS(ZELKORA_COUNT_KEYWORD);
#undef ZELKORA_COUNT_KEYWORD
