// The start-up library: Lisp definitions evaluated, in index order, before the banner.
// Every text is one form in the reader's ordinary syntax; symbols are written in lower case and
// folded by the reader. A function body may call an entry defined later, since bodies run only
// when called; anything evaluated at load time may use only earlier entries.
#include "library/texts.h"

#include <iterator>

const char* const ReadEvalData[] = {
    // Constants, control macros and loading.
    /*   0 */ R"lisp((setq pi 3.14159265358979))lisp",
    /*   1 */ R"lisp((defmacro prog (args &rest bd)`(block nil (prog** ,args ,@bd)) ))lisp",
    /*   2 */ R"lisp((defmacro return (&rest x) `(return-from nil ,@x)))lisp",
    /*   3 */ R"lisp((defun oddp (n) (cond ((evenp n) nil) (t t))))lisp",
    /*   4 */ R"lisp((defun append1 (x y) (cond ((atom x) y) (t (cons (car x) (append1 (cdr x) y))))))lisp",
    /*   5 */ R"lisp((eval (list 'defmacro 'loop1 '(&rest b) (list 'let (list (list 'l$ (list 'quote (intern-wide "LABEL")))) '(append1 (append1 (list 'prog '() l$) b) (list (list 'go l$)))))))lisp",
    /*   6 */ R"lisp((eval (list 'defmacro 'loop '(&rest b) (list 'let (list (list 'l$ (list 'quote (intern-wide "LABEL")))) '(append1 (append1 (list 'prog '() l$) b) (list (list 'go l$)))))))lisp",
    // Names that the library binds or jumps to around a user's forms (loop labels, the DOLIST
    // cursor, the DOTIMES count, LOAD's locals, MULTIPLE-VALUE-BIND's values) are uninterned
    // symbols made once here, so no user form can name them. Each DOLIST binds its own cursor
    // with a LET around the loop, so DOLISTs nest; the list form is evaluated before the binding.
    /*   7 */ R"lisp((eval (list 'defmacro 'dolist '(&rest b) (list 'let (list (list 'c$ (list 'quote (intern-wide "LIST")))) '(list 'let `((,c$ ,(car (cdr (car b)))))(append1(list 'prog `(,(car (car b))) c$ `(if (null ,c$) (setq ,(car (car b)) nil)) `(if (null ,c$) ,(list 'return (cond ((null (cdr (cdr (car b)))) nil) (t (car (cdr (cdr (car b)))))))) `(setq ,(car (car b)) (car ,c$)))(append1 (cdr b) (list `(setq ,c$ (cdr ,c$)) `(go ,c$))) ) ) ) ) )))lisp",
    // DOTIMES stops once the counter is no longer below the count (re-evaluated every round),
    // so a count of zero, a negative count or a fractional one ends the loop. A negative count
    // is tested on its own, since the difference could wrap around for the most negative one.
    /*   8 */ R"lisp((eval (list 'defmacro 'dotimes '(&rest b) (list 'let (list (list 'c$ (list 'quote (intern-wide "COUNT")))) '`(prog (,(car (car b)))(setq ,(car (car b)) 0) ,c$ (if (let ((,c$ ,(car (cdr (car b))))) (or (minusp ,c$) (not (minusp (- ,(car (car b)) ,c$))))) (return ,(cond ((null (cdr (cdr (car b)))) nil) (t (car (cdr (cdr (car b))))))) ),@(cdr b)(setq ,(car (car b)) (1+ ,(car (car b))))(go ,c$) ) ) )))lisp",
    // LOAD closes its file on every way out, a form that fails to read or evaluate included. Its
    // end-of-file value is its own stream, so a form that reads as NIL is evaluated like any other.
    /*   9 */ R"lisp((let ((fname (intern-wide "FNAME")) (strm (intern-wide "STRM")) (s (intern-wide "S")))(eval `(defun load (,fname)(let ((,strm) (,s))(setq ,strm (open ,fname))(if (null ,strm) nil(unwind-protect (block ,strm (prog** () ,s (if (eq (setq ,s (read ,strm nil ,strm)) ,strm) (return-from ,strm t))(eval ,s) (go ,s))) (close ,strm)) ) ) ) ) ))lisp",
    /*  10 */ R"lisp((defmacro with-open-file (a &rest b)`(let ((,(car a) (open ,@(cdr a))))(unwind-protect(if (null ,(car a)) nil(progn ,@b) )(if (not (null ,(car a)))(progn (close ,(car a)) (print 'closed)) ) ) ) ))lisp",
    // Predicates and comparisons.
    /*  11 */ R"lisp((defun not (e) (cond ((null e) t) (t nil))))lisp",
    /*  12 */ R"lisp((defun zerop (x) (cond ((= x 0) t) (t nil))))lisp",
    /*  13 */ R"lisp((defun listp (x) (cond ((null x) t) ((not (atom x)) t) (t nil))))lisp",
    /*  14 */ R"lisp((defun > (x y) (cond ((minusp (- x y)) nil) ((zerop (- x y)) nil) (t t))))lisp",
    /*  15 */ R"lisp((defun >= (x y) (cond ((minusp (- x y)) nil) (t t))))lisp",
    /*  16 */ R"lisp((defun < (x y) (cond ((minusp (- x y)) t) (t nil))))lisp",
    /*  17 */ R"lisp((defun <= (x y) (cond ((minusp (- x y)) t) ((zerop (- x y)) t) (t nil))))lisp",
    /*  18 */ R"lisp((defun equal (x y)(if (atom x)(if (eql x y)t(if (and (stringp x) (stringp y))(string-equal x y)nil ) )(if (atom y)nil(if (equal (car x) (car y))(equal (cdr x) (cdr y))nil ) ) ) ))lisp",
    // Sequences. SUBSEQ refuses a start or end outside the sequence (or an end before the start)
    // instead of walking past the end for ever.
    /*  19 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun subseq (x m &rest n)(let ((ans nil) (len (length x)) (k (if (atom n) nil (car n))))(if (or (not (integerp m)) (< m 0) (> m len) (and k (or (not (integerp k)) (< k m) (> k len)))) (error "エラー: 範囲外です"))(if (null k) (setq k len))(block ,l$ (prog** () ,l$ (if (= m k) (return-from ,l$ (if (stringp x) (coerce ans 'string) ans)))(setq ans (append ans (list (if (stringp x) (char x m) (nth m x)))))(setq m (1+ m)) (go ,l$)) ) ) ))))lisp",
    /*  20 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun nth (n lst)(let ((k 0))(block ,l$ (prog** () ,l$ (if (= k n) (return-from ,l$ (car lst)))(setq lst (cdr lst))(setq k (1+ k)) (go ,l$)) ) ) ))))lisp",
    // Pretty printer.
    /*  21 */ R"lisp((defun pprint (x)(pprint2 x 0)(terpri) t ))lisp",
    /*  22 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun pprint2 (x n)(cond((atom x) (spaces n) (prin1 x))((is-all-atom-1-list x) (spaces n) (prin1 x))(t(spaces n)(princ #\()(pprint3 (car x) (+ n 1))(setq x (cdr x))(block ,l$ (prog** () ,l$ (if (atom x) (return-from ,l$))(terpri)(pprint2 (car x) (+ n 1))(setq x (cdr x)) (go ,l$)))(princ #\)) ) ) ))))lisp",
    /*  23 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun pprint3 (x n)(cond((atom x) (prin1 x))((is-all-atom-1-list x) (prin1 x))(t(princ #\()(pprint3 (car x) (+ n 1))(setq x (cdr x))(block ,l$ (prog** () ,l$ (if (atom x) (return-from ,l$))(terpri)(pprint2 (car x) (+ n 1))(setq x (cdr x)) (go ,l$)))(princ #\)) ) ) ))))lisp",
    /*  24 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun is-all-atom (x)(block ,l$ (prog** () ,l$ (if (atom x) (return-from ,l$ t))(if (not (atom (car x))) (return-from ,l$ nil))(setq x (cdr x)) (go ,l$)) ) ))))lisp",
    /*  25 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun is-all-atom-1-list (x)(block ,l$ (prog** () ,l$ (if (atom x) (return-from ,l$ t))(if (and (not (atom (car x))) (not (is-all-atom (car x)))) (return-from ,l$ nil))(setq x (cdr x)) (go ,l$)) ) ))))lisp",
    // Lists and strings.
    /*  26 */ R"lisp((defmacro append (&rest l)(cond((null l) nil)((null (cdr l)) (car l))(t (list 'append1 (car l)(cons 'append (cdr l)) ) ) ) ))lisp",
    /*  27 */ R"lisp((defun reverse (x)(cond((stringp x) (coerce (reverse1 (coerce x 'list)) 'string)) (t (reverse1 x)) ) ))lisp",
    /*  28 */ R"lisp((defun reverse1 (x)(cond((atom x) x)(t (append (reverse (cdr x)) (cons (car x) nil))) ) ))lisp",
    // Multiple values. MULTIPLE-VALUE-SETQ evaluates the assignments through EVAL in the caller's
    // frame, so any variable names work (no helper parameters can shadow them).
    /*  29 */ R"lisp((defun multiple-value-born$ (arg value)(cond((null arg) nil)((null value) (cons (list 'setq (car arg) 'nil) (multiple-value-born$ (cdr arg) value)))(t (cons (list 'setq (car arg) (list 'quote (car value))) (multiple-value-born$ (cdr arg) (cdr value)))) ) ))lisp",
    /*  30 */ R"lisp((defmacro multiple-value-setq (a b) `(eval (list 'multiple-value-setq$ ',a (multiple-value-list ,b)))))lisp",
    /*  31 */ R"lisp((defmacro multiple-value-setq$ (a b) `(prog1 ,@(multiple-value-born$ a b))))lisp",
    /*  32 */ R"lisp((eval (list 'defmacro 'multiple-value-bind '(a b &rest c) (list 'let (list (list 'h$ (list 'quote (intern-wide "VALUES")))) '`(let ((,h$ (multiple-value-list ,b))) (let ,(mapcar #'list a) (eval (list 'multiple-value-setq$ ',a ,h$)) ,@c) ) ) )))lisp",
    // Mapping and membership.
    /*  33 */ R"lisp((defun mapcar (func a &rest b)(cond((atom a) nil)((and (not (atom b)) (atom (car b))) nil)((atom b) (cons(funcall func (car a))(mapcar func (cdr a)) ) )(t (cons (apply func (cons (car a) (list (car (car b)))))(mapcar func (cdr a) (cdr (car b))) ) ) ) ))lisp",
    /*  34 */ R"lisp((progn (defun keys$ (args allowed)(cond((atom args) nil)((null (key$ allowed (car args) 'nil)) (princ "エラー: 使えないキーワードです ") (error (car args)))((atom (cdr args)) (princ "エラー: キーワードの値がありません ") (error (car args)))(t (keys$ (cdr (cdr args)) allowed)) ) )(defun key$ (args k default)(cond((atom args) default)((eq (car args) k) (car (cdr args)))(t (key$ (cdr (cdr args)) k default)) ) )(defun member (item lst &rest a)(keys$ a '(:test t :test-not t :key t))(let ((test (key$ a :test #'eql)) (tn (key$ a :test-not 'nil)) (key (key$ a :key 'nil)) (v nil))(cond((null lst) nil)(t (setq v (if key (funcall key (car lst)) (car lst)))(if (if tn (null (funcall tn item v)) (funcall test item v)) lst (member item (cdr lst) :test test :test-not tn :key key))) ) ) )))lisp",
    // Accessors and character comparisons.
    /*  35 */ R"lisp((defun first (x) (car x)))lisp",
    /*  36 */ R"lisp((defun rest (x) (cdr x)))lisp",
    /*  37 */ R"lisp((defun char= (x y) (char-equal x y)))lisp",
    /*  38 */ R"lisp((defun char/= (x y) (not (char-equal x y))))lisp",
    /*  39 */ R"lisp((defun char> (x y) (char< y x)))lisp",
    /*  40 */ R"lisp((defun char<= (x y) (or (char< x y) (char= x y))))lisp",
    /*  41 */ R"lisp((defun char>= (x y) (or (char> x y) (char= x y))))lisp",
    // LAMBDA written as a value makes a function object.
    /*  42 */ R"lisp((defmacro lambda (&rest b) `(function (lambda ,@b))))lisp",
    // CAR/CDR compositions.
    /*  43 */ R"lisp((defun caaaar (x) (car (caaar x))))lisp",
    /*  44 */ R"lisp((defun caaadr (x) (car (caadr x))))lisp",
    /*  45 */ R"lisp((defun caaar (x) (car (caar x))))lisp",
    /*  46 */ R"lisp((defun caadar (x) (car (cadar x))))lisp",
    /*  47 */ R"lisp((defun caaddr (x) (car (caddr x))))lisp",
    /*  48 */ R"lisp((defun caadr (x) (car (cadr x))))lisp",
    /*  49 */ R"lisp((defun caar (x) (car (car x))))lisp",
    /*  50 */ R"lisp((defun cadaar (x) (car (cdaar x))))lisp",
    /*  51 */ R"lisp((defun cadadr (x) (car (cdadr x))))lisp",
    /*  52 */ R"lisp((defun cadar (x) (car (cdar x))))lisp",
    /*  53 */ R"lisp((defun caddar (x) (car (cddar x))))lisp",
    /*  54 */ R"lisp((defun cadddr (x) (car (cdddr x))))lisp",
    /*  55 */ R"lisp((defun caddr (x) (car (cddr x))))lisp",
    /*  56 */ R"lisp((defun cadr (x) (car (cdr x))))lisp",
    /*  57 */ R"lisp((defun cdaaar (x) (cdr (caaar x))))lisp",
    /*  58 */ R"lisp((defun cdaadr (x) (cdr (caadr x))))lisp",
    /*  59 */ R"lisp((defun cdaar (x) (cdr (caar x))))lisp",
    /*  60 */ R"lisp((defun cdadar (x) (cdr (cadar x))))lisp",
    /*  61 */ R"lisp((defun cdaddr (x) (cdr (caddr x))))lisp",
    /*  62 */ R"lisp((defun cdadr (x) (cdr (cadr x))))lisp",
    /*  63 */ R"lisp((defun cdar (x) (cdr (car x))))lisp",
    /*  64 */ R"lisp((defun cddaar (x) (cdr (cdaar x))))lisp",
    /*  65 */ R"lisp((defun cddadr (x) (cdr (cdadr x))))lisp",
    /*  66 */ R"lisp((defun cddar (x) (cdr (cdar x))))lisp",
    /*  67 */ R"lisp((defun cdddar (x) (cdr (cddar x))))lisp",
    /*  68 */ R"lisp((defun cddddr (x) (cdr (cdddr x))))lisp",
    /*  69 */ R"lisp((defun cdddr (x) (cdr (cddr x))))lisp",
    /*  70 */ R"lisp((defun cddr (x) (cdr (cdr x))))lisp",
    // SECOND to TENTH.
    /*  71 */ R"lisp((defun second (x) (nth 1 x)))lisp",
    /*  72 */ R"lisp((defun third (x) (nth 2 x)))lisp",
    /*  73 */ R"lisp((defun fourth (x) (nth 3 x)))lisp",
    /*  74 */ R"lisp((defun fifth (x) (nth 4 x)))lisp",
    /*  75 */ R"lisp((defun sixth (x) (nth 5 x)))lisp",
    /*  76 */ R"lisp((defun seventh (x) (nth 6 x)))lisp",
    /*  77 */ R"lisp((defun eighth (x) (nth 7 x)))lisp",
    /*  78 */ R"lisp((defun ninth (x) (nth 8 x)))lisp",
    /*  79 */ R"lisp((defun tenth (x) (nth 9 x)))lisp",
    // SETF and the place lookups it uses.
    /*  80 */ R"lisp((defmacro setf (x? y?)(cond((symbolp x?) `(setq ,x? ,y?))((or (atom x?) (atom (cdr x?))) '(error "エラー: SETFに対してその関数は定義されていません"))((eq (car x?) 'car) `(progn (rplaca ,(cadr x?) ,y?) ,y?))((or (eq (car x?) 'cdr) (eq (car x?) 'rest)) `(progn (rplacd ,(cadr x?) ,y?) ,y?))((and (eq (car x?) 'nth) (consp (cddr x?))) `(progn (rplaca (nthcdr ,(cadr x?) ,(caddr x?)) ,y?) ,y?))((find-nth-name (car x?)) `(progn (rplaca (nthcdr ,(cdr (find-nth-name (car x?))) ,(cadr x?)) ,y?) ,y?))((find-a-name (car x?)) `(progn (rplaca (,(cdr (find-a-name (car x?))) ,(cadr x?)) ,y?) ,y?))((find-d-name (car x?)) `(progn (rplacd (,(cdr (find-d-name (car x?))) ,(cadr x?)) ,y?) ,y?))((and (eq (car x?) 'gethash) (consp (cddr x?))) `(setf-hash ,(cadr x?) ,(caddr x?) ,y?))((eq (car x?) 'aref) `(progn (rplaca (pre-aref ,y? ,@(cdr x?)) ,y?) ,y?))(t '(error "エラー: SETFに対してその関数は定義されていません")) ) ))lisp",
    /*  81 */ R"lisp((defun setf-hash (k i v)(let ((org-i i))(setq i (cdr (cdr org-i)))(let ((pair (apply #'assoc (list k i :test (car (cdr org-i))))))(cond((null pair) (rplacd (last org-i) (list (cons k v))) v)(t (rplacd pair v) v) ) ) ) ))lisp",
    /*  82 */ R"lisp((defun find-nth-name (name)(assoc name '((first . 0) (second . 1) (third . 2) (fourth . 3) (fifth . 4) (sixth . 5)(seventh . 6) (eighth . 7) (ninth . 8) (tenth . 9) ) ) ))lisp",
    /*  83 */ R"lisp((defun nthcdr (n lst)(cond((> 0 n) nil)((atom lst) lst)((zerop n) lst)(t (nthcdr (1- n) (cdr lst))) ) ))lisp",
    /*  84 */ R"lisp((defun assoc (x alist &rest r)(keys$ r '(:test t :test-not t :key t))(let ((test (key$ r :test #'eq)) (tn (key$ r :test-not 'nil)) (key (key$ r :key 'nil)) (v nil))(cond((atom alist) nil)(t (setq v (if key (apply key (list (car (car alist)))) (car (car alist))))(if (if tn (null (apply tn (list x v))) (apply test (list x v))) (car alist) (assoc x (cdr alist) :test test :test-not tn :key key))) ) ) ))lisp",
    /*  85 */ R"lisp((defun find-a-name (name)(assoc name '((caaaar . caaar) (caaadr . caadr) (caaar . caar) (caadar . cadar) (caaddr . caddr) (caadr . cadr) (caar . car)(cadaar . cdaar) (cadadr . cdadr) (cadar . cdar) (caddar . cddar) (cadddr . cdddr) (caddr . cddr) (cadr . cdr)) ) ))lisp",
    /*  86 */ R"lisp((defun find-d-name (name)(assoc name '((cdaaar . caaar) (cdaadr . caadr) (cdaar . caar) (cdadar . cadar) (cdaddr . caddr) (cdadr . cadr) (cdar . car)(cddaar . cdaar) (cddadr . cdadr) (cddar . cdar) (cdddar . cddar) (cddddr . cdddr) (cdddr . cddr) (cddr . cdr)) ) ))lisp",
    // Hash tables: (hash-table TEST . ENTRIES).
    /*  87 */ R"lisp((defun make-hash-table (&rest b)(cond((null b) (list 'hash-table 'eql))((and (eq (car b) :test) (consp (cdr b))) (list 'hash-table (car (cdr b))))(t (error "エラー: 文法エラー")) ) ))lisp",
    /*  88 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun gethash (key ins)(let ((e nil) (found nil))(if (or (atom ins) (not (eq (car ins) 'hash-table)) (atom (cdr ins)) (not (atom (car (cdr ins))))) (error "エラー: ハッシュテーブルではありません"))(setq e (cdr (cdr ins)))(block ,l$ (prog** () ,l$ (if (atom e) (return-from ,l$ nil))(if (atom (car e)) (error "エラー: ハッシュテーブルが壊れています"))(if (funcall (car (cdr ins)) key (car (car e))) (return-from ,l$ (setq found (car e))))(setq e (cdr e)) (go ,l$)))(if found (values (cdr found) t) (values nil nil)) ) ))))lisp",
    /*  89 */ R"lisp((defun hash-table-count (ins)(if (or (atom ins) (not (eq (car ins) 'hash-table)) (atom (cdr ins))) (error "エラー: ハッシュテーブルではありません") (length (cdr (cdr ins)))) ))lisp",
    /*  90 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun remhash (key ins)(let ((p nil))(if (or (atom ins) (not (eq (car ins) 'hash-table)) (atom (cdr ins)) (not (atom (car (cdr ins))))) (error "エラー: ハッシュテーブルではありません"))(setq p (cdr ins))(block ,l$ (prog** () ,l$ (if (atom (cdr p)) (return-from ,l$ nil))(if (atom (car (cdr p))) (error "エラー: ハッシュテーブルが壊れています"))(if (funcall (car (cdr ins)) key (car (car (cdr p)))) (progn (rplacd p (cdr (cdr p))) (return-from ,l$ t)))(setq p (cdr p)) (go ,l$)) ) ) ))))lisp",
    /*  91 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun maphash (func hash)(setq hash (cdr (cdr hash)))(block ,l$ (prog** () ,l$ (if (null hash) (return-from ,l$ nil))(funcall func (car (car hash)) (cdr (car hash)))(setq hash (cdr hash)) (go ,l$)) ) ))))lisp",
    /*  92 */ R"lisp((defun last (x)(cond((atom x) x)((= (length x) 1) x)(t (last (cdr x))) ) ))lisp",
    // CASE. A clause whose key is T is the default clause, as OTHERWISE is.
    /*  93 */ R"lisp((defmacro case (key &rest body)`(cond ,@(make-case key body) ) ))lisp",
    /*  94 */ R"lisp((defun make-case (key body)(cond((null body) nil)((or (eq (car (car body)) 'otherwise) (eq (car (car body)) t)) (cons `(t ,@(cdr (car  body))) (make-case key (cdr body))))((atom (car (car body))) (cons `((eql ,key ',(car (car body))) ,@(cdr (car body))) (make-case key (cdr body))))(t (cons `((member ,key ',(car (car body))) ,@(cdr (car body))) (make-case key (cdr body)))) ) ))lisp",
    // Arrays. A dimension of zero leaves nothing to fill.
    /*  95 */ R"lisp((defun make-array (dim &rest b)(let ((contents (get-contents b)) (element (get-element b)) (type (get-type b)) (arr nil) (dims nil))(cond((eq type 'character)(cond((eq element 'nothing?) (setq element (code-char 32)))((not (characterp element)) (error "エラー: 文字の初期要素を必要とします")) ) )(t (if (eq element 'nothing?) (setq element nil))(setq type 'all)) )(cond((and (integerp dim) (>= dim 0)) (setq dims (list dim)) (setq arr (set-array (cons 1 (cons type (consn dim element))))))((accept-dimension-element dim) (setq dims dim) (setq arr (set-array (cons (length dim) (cons type (make-array-base (reverse dim) element))))))(t (error "エラー: 文法エラー")) )(if (find 0 dims) arr (progn (set-contents arr dims contents element) arr)) ) ))lisp",
    /*  96 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun set-contents (arr dim contents def)(let ((pos (init-pos (length dim))) (el nil))(block ,l$ (prog** () ,l$ (if (eql (car pos) (car dim)) (return-from ,l$ t))(setq el (a-content contents pos def))(eval (list 'setf (cons 'aref (cons 'arr pos)) 'el))(setq pos (reverse (inc-pos (reverse pos) (reverse dim)))) (go ,l$)) ) ) ))))lisp",
    /*  97 */ R"lisp((defun a-content (contents pos def)(let ((k))(setq k (car pos))(cond((atom contents) def)((>= k (length contents)) def)((atom (cdr pos)) (nth k contents))(t (a-content (nth k contents) (cdr pos) def)) ) ) ))lisp",
    /*  98 */ R"lisp((defun inc-pos (pos dim)(let ((k))(setq k (1+ (car pos)))(cond((eql k (car dim))(cond((atom (cdr pos)) (list k))(t (cons 0 (inc-pos (cdr pos) (cdr dim)))) ) )(t(cons k (cdr pos)) ) ) ) ))lisp",
    /*  99 */ R"lisp((defun init-pos (len)(cond((zerop len) nil)(t (cons 0 (init-pos (1- len)))) ) ))lisp",
    /* 100 */ R"lisp((defun make-array-base (dim element)(cond((atom dim) element)(t (make-array-base (cdr dim) (consn (car dim) element))) ) ))lisp",
    /* 101 */ R"lisp((defun copy (s)(cond((consp s) (cons (copy (car s)) (copy (cdr s))))(t s) ) ))lisp",
    /* 102 */ R"lisp((defun consn (n element)(cond((zerop n) nil)(t (cons element (consn (1- n) (copy element)))) ) ))lisp",
    /* 103 */ R"lisp((defun get-contents (b)(let ((f (find :initial-contents b)))(cond((null f) nil)((atom (cdr f)) nil)(t (car (cdr f))) ) ) ))lisp",
    /* 104 */ R"lisp((defun get-element (b)(let ((f (find :initial-element b)))(cond((null f) 'nothing?)((atom (cdr f)) 'nothing?)(t (car (cdr f))) ) ) ))lisp",
    /* 105 */ R"lisp((defun get-type (b)(let ((f (find :element-type b)))(cond((null f) nil)((atom (cdr f)) nil)((eql (car (cdr f)) 'character) 'character)(t 'all) ) ) ))lisp",
    /* 106 */ R"lisp((defun find (v l &rest r)(keys$ r '(:test t :test-not t :key t))(let ((test (key$ r :test #'eql)) (tn (key$ r :test-not 'nil)) (key (key$ r :key 'nil)) (x nil))(cond((atom l) nil)(t (setq x (if key (funcall key (car l)) (car l)))(if (if tn (null (funcall tn v x)) (funcall test v x)) l (find v (cdr l) :test test :test-not tn :key key))) ) ) ))lisp",
    /* 107 */ R"lisp((defun accept-dimension-element (l)(cond((atom l) nil)(t (accept-dimension-element-base l)) ) ))lisp",
    /* 108 */ R"lisp((defun accept-dimension-element-base (l)(cond((atom l) t)((not (integerp (car l))) nil)((< (car l) 0) nil)(t (accept-dimension-element-base (cdr l))) ) ))lisp",
    /* 109 */ R"lisp((defun aref (a &rest b)(cond((eql (length b) (array-car a)) (get-array-pos (cdr (array-cdr a)) b))(t (error "エラー: 次元を設定するところでエラーを生じました")) ) ))lisp",
    /* 110 */ R"lisp((defun get-array-pos (a b)(cond((atom b) a)((not (integerp (car b))) (error "エラー: 次元を設定するところでエラーを生じました"))(t (get-array-pos (nth (car b) a) (cdr b))) ) ))lisp",
    /* 111 */ R"lisp((defun pre-aref (c a &rest b)(cond((eql (length b) (array-car a))(cond((and (eq (car (array-cdr a)) 'character) (not (characterp c))) (error "エラー: 文字設定エラー"))(t (pre-get-array-pos (cdr (array-cdr a)) b)) ) )(t (error "エラー: 次元を設定するところでエラーを生じました")) ) ))lisp",
    /* 112 */ R"lisp((defun pre-get-array-pos (a b)(cond((not (integerp (car b))) (error "エラー: 次元を設定するところでエラーを生じました"))((atom (cdr b)) (nthcdr (car b) a))(t (pre-get-array-pos (nth (car b) a) (cdr b))) ) ))lisp",
    // Destructive and sorting list functions. NCONC skips empty leading lists.
    /* 113 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun nconc (a &rest b)(block ,l$ (prog** () ,l$ (if (null b) (return-from ,l$ a))(if (null a) (setq a (car b)) (rplacd (last a) (car b)))(setq b (cdr b)) (go ,l$)) ) ))))lisp",
    /* 114 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun remove (a b &rest c)(keys$ c '(:test t :test-not t :key t :count t :from-end t))(let ((test (key$ c :test #'eql)) (count (key$ c :count 'nil)) (ans nil) (key (key$ c :key 'nil)) (tn (key$ c :test-not 'nil)) (v nil))(if (and count (key$ c :from-end 'nil)) (return-from remove (reverse1 (remove a (reverse1 b) :from-end 'nil :test test :test-not tn :key key :count count))))(block ,l$ (prog** () ,l$ (if (eql 0 count) (return-from ,l$ (append ans b)))(if (atom b) (return-from ,l$ ans))(setq v (if key (funcall key (car b)) (car b)))(cond((if tn (null (funcall tn a v)) (funcall test a v)) (if (null count) nil (setq count (1- count))))(t (setq ans (append ans (list (car b))))) )(setq b (cdr b)) (go ,l$)) ) ) ))))lisp",
    /* 115 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun delete (a b &rest c)(keys$ c '(:test t :test-not t :key t :count t :from-end t))(let ((test (key$ c :test #'eql)) (count (key$ c :count 'nil)) (k 0) (key (key$ c :key 'nil)) (tn (key$ c :test-not 'nil)) (v nil))(if (and count (key$ c :from-end 'nil)) (return-from delete (apply #'remove (cons a (cons b c)))))(block ,l$ (prog** () ,l$ (if (eql 0 count) (return-from ,l$ b))(if (atom (nthcdr k b)) (return-from ,l$ b))(setq v (if key (funcall key (nth k b)) (nth k b)))(cond((if tn (null (funcall tn a v)) (funcall test a v))(if (= k 0)(return-from ,l$ (apply #'remove (cons a (cons b c))))(progn (rplacd (nthcdr (1- k) b) (nthcdr (1+ k) b))) )(if (null count) nil (setq count (1- count))) )(t (setq k (1+ k))) ) (go ,l$)) ) ) ))))lisp",
    /* 116 */ R"lisp((let ((l$ (intern-wide "LOOP")) (m$ (intern-wide "INNER")))(eval `(defun sort (lst test &rest c)(let ((key) (s) (l) (m) (len (length lst)) (v) (k 0) (kep lst))(cond((setq key (member :key c))(setq key (cadr key)) )(t (setq key nil)) )(cond((< len 2) lst)(t(block ,l$ (prog** () ,l$ (setq lst kep)(if (= k len) (return-from ,l$ lst))(if (null key) (setq m (nth k lst)) (setq m (funcall key (nth k lst))))(setq s nil)(setq l nil)(block ,m$ (prog** () ,m$ (if (null lst) (return-from ,m$))(if (null key) (setq v (car lst)) (setq v (funcall key (car lst))))(cond((funcall test v m) (setq s (cons (car lst) s)))(t (setq l (cons (car lst) l))) )(setq lst (cdr lst)) (go ,m$)))(if (or (null s) (null l))(setq k (1+ k))(return-from ,l$ (replace-destroy kep (append (apply #'sort (cons (reverse s) (cons test c)))(apply #'sort (cons (reverse l) (cons test c))) ) ) ) ) (go ,l$)) ) ) ) ) ))))lisp",
    /* 117 */ R"lisp((defun replace-destroy (a b)(cond((and (null a) (null b)) a)(t(rplaca a (car b))(rplacd a (cdr b))a ) ) ))lisp",
    // Symbols and digits. INT-TO-STRING writes a minus sign for a negative number. GENSYM gives
    // its symbol as one value (CAR of a fresh list drops the second value of MAKE-SYMBOL).
    /* 118 */ R"lisp((defparameter *gensym-counter* 1000))lisp",
    /* 119 */ R"lisp((defun mod (x y)(let ((n (floor (/ x y))))(- x (* n y)) ) ))lisp",
    /* 120 */ R"lisp((let ((l$ (intern-wide "LOOP")))(eval `(defun int-to-string (i)(let ((ans nil) (j) (neg (and (numberp i) (minusp i))))(block ,l$ (prog** () ,l$ (setq j (mod i 10))(setq i (floor (/ i 10)))(if (and neg (not (zerop j))) (progn (setq j (- 10 j)) (setq i (1+ i))))(setq ans (cons (code-char (+ (char-code #\0) j)) ans))(if (zerop i) (return-from ,l$ (coerce (if neg (cons #\- ans) ans) 'string))) (go ,l$)) ) ) ))))lisp",
    /* 121 */ R"lisp((defun gensym (&rest b)(let ((name nil))(cond((null b) (setq *gensym-counter* (1+ *gensym-counter*)) (setq name (cons #\G (coerce (int-to-string *gensym-counter*) 'list))))((and (integerp (car b)) (> (car b) 0)) (setq name (cons #\G (coerce (int-to-string (car b)) 'list))))((stringp (car b)) (setq *gensym-counter* (1+ *gensym-counter*)) (setq name (append (coerce (car b) 'list) (coerce (int-to-string *gensym-counter*) 'list))))(t (error "BAD USAGE GENSYM")) )(car (list (make-symbol (coerce name 'string)))) ) ))lisp",
    /* 122 */ R"lisp((defun make-symbol (str)(intern-wide str) ))lisp",
};

const int kLibraryForms = static_cast<int>(std::size(ReadEvalData));
