// twins of the library's macros: expansions built natively, EQUAL to the texts' expansions
//
// Each twin is written against the exact text of its macro and of every library function that
// text calls while expanding: the texts below. The library's texts are built into the program,
// so a start does not compare them again; the unit tests do (macroTwinsMismatched), and fail
// when a library text is edited without its twin. A start takes from the definitions, by
// place, the objects a text puts into its expansion by identity (its uninterned symbols, its
// literal 0, its quoted error forms, its lookup tables); the tests check that those places are
// where the texts' patterns capture them.
//
// A twin answers kRunText whenever the text would fail (CAR of an atom, splicing an atom, an
// argument list its lambda list refuses), so the text runs and fails as it always did. Nothing
// a macro's text does before it fails can be seen, so running it from the start is exact.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "eval/ops.h"
#include "library/twins.h"
#include "numbers/numbers.h"

namespace {
// ---- matching a definition against its text ----------------------------------------------
// A pattern is written in the reader's syntax, quote, backquote, comma and comma-at included,
// and is read the way the reader rewrites them, compared with the definition as it is read.
// Two extra tokens: #:NAME matches an uninterned symbol of that name (the same symbol wherever
// it recurs) and ?NAME matches anything; both record what they met under their name.
using Captures = std::map<std::string, _cell*>;

class Matcher {
 public:
  Matcher(const char* pattern, Captures& caught) : p_(pattern), caught_(caught) {}
  bool matches(_cell* c) {
    if (!form(c)) return false;
    blanks();
    return *p_ == 0;
  }

 private:
  const char* p_;
  Captures& caught_;

  void blanks() {
    while (*p_ == ' ' || *p_ == '\n' || *p_ == '\t') p_++;
  }
  static bool delimiter(char c) {
    return c == 0 || c == ' ' || c == '\n' || c == '\t' || c == '(' || c == ')' || c == '"' ||
           c == '\'' || c == '`' || c == ',';
  }
  static bool named(const _cell* c, const char* name) {
    return isSymbol(c) && c->attr != Attr::Uninterned && std::strcmp(nameOf(c), name) == 0;
  }
  bool record(const std::string& name, _cell* c) {
    auto [it, fresh] = caught_.emplace(name, c);
    return fresh || it->second == c;
  }

  // One element of the list at l, advancing l: a comma and an at-sign stand as elements of
  // their own before the form they mark.
  bool element(_cell*& l) {
    if (*p_ == ',') {
      p_++;
      if (!isCons(l) || !named(l->car, ",")) return false;
      l = l->cdr;
      if (*p_ == '@') {
        p_++;
        if (!isCons(l) || !named(l->car, "@")) return false;
        l = l->cdr;
      }
      blanks();
    }
    if (!isCons(l) || !form(l->car)) return false;
    l = l->cdr;
    return true;
  }

  // 'x, `x and #'x: the list of the head and x.
  bool prefixed(_cell* c, const char* head) {
    if (!isCons(c) || !named(c->car, head)) return false;
    _cell* rest = c->cdr;
    return element(rest) && rest == NILCell;
  }

  bool form(_cell* c) {
    blanks();
    char ch = *p_;
    if (ch == '(') {
      p_++;
      for (;;) {
        blanks();
        if (*p_ == ')') return p_++, c == NILCell;
        if (*p_ == 0) return false;
        if (*p_ == '.' && delimiter(p_[1])) {
          p_++;
          if (!form(c)) return false;
          blanks();
          return *p_ == ')' && (p_++, true);
        }
        if (!element(c)) return false;
      }
    }
    if (ch == '\'') return p_++, prefixed(c, "QUOTE");
    if (ch == '`') return p_++, prefixed(c, "BACKQUOTE");
    if (ch == '#' && p_[1] == '\'') return p_ += 2, prefixed(c, "FUNCTION");
    if (ch == '"') {
      std::string text;
      for (p_++; *p_ != '"'; p_++) {
        if (*p_ == '\\') p_++;
        if (*p_ == 0) return false;
        text.push_back(*p_);
      }
      p_++;
      std::string bytes;
      return isString(c) && stringBytes(c, bytes) && bytes == text;
    }
    if (ch == 0 || ch == ')') return false;
    bool uninterned = ch == '#' && p_[1] == ':';
    bool capture = ch == '?';
    p_ += uninterned ? 2 : capture ? 1 : 0;
    std::string token;
    for (; !delimiter(*p_); p_++)
      token.push_back(*p_ >= 'a' && *p_ <= 'z' ? static_cast<char>(*p_ - 32) : *p_);
    if (token.empty()) return false;
    if (capture) return record(token, c);
    if (uninterned)
      return isSymbol(c) && c->attr == Attr::Uninterned && token == nameOf(c) &&
             record("#:" + token, c);
    size_t sign = token[0] == '-' ? 1 : 0;
    if (sign < token.size() && token.find_first_not_of("0123456789", sign) == std::string::npos)
      return isInt(c) && std::to_string(intOf(c)) == token;
    return named(c, token.c_str());
  }
};

bool matches(_cell* c, const char* pattern, Captures& caught) {
  return Matcher(pattern, caught).matches(c);
}

// ---- the library's texts --------------------------------------------------------------------
// Each is a definition as the function table holds it: (lambda-list (BLOCK name . body)).
constexpr const char* kProg = R"lisp(
((args &rest bd) (block prog `(block nil (prog** ,args ,@bd)) ))
)lisp";

constexpr const char* kReturn = R"lisp(
((&rest x) (block return `(return-from nil ,@x)))
)lisp";

constexpr const char* kLoop1 = R"lisp(
((&rest b) (block loop1 (let ((l$ '#:LABEL))
  (append1 (append1 (list 'prog '() l$) b) (list (list 'go l$))))))
)lisp";

constexpr const char* kLoop = R"lisp(
((&rest b) (block loop (let ((l$ '#:LABEL))
  (append1 (append1 (list 'prog '() l$) b) (list (list 'go l$))))))
)lisp";

constexpr const char* kDolist = R"lisp(
((&rest b) (block dolist (let ((c$ '#:LIST))
  (list 'let `((,c$ ,(car (cdr (car b)))))(append1(list 'prog `(,(car (car b))) c$ `(if (null ,c$) (setq ,(car (car b)) nil)) `(if (null ,c$) ,(list 'return (cond ((null (cdr (cdr (car b)))) nil) (t (car (cdr (cdr (car b)))))))) `(setq ,(car (car b)) (car ,c$)))(append1 (cdr b) (list `(setq ,c$ (cdr ,c$)) `(go ,c$))) ) ))))
)lisp";

constexpr const char* kDotimes = R"lisp(
((&rest b) (block dotimes (let ((c$ '#:COUNT))
  `(prog (,(car (car b)))(setq ,(car (car b)) ?ZERO) ,c$ (if (let ((,c$ ,(car (cdr (car b))))) (or (minusp ,c$) (not (minusp (- ,(car (car b)) ,c$))))) (return ,(cond ((null (cdr (cdr (car b)))) nil) (t (car (cdr (cdr (car b))))))) ),@(cdr b)(setq ,(car (car b)) (1+ ,(car (car b))))(go ,c$) ) )))
)lisp";

constexpr const char* kWithOpenFile = R"lisp(
((a &rest b) (block with-open-file
  `(let ((,(car a) (open ,@(cdr a))))(unwind-protect(if (null ,(car a)) nil(progn ,@b) )(if (not (null ,(car a)))(progn (close ,(car a)) (print 'closed)) ) ) ) ))
)lisp";

constexpr const char* kLambda = R"lisp(
((&rest b) (block lambda `(function (lambda ,@b))))
)lisp";

constexpr const char* kMvSetq = R"lisp(
((a b) (block multiple-value-setq `(eval (list 'multiple-value-setq$ ',a (multiple-value-list ,b)))))
)lisp";

constexpr const char* kMvSetq2 = R"lisp(
((a b) (block multiple-value-setq$ `(prog1 ,@(multiple-value-born$ a b))))
)lisp";

constexpr const char* kMvBorn = R"lisp(
((arg value) (block multiple-value-born$ (cond((null arg) nil)((null value) (cons (list 'setq (car arg) 'nil) (multiple-value-born$ (cdr arg) value)))(t (cons (list 'setq (car arg) (list 'quote (car value))) (multiple-value-born$ (cdr arg) (cdr value)))) ) ))
)lisp";

constexpr const char* kMvBind = R"lisp(
((a b &rest c) (block multiple-value-bind (let ((h$ '#:VALUES))
  `(let ((,h$ (multiple-value-list ,b))) (let ,(mapcar #'list a) (eval (list 'multiple-value-setq$ ',a ,h$)) ,@c) ) )))
)lisp";

constexpr const char* kMapcar = R"lisp(
((func a &rest b) (block mapcar (cond((atom a) nil)((and (not (atom b)) (atom (car b))) nil)((atom b) (cons(funcall func (car a))(mapcar func (cdr a)) ) )(t (cons (apply func (cons (car a) (list (car (car b)))))(mapcar func (cdr a) (cdr (car b))) ) ) ) ))
)lisp";

constexpr const char* kNot = R"lisp(
((e) (block not (cond ((null e) t) (t nil))))
)lisp";

constexpr const char* kAppend1 = R"lisp(
((x y) (block append1 (cond ((atom x) y) (t (cons (car x) (append1 (cdr x) y))))))
)lisp";

constexpr const char* kCase = R"lisp(
((key &rest body) (block case `(cond ,@(make-case key body) ) ))
)lisp";

constexpr const char* kMakeCase = R"lisp(
((key body) (block make-case (cond((null body) nil)((or (eq (car (car body)) 'otherwise) (eq (car (car body)) t)) (cons `(t ,@(cdr (car  body))) (make-case key (cdr body))))((atom (car (car body))) (cons `((eql ,key ',(car (car body))) ,@(cdr (car body))) (make-case key (cdr body))))(t (cons `((member ,key ',(car (car body))) ,@(cdr (car body))) (make-case key (cdr body)))) ) ))
)lisp";

constexpr const char* kSetf = R"lisp(
((x? y?) (block setf (cond((symbolp x?) `(setq ,x? ,y?))((or (atom x?) (atom (cdr x?))) '?NOPLACE)((eq (car x?) 'car) `(progn (rplaca ,(cadr x?) ,y?) ,y?))((or (eq (car x?) 'cdr) (eq (car x?) 'rest)) `(progn (rplacd ,(cadr x?) ,y?) ,y?))((and (eq (car x?) 'nth) (consp (cddr x?))) `(progn (rplaca (nthcdr ,(cadr x?) ,(caddr x?)) ,y?) ,y?))((find-nth-name (car x?)) `(progn (rplaca (nthcdr ,(cdr (find-nth-name (car x?))) ,(cadr x?)) ,y?) ,y?))((find-a-name (car x?)) `(progn (rplaca (,(cdr (find-a-name (car x?))) ,(cadr x?)) ,y?) ,y?))((find-d-name (car x?)) `(progn (rplacd (,(cdr (find-d-name (car x?))) ,(cadr x?)) ,y?) ,y?))((and (eq (car x?) 'gethash) (consp (cddr x?))) `(setf-hash ,(cadr x?) ,(caddr x?) ,y?))((eq (car x?) 'aref) `(progn (rplaca (pre-aref ,y? ,@(cdr x?)) ,y?) ,y?))(t '?UNKNOWN) ) ))
)lisp";

// SETF's two error forms, each a quoted constant of its own.
constexpr const char* kSetfError = R"lisp(
(error "エラー: SETFに対してその関数は定義されていません")
)lisp";

constexpr const char* kFindNthName = R"lisp(
((name) (block find-nth-name (assoc name '?NTHTABLE)))
)lisp";
constexpr const char* kFindAName = R"lisp(
((name) (block find-a-name (assoc name '?ATABLE)))
)lisp";
constexpr const char* kFindDName = R"lisp(
((name) (block find-d-name (assoc name '?DTABLE)))
)lisp";

constexpr const char* kAssoc = R"lisp(
((x alist &rest r) (block assoc (keys$ r '(:test t :test-not t :key t))(let ((test (key$ r :test #'eq)) (tn (key$ r :test-not 'nil)) (key (key$ r :key 'nil)) (v nil))(cond((atom alist) nil)(t (setq v (if key (apply key (list (car (car alist)))) (car (car alist))))(if (if tn (null (apply tn (list x v))) (apply test (list x v))) (car alist) (assoc x (cdr alist) :test test :test-not tn :key key))) ) ) ))
)lisp";

constexpr const char* kGreaterOrEqual = R"lisp(
((x y) (block >= (cond ((minusp (- x y)) nil) (t t))))
)lisp";

constexpr const char* kCadr = "((x) (block cadr (car (cdr x))))";
constexpr const char* kCddr = "((x) (block cddr (cdr (cdr x))))";
constexpr const char* kCaddr = "((x) (block caddr (car (cddr x))))";

// ---- what the expansions are made of --------------------------------------------------------
// The library's own names the expansions use (the built-ins' are the keyword symbols).
struct LibraryNames {
  _cell *prog, *rest, *not_, *closed, *mvSetq2, *member, *otherwise, *nth, *nthcdr, *gethash,
      *setfHash, *aref, *preAref;
};
LibraryNames gNames;

bool findNames(cfunction& m) {
  struct Row {
    _cell** slot;
    const char* name;
  };
  const Row rows[] = {
      {&gNames.prog, "PROG"},
      {&gNames.rest, "REST"},
      {&gNames.not_, "NOT"},
      {&gNames.closed, "CLOSED"},
      {&gNames.mvSetq2, "MULTIPLE-VALUE-SETQ$"},
      {&gNames.member, "MEMBER"},
      {&gNames.otherwise, "OTHERWISE"},
      {&gNames.nth, "NTH"},
      {&gNames.nthcdr, "NTHCDR"},
      {&gNames.gethash, "GETHASH"},
      {&gNames.setfHash, "SETF-HASH"},
      {&gNames.aref, "AREF"},
      {&gNames.preAref, "PRE-AREF"},
  };
  for (const Row& r : rows)
    if (!(*r.slot = m.CheckStringCell(r.name))) return false;
  return true;
}

// Objects the texts put into their expansions by identity, taken from their definitions.
_cell* gLoopLabel = nullptr;   // LOOP's #:LABEL
_cell* gLoop1Label = nullptr;  // LOOP1's own #:LABEL
_cell* gDolistCursor = nullptr;
_cell* gDotimesZero = nullptr;
_cell* gDotimesCount = nullptr;  // DOTIMES' #:COUNT
_cell* gBindValues = nullptr;
_cell* gNoPlace = nullptr;       // SETF's error form for a place that is an atom or too short
_cell* gUnknownPlace = nullptr;  // and for a place of no known kind
_cell* gNthTable = nullptr;      // the association lists of find-nth-name, find-a-name, find-d-name
_cell* gATable = nullptr;
_cell* gDTable = nullptr;

// ---- building -------------------------------------------------------------------------------
// The list of xs, ending in tail. Allocation never collects, so nothing here needs protecting
// until the caller copies the expansion.
_cell* list(std::initializer_list<_cell*> xs, _cell* tail = NILCell) {
  _cell* r = tail;
  for (auto it = xs.end(); it != xs.begin();) r = gMachine->cons(*--it, r);
  return r;
}

// The elements of l up to its first atom, in fresh conses ending in tail: what both APPEND1 and
// a backquote splice leave of a list (a dotted tail is dropped).
_cell* elements(_cell* l, _cell* tail) {
  _cell* head = tail;
  _cell* last = nullptr;
  for (; isCons(l); l = l->cdr) {
    _cell* c = gMachine->cons(l->car, tail);
    if (last)
      last->cdr = c;
    else
      head = c;
    last = c;
  }
  return head;
}

// Backquote splices NIL and lists; any other value fails.
bool splicable(const _cell* v) { return v == NILCell || isCons(v); }

// A twin's forms must be a finite tree (once any cons has been changed in place they may be
// circular, and the texts' splices and the final copy treat cycles in ways not reproduced here),
// and the pool must hold what the twin allocates: its expansion, then the caller's copy of it,
// with no collection in between, where the text expands in evaluation steps that may collect.
// An expansion has at most 8 conses of its own per cons of the forms, plus 64, and repeats no
// form more than `repeats` times (6, or CASE's clause count for its key).
bool fits(_cell* forms, long repeats = 6) {
  constexpr long kMaxConses = 100000;
  static std::vector<_cell*> work;  // reused: twins never re-enter one another
  work.assign(1, forms);
  long size = 0;
  while (!work.empty()) {
    _cell* c = work.back();
    work.pop_back();
    while (isCons(c)) {
      if (++size > kMaxConses) return false;
      if (isCons(c->car)) work.push_back(c->car);
      c = c->cdr;
    }
  }
  long own = 8 * size + 64;
  return gMachine->roomFor(2 * own + size * std::max(repeats, 6L));
}

// The macro lambda list (a b) takes two forms and a tail that is any symbol.
bool twoForms(_cell* forms) {
  return isCons(forms) && isCons(forms->cdr) && isSymbol(forms->cdr->cdr);
}

// ---- control macros -------------------------------------------------------------------------
// (prog args . body) is (block nil (prog** args . body)).
_cell* progTwin(cfunction&, _cell* forms) {
  if (!isCons(forms) || !splicable(forms->cdr) || !fits(forms)) return kRunText;
  return list(
      {BLOCKLISP, NILCell, gMachine->cons(PROG, gMachine->cons(forms->car, elements(forms->cdr, NILCell)))});
}

_cell* returnTwin(cfunction&, _cell* forms) {
  if (!splicable(forms) || !fits(forms)) return kRunText;
  return gMachine->cons(RETURNFROMLISP, gMachine->cons(NILCell, elements(forms, NILCell)));
}

// (prog nil label body... (go label)), whatever shape the body has.
_cell* loopWith(_cell* label, _cell* forms) {
  if (!twinConstantsIntact() || !fits(forms)) return kRunText;
  return list({gNames.prog, NILCell, label}, elements(forms, list({list({GO, label})})));
}
_cell* loopTwin(cfunction&, _cell* forms) { return loopWith(gLoopLabel, forms); }
_cell* loop1Twin(cfunction&, _cell* forms) { return loopWith(gLoop1Label, forms); }

// The parts of (dolist|dotimes (var form [result]) . body) that the texts reach with CAR and
// CDR; false where one of those would fail.
struct IterationHead {
  _cell* var;
  _cell* form;
  _cell* result;
  _cell* body;
};

bool iterationHead(_cell* forms, IterationHead& s) {
  if (!isCons(forms) || !isCons(forms->car) || !isCons(forms->car->cdr)) return false;
  _cell* head = forms->car;
  _cell* more = head->cdr->cdr;
  if (more != NILCell && !isCons(more)) return false;
  s = {head->car, head->cdr->car, more == NILCell ? NILCell : more->car, forms->cdr};
  return twinConstantsIntact() && fits(forms);
}

_cell* dolistTwin(cfunction&, _cell* forms) {
  IterationHead s;
  if (!iterationHead(forms, s)) return kRunText;
  _cell* c = gDolistCursor;
  _cell* ending = list({list({SETQ, c, list({CDR, c})}), list({GO, c})});
  _cell* loop = list(
      {gNames.prog, list({s.var}), c, list({IF, list({NULLP, c}), list({SETQ, s.var, NILCell})}),
       list({IF, list({NULLP, c}), list({RETURN, s.result})}),
       list({SETQ, s.var, list({CAR, c})})},
      elements(s.body, ending));
  return list({LET, list({list({c, s.form})}), loop});
}

_cell* dotimesTwin(cfunction&, _cell* forms) {
  IterationHead s;
  if (!iterationHead(forms, s) || !splicable(s.body)) return kRunText;
  _cell* c = gDotimesCount;
  _cell* v = s.var;
  _cell* done = list({LET, list({list({c, s.form})}),
                      list({OR, list({MINUSP, c}),
                            list({gNames.not_, list({MINUSP, list({MINUS, v, c})})})})});
  _cell* ending = list({list({SETQ, v, list({ONEPLUS, v})}), list({GO, c})});
  return list({gNames.prog, list({v}), list({SETQ, v, gDotimesZero}), c,
               list({IF, done, list({RETURN, s.result})})},
              elements(s.body, ending));
}

_cell* withOpenFileTwin(cfunction&, _cell* forms) {
  if (!isCons(forms) || !isCons(forms->car)) return kRunText;
  _cell* opening = forms->car;
  _cell* body = forms->cdr;
  if (!splicable(opening->cdr) || !splicable(body) || !fits(forms)) return kRunText;
  _cell* v = opening->car;
  _cell* closing =
      list({IF, list({gNames.not_, list({NULLP, v})}),
            list({PROGN, list({TCLOSE, v}), list({PRINT, list({QUOTE, gNames.closed})})})});
  _cell* guarded = list(
      {UNWINDPROTECT,
       list({IF, list({NULLP, v}), NILCell, gMachine->cons(PROGN, elements(body, NILCell))}), closing});
  return list({LET, list({list({v, gMachine->cons(TOPEN, elements(opening->cdr, NILCell))})}), guarded});
}

_cell* lambdaTwin(cfunction&, _cell* forms) {
  if (!splicable(forms) || !fits(forms)) return kRunText;
  return list({FUNCTION, gMachine->cons(LAMBDA, elements(forms, NILCell))});
}

// ---- multiple values ------------------------------------------------------------------------
_cell* mvSetqTwin(cfunction&, _cell* forms) {
  if (!twoForms(forms) || !fits(forms)) return kRunText;
  _cell* vars = forms->car;
  _cell* form = forms->cdr->car;
  return list({EVAL, list({LIST, list({QUOTE, gNames.mvSetq2}), list({QUOTE, vars}),
                             list({MULTIPLEVALUELIST, form})})});
}

// (prog1 (setq var 'value)...) by MULTIPLE-VALUE-BORN$: NIL for each variable past the values.
_cell* mvSetq2Twin(cfunction&, _cell* forms) {
  if (!twoForms(forms) || !twinConstantsIntact() || !fits(forms)) return kRunText;
  _cell* vars = forms->car;
  _cell* values = forms->cdr->car;
  _cell* head = gMachine->cons(PROG1, NILCell);
  _cell* last = head;
  for (; vars != NILCell; vars = vars->cdr) {
    if (!isCons(vars)) return kRunText;  // CAR of an atom
    _cell* value = NILCell;
    if (values != NILCell) {
      if (!isCons(values)) return kRunText;
      value = list({QUOTE, values->car});
      values = values->cdr;
    }
    last = last->cdr = gMachine->cons(list({SETQ, vars->car, value}), NILCell);
  }
  return head;
}

_cell* mvBindTwin(cfunction&, _cell* forms) {
  if (!isCons(forms) || !isCons(forms->cdr) || !twinConstantsIntact()) return kRunText;
  _cell* vars = forms->car;
  _cell* form = forms->cdr->car;
  _cell* body = forms->cdr->cdr;
  if (!splicable(body) || !fits(forms)) return kRunText;
  _cell* bindings = NILCell;  // MAPCAR of LIST: one (var) per element, up to the first atom
  _cell* last = nullptr;
  for (_cell* p = vars; isCons(p); p = p->cdr) {
    _cell* c = gMachine->cons(list({p->car}), NILCell);
    if (last)
      last->cdr = c;
    else
      bindings = c;
    last = c;
  }
  _cell* assign = list(
      {EVAL, list({LIST, list({QUOTE, gNames.mvSetq2}), list({QUOTE, vars}), gBindValues})});
  return list({LET, list({list({gBindValues, list({MULTIPLEVALUELIST, form})})}),
               gMachine->cons(LET, gMachine->cons(bindings, gMachine->cons(assign, elements(body, NILCell))))});
}

// ---- CASE -----------------------------------------------------------------------------------
_cell* caseTwin(cfunction&, _cell* forms) {
  if (!isCons(forms) || !twinConstantsIntact() || !fits(forms, listLength(forms->cdr)))
    return kRunText;
  _cell* key = forms->car;
  _cell* head = gMachine->cons(COND, NILCell);
  _cell* last = head;
  for (_cell* body = forms->cdr; body != NILCell; body = body->cdr) {
    if (!isCons(body) || !isCons(body->car)) return kRunText;  // CAR of an atom
    _cell* keys = body->car->car;
    _cell* then = body->car->cdr;
    if (!splicable(then)) return kRunText;
    _cell* test;
    if (keys == gNames.otherwise || keys == TCell)
      test = TCell;
    else
      test = list({isCons(keys) ? gNames.member : EQL, key, list({QUOTE, keys})});
    last = last->cdr = gMachine->cons(gMachine->cons(test, elements(then, NILCell)), NILCell);
  }
  return head;
}

// ---- SETF -----------------------------------------------------------------------------------
// ASSOC under EQ as the library's text walks a table: 1 and the entry when found, 0 when not,
// -1 where the text would fail (an entry that is not a cons) or the entry's value is not an
// atom (its size would escape what `fits` counted). The tables can be reached, and changed,
// through the entries the lookup functions return, so they are read afresh each time.
int lookUp(_cell* name, _cell* table, _cell*& entry) {
  constexpr long kMaxEntries = 1000;  // far more than the texts' tables hold
  long k = 0;
  for (; isCons(table); table = table->cdr) {
    if (++k > kMaxEntries || !isCons(table->car)) return -1;
    if (eqCells(name, table->car->car)) {
      entry = table->car;
      return isCons(entry->cdr) ? -1 : 1;
    }
  }
  return 0;
}

_cell* setfTwin(cfunction&, _cell* forms) {
  if (!twoForms(forms) || !twinConstantsIntact() || !fits(forms)) return kRunText;
  _cell* place = forms->car;
  _cell* v = forms->cdr->car;
  if (isSymbol(place)) return list({SETQ, place, v});
  if (!isCons(place) || !isCons(place->cdr)) return gNoPlace;
  _cell* op = place->car;
  _cell* arg = place->cdr->car;
  _cell* more = place->cdr->cdr;
  auto store = [&](_cell* how, _cell* where) { return list({PROGN, list({how, where, v}), v}); };
  if (op == CAR) return store(RPLACA, arg);
  if (op == CDR || op == gNames.rest) return store(RPLACD, arg);
  if (op == gNames.nth && isCons(more)) return store(RPLACA, list({gNames.nthcdr, arg, more->car}));
  // The tables' spines are out of a program's reach while the twin runs (their functions'
  // definitions were never handed out), so their keys change only by an in-place change of an
  // entry, which a table twin never makes: a symbol none of them held at this generation is in
  // none of them still.
  static _cell* absentOp = nullptr;
  static uint64_t absentAt = 0;
  if (op != absentOp || absentAt != generationBesideTables()) {
    _cell* e;
    int found = lookUp(op, gNthTable, e);
    if (found < 0) return kRunText;
    if (found) return store(RPLACA, list({gNames.nthcdr, e->cdr, arg}));
    if ((found = lookUp(op, gATable, e)) < 0) return kRunText;
    if (found) return store(RPLACA, list({e->cdr, arg}));
    if ((found = lookUp(op, gDTable, e)) < 0) return kRunText;
    if (found) return store(RPLACD, list({e->cdr, arg}));
    if (isSymbol(op)) {
      absentOp = op;
      absentAt = generationBesideTables();
    }
  }
  if (op == gNames.gethash && isCons(more)) return list({gNames.setfHash, arg, more->car, v});
  if (op == gNames.aref) return store(RPLACA, gMachine->cons(gNames.preAref, gMachine->cons(v, elements(place->cdr, NILCell))));
  return gUnknownPlace;
}

// The argument list of (fn x1 ... xcount), exactly that many, or null.
_cell* argumentsOf(_cell* form, const _cell* fn, long count) {
  if (!isCons(form) || form->car != fn) return nullptr;
  _cell* args = form->cdr;
  _cell* p = args;
  for (long i = 0; i < count; i++, p = p->cdr)
    if (!isCons(p)) return nullptr;
  return p == NILCell ? args : nullptr;
}

// The one argument of (fn x), or null.
_cell* argumentOf(_cell* form, const _cell* fn) {
  _cell* args = argumentsOf(form, fn, 1);
  return args ? args->car : nullptr;
}
}  // namespace

// ---- expansions evaluated without their copy ----------------------------------------------
// An expansion shares its forms with the macro call; the text's copy of it can be told apart
// from it only when evaluating hands out a cons of those forms (QUOTE of a list, FUNCTION, a
// macro given its argument forms), changes one before it is evaluated, or runs user code,
// which could do either (a debug loop is left only by ABORT, which ends the evaluation).
namespace {
// A form made of constants, variables, (QUOTE atom), and calls of plain built-ins and of value
// twins; the outermost call alone may change conses in place, after its arguments have all
// been evaluated.
bool plainForm(_cell* x, int depth, bool outermost) {
  if (!isCons(x)) return true;
  _cell* head = x->car;
  _cell* rest = x->cdr;
  if (depth > 16 || !isSymbol(head)) return false;
  if (Op op = opOf(head); op == Op::Quote) {
    return isCons(rest) && !isCons(rest->car) && rest->cdr == NILCell;
  } else if (op != Op::None) {
    if (!opInfo(op).has(kPlain)) return false;
  } else {
    const TwinCall* t = functionTwin(head);
    if (!t || !t->byValue) return false;
    if (!outermost && t->changes) return false;
  }
  for (; isCons(rest); rest = rest->cdr)
    if (!plainForm(rest->car, depth + 1, false)) return false;
  return true;
}
}  // namespace

bool evaluatesAlike(_cell* expansion) { return plainForm(expansion, 0, true); }

// A body of plain forms, none changing a cons, whose IF, AND and OR only choose among them:
// running it can show nothing but its value or its failure.
bool silentBody(_cell* body) {
  std::vector<_cell*> work;
  for (; isCons(body); body = body->cdr) work.push_back(body->car);
  if (body != NILCell || work.empty() || work.size() > 16) return false;
  while (!work.empty()) {
    _cell* x = work.back();
    work.pop_back();
    if (!isCons(x)) continue;
    Op op = opOf(x->car);
    if (op == Op::If || op == Op::And || op == Op::Or) {
      long count = listLength(x->cdr);
      if (count < 0 || count > 16) return false;
      for (_cell* p = x->cdr; isCons(p); p = p->cdr) work.push_back(p->car);
    } else if (!plainForm(x, 0, false)) {
      return false;
    }
  }
  return true;
}

// ---- DOTIMES' end test ----------------------------------------------------------------------
namespace {

// Each round of a DOTIMES evaluates (let ((#:COUNT count)) (or (minusp #:COUNT) (not (minusp
// (- var #:COUNT))))). With the count a constant or a variable, and its value and the
// variable's both integers, that is a comparison: nothing can fail, nothing is observable but
// the answer, so the frame and the difference's cell are not made. Anything else runs as
// written. Only NOT is the library's (LET, OR, MINUSP and - cannot be redefined).
// The end tests matched last, by their LET's argument list: a loop's test is matched once, not
// at every turn. An entry holds while none of its conses changed (they are watched once
// matched) and no collection ran (which may have given the list's conses to other uses).
struct EndTest {
  const _cell* args = nullptr;
  _cell* var = nullptr;
  _cell* count = nullptr;
  uint64_t watched = 0;
  uint32_t epoch = 0;
};
constexpr int kEndTests = 4;
EndTest gEndTests[kEndTests];
int gNextEndTest = 0;

_cell* endTestAnswer(cfunction& m, _cell* var, _cell* count, Frame f, long n) {
  if (!functionTwin(gNames.not_)) return nullptr;
  if (isSymbol(count) && !(count = m.variableValue(count, f, n))) return nullptr;
  _cell* i = m.variableValue(var, f, n);
  if (!isInt(count) || !i || !isInt(i)) return nullptr;
  int32_t limit = intOf(count);
  return m.made(limit < 0 || wrapSub(intOf(i), limit) >= 0 ? TCell : NILCell);
}

_cell* dotimesEndTest(cfunction& m, _cell* args, Frame f, long n) {
  for (const EndTest& e : gEndTests)
    if (e.args == args && e.watched == gWatchedChanges && e.epoch == m.epoch())
      return endTestAnswer(m, e.var, e.count, f, n);
  _cell* const c = gDotimesCount;
  _cell* bindings = args->car;  // ((#:COUNT count)), its first cons checked by the caller
  _cell* binding = bindings->car;
  _cell* body = args->cdr;
  if (bindings->cdr != NILCell || !isCons(binding->cdr) || binding->cdr->cdr != NILCell ||
      !isCons(body) || body->cdr != NILCell)
    return nullptr;
  _cell* either = argumentsOf(body->car, OR, 2);  // (or (minusp c) (not (minusp (- var c))))
  if (!either || argumentOf(either->car, MINUSP) != c) return nullptr;
  _cell* negated = argumentOf(either->cdr->car, gNames.not_);
  _cell* sign = negated ? argumentOf(negated, MINUSP) : nullptr;
  _cell* difference = sign ? argumentsOf(sign, MINUS, 2) : nullptr;  // (var c)
  if (!difference || difference->cdr->car != c) return nullptr;
  _cell* var = difference->car;
  _cell* count = binding->cdr->car;
  if (!isSymbol(var) || var == c) return nullptr;
  watchConses(args);
  gEndTests[gNextEndTest] = {args, var, count, gWatchedChanges, m.epoch()};
  gNextEndTest = (gNextEndTest + 1) % kEndTests;
  return endTestAnswer(m, var, count, f, n);
}

}  // namespace

// ---- registration ---------------------------------------------------------------------------
namespace {
// The twin's macro and the library functions its text calls while expanding, each with the
// text it was written for.
struct Definition {
  const char* name;  // as interned
  char tag;          // 'm' for a macro, 'f' for a function
  const char* text;
};

// An object a text puts into its expansion by identity: where a start takes it from (the
// element indices in turn, ending at kEnd, in the definition `def` of the row), and the
// pattern's capture that names it there. A capture #:NAME is an uninterned symbol of that name.
constexpr int kEnd = -1;
struct Taken {
  const char* capture;
  _cell** slot;
  int def;
  const int* path;
  const char* pattern;  // a text it must match as well, or null
};
// The places, in (lambda-list (BLOCK name . body)):
constexpr int kLetQuoted[] = {1, 2, 1, 0, 1, 1, kEnd};    // x of a body (let ((var 'x)) ...)
constexpr int kDotimesZero[] = {1, 2, 2, 1, 2, 3, kEnd};  // the 0 of `(prog ... (setq ,v 0) ...)
constexpr int kSetfNoPlace[] = {1, 2, 2, 1, 1, kEnd};     // the second COND clause's quoted form
constexpr int kSetfUnknown[] = {1, 2, 11, 1, 1, kEnd};    // the last COND clause's quoted form
constexpr int kAssocTable[] = {1, 2, 2, 1, kEnd};         // x of a body (assoc name 'x)

constexpr int kMostDefinitions = 9;  // SETF's
constexpr int kMostTaken = 5;
struct MacroTexts {
  const char* name;  // the macro, as the library spells it
  MacroTwin twin;
  Definition defs[kMostDefinitions];  // the macro's own first; unused rows null
  Taken taken[kMostTaken];            // unused rows null
};

const MacroTexts kMacroTexts[] = {
    {"prog", progTwin, {{"PROG", 'm', kProg}}, {}},
    {"return", returnTwin, {{"RETURN", 'm', kReturn}}, {}},
    {"lambda", lambdaTwin, {{"LAMBDA", 'm', kLambda}}, {}},
    {"with-open-file", withOpenFileTwin, {{"WITH-OPEN-FILE", 'm', kWithOpenFile}}, {}},
    {"multiple-value-setq", mvSetqTwin, {{"MULTIPLE-VALUE-SETQ", 'm', kMvSetq}}, {}},
    {"multiple-value-setq$",
     mvSetq2Twin,
     {{"MULTIPLE-VALUE-SETQ$", 'm', kMvSetq2}, {"MULTIPLE-VALUE-BORN$", 'f', kMvBorn}},
     {}},
    {"case", caseTwin, {{"CASE", 'm', kCase}, {"MAKE-CASE", 'f', kMakeCase}}, {}},
    {"loop",
     loopTwin,
     {{"LOOP", 'm', kLoop}, {"APPEND1", 'f', kAppend1}},
     {{"#:LABEL", &gLoopLabel, 0, kLetQuoted, nullptr}}},
    {"loop1",
     loop1Twin,
     {{"LOOP1", 'm', kLoop1}, {"APPEND1", 'f', kAppend1}},
     {{"#:LABEL", &gLoop1Label, 0, kLetQuoted, nullptr}}},
    {"dolist",
     dolistTwin,
     {{"DOLIST", 'm', kDolist}, {"APPEND1", 'f', kAppend1}},
     {{"#:LIST", &gDolistCursor, 0, kLetQuoted, nullptr}}},
    {"dotimes",
     dotimesTwin,
     {{"DOTIMES", 'm', kDotimes}},
     {{"#:COUNT", &gDotimesCount, 0, kLetQuoted, nullptr},
      {"ZERO", &gDotimesZero, 0, kDotimesZero, nullptr}}},
    {"multiple-value-bind",
     mvBindTwin,
     {{"MULTIPLE-VALUE-BIND", 'm', kMvBind}, {"MAPCAR", 'f', kMapcar}, {"NOT", 'f', kNot}},
     {{"#:VALUES", &gBindValues, 0, kLetQuoted, nullptr}}},
    {"setf",
     setfTwin,
     {{"SETF", 'm', kSetf},
      {"CADR", 'f', kCadr},
      {"CDDR", 'f', kCddr},
      {"CADDR", 'f', kCaddr},
      {"ASSOC", 'f', kAssoc},
      {">=", 'f', kGreaterOrEqual},
      {"FIND-NTH-NAME", 'f', kFindNthName},
      {"FIND-A-NAME", 'f', kFindAName},
      {"FIND-D-NAME", 'f', kFindDName}},
     {{"NOPLACE", &gNoPlace, 0, kSetfNoPlace, kSetfError},
      {"UNKNOWN", &gUnknownPlace, 0, kSetfUnknown, kSetfError},
      {"NTHTABLE", &gNthTable, 6, kAssocTable, nullptr},
      {"ATABLE", &gATable, 7, kAssocTable, nullptr},
      {"DTABLE", &gDTable, 8, kAssocTable, nullptr}}},
};

// The library's definition of name when it is of that kind, else null.
_cell* definitionOf(cfunction& m, const Definition& d) {
  _cell* sym = m.CheckStringCell(d.name);
  _symval* rec = sym ? m.getFuncval2(sym) : nullptr;
  return rec && rec->tag == d.tag ? rec->value : nullptr;
}

// The element at each index of path in turn, or null where a list is too short.
_cell* elementAt(_cell* c, const int* path) {
  for (; *path != kEnd; path++) {
    for (int k = 0; k < *path && isCons(c); k++) c = c->cdr;
    if (!isCons(c)) return nullptr;
    c = c->car;
  }
  return c;
}

// What a start does: the definitions are there, of their kinds, and each object is found at
// its place (an uninterned symbol of its name where one is named). The texts themselves are
// built into the program; the unit tests compare them in full (macroTwinsMismatched).
bool take(cfunction& m, const MacroTexts& t) {
  _cell* defs[kMostDefinitions] = {};
  for (int i = 0; i < kMostDefinitions && t.defs[i].name; i++)
    if (!(defs[i] = definitionOf(m, t.defs[i]))) return false;
  _cell* found[kMostTaken] = {};
  for (int i = 0; i < kMostTaken && t.taken[i].capture; i++) {
    const Taken& k = t.taken[i];
    _cell* c = elementAt(defs[k.def], k.path);
    if (!c) return false;
    if (k.capture[0] == '#' &&
        !(isSymbol(c) && c->attr == Attr::Uninterned && std::strcmp(nameOf(c), k.capture + 2) == 0))
      return false;
    found[i] = c;
  }
  for (int i = 0; i < kMostTaken && t.taken[i].capture; i++) *t.taken[i].slot = found[i];
  return true;
}

void addMacro(const char* name, MacroTwin macro, bool matched) {
  addTwin({name, TwinKind::Macro, nullptr, macro, nullptr, false, matched});
}
}  // namespace

// Each macro twin registers whether or not its definitions are found; one that is not stays off.
void registerMacroTwins(cfunction& m) {
  bool found = findNames(m);
  for (const MacroTexts& t : kMacroTexts) {
    bool ok = found && take(m, t);
    if (ok && t.twin == dotimesTwin) {
      ok = isInt(gDotimesZero) && intOf(gDotimesZero) == 0;
      if (ok) {
        gLetShortcut = {gDotimesCount, dotimesEndTest};
        m.addRoot(&gDotimesCount);  // LET compares with it after a redefinition of DOTIMES too
      }
    }
    if (ok && t.twin == setfTwin) {
      // A program can reach their entries (FIND-A-NAME answers one): a change of one makes
      // every kept SETF expansion stale.
      for (_cell* table : {gNthTable, gATable, gDTable}) watchConses(table);
    }
    addMacro(t.name, t.twin, ok);
  }
}

std::vector<const char*> macroTwinsMismatched(cfunction& m) {
  std::vector<const char*> mismatched;
  for (const MacroTexts& t : kMacroTexts) {
    Captures caught;
    bool ok = true;
    for (const Definition& d : t.defs)
      if (d.name) {
        _cell* def = definitionOf(m, d);
        ok = def && matches(def, d.text, caught) && ok;
      }
    for (const Taken& k : t.taken) {
      if (!k.capture || !ok) break;
      auto it = caught.find(k.capture);
      Captures own;
      ok = it != caught.end() && it->second == *k.slot &&
           (!k.pattern || matches(*k.slot, k.pattern, own));
    }
    if (!ok) mismatched.push_back(t.name);
  }
  return mismatched;
}
