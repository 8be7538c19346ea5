; The Common Lisp prelude: names a Common Lisp programmer reaches for on the first day and
; the dialect lacks, written in the dialect. `zelkora --cl` evaluates it after the start-up
; library; (load "/usr/local/share/zelkora/cl.lisp") does the same in any session.
;
; It never redefines a name the dialect has (for a library name, that would also switch off
; its native twin).
; Lambda lists know &REST and &BODY only, so optional and keyword arguments are picked out of
; a &REST list. CAR and CDR of NIL are errors here, so every walk tests for the end first.
; Helpers start with %; their macros bind uninterned symbols, which no user form can name.

; ---- Helpers ---------------------------------------------------------------------------

; The value following KEY in a list of keyword arguments, or DEFAULT.
(defun %kw (args key default)
  (loop
    (if (or (atom args) (atom (cdr args))) (return default))
    (if (eq (car args) key) (return (car (cdr args))))
    (setq args (cdr (cdr args)))))

; The rest of the keyword arguments from KEY's value on, or NIL when KEY is not given.
(defun %kw-tail (args key)
  (loop
    (if (or (atom args) (atom (cdr args))) (return nil))
    (if (eq (car args) key) (return (cdr args)))
    (setq args (cdr (cdr args)))))

; The function of two arguments that :TEST or :TEST-NOT give, EQL by default.
(defun %test-fn (keys)
  (let ((test (%kw keys :test nil)) (test-not (%kw keys :test-not nil)))
    (cond (test test)
          (test-not #'(lambda (a b) (not (funcall test-not a b))))
          (t #'eql))))

(defun %key (key x) (if key (funcall key x) x))

(defun %car (x) (if (consp x) (car x) nil))

; The elements of L pushed in turn onto ACC: L reversed, followed by ACC.
(defun %revappend (l acc)
  (loop
    (if (atom l) (return acc))
    (setq acc (cons (car l) acc))
    (setq l (cdr l))))

; Anything else (a symbol, a number) is no sequence: an error, never an empty one.
(defun %seq-list (seq)
  (cond ((stringp seq) (coerce seq 'list))
        ((or (listp seq) (arrayp seq)) seq)
        (t (error "エラー: 対象はリストか文字列でなくてはなりません。"))))

; A list made from SEQ, back in SEQ's kind: a string for a string.
(defun %like (seq l) (if (stringp seq) (coerce l 'string) l))

; The elements of SEQ from :START to :END, as a list.
(defun %bounded (seq keys)
  (let ((l (%seq-list seq)) (start (%kw keys :start 0)) (end (%kw keys :end nil)))
    (if (and (eql start 0) (null end)) l (subseq l start end))))

(defun %some-atom (lists)
  (dolist (l lists nil)
    (if (atom l) (return t))))

; Uninterned symbols for the temporaries of expansions, made once and reused: an expansion
; binds each at most once, and nested ones shadow each other lexically. The Nth is named TEMPN.
(defvar %temp-pool nil)
(defun %temps (n)
  (loop
    (if (>= (length %temp-pool) n) (return %temp-pool))
    (setq %temp-pool
          (append %temp-pool
                  (list (intern-wide (concatenate 'string "TEMP"
                                                  (int-to-string (1+ (length %temp-pool))))))))))

(defvar %do-tag (intern-wide "DO"))

; ---- Control ---------------------------------------------------------------------------

(defmacro when (test &body body) `(if ,test (progn ,@body)))

(defmacro unless (test &body body) `(if ,test nil (progn ,@body)))

(defmacro prog2 (first second &body rest) `(progn ,first (prog1 ,second ,@rest)))

(defmacro defconstant (name value &rest doc) `(defparameter ,name ,value))

(defun %do-var (v) (if (consp v) (car v) v))

(defun %do-init (v) (if (and (consp v) (consp (cdr v))) (car (cdr v)) nil))

(defun %do-stepped (vars)
  (let ((out nil))
    (dolist (s vars)
      (if (and (consp s) (consp (cdr s)) (consp (cdr (cdr s)))) (setq out (cons s out))))
    (reverse out)))

(defun %do-step (v) (car (cdr (cdr v))))

; DO computes every step before assigning any (through temporaries); DO* assigns in turn.
(defun %do-expand (vars end body parallel)
  (let ((binds (mapcar #'(lambda (s) (list (%do-var s) (%do-init s))) vars))
        (stepped (%do-stepped vars))
        (steps nil))
    (if (and parallel (consp stepped) (consp (cdr stepped)))
        (let ((temps (%temps (length stepped))))
          (setq steps
                (list (cons 'let
                            (cons (mapcar #'(lambda (s tmp) (list tmp (%do-step s))) stepped temps)
                                  (mapcar #'(lambda (s tmp) (list 'setq (%do-var s) tmp))
                                          stepped temps))))))
        (setq steps (mapcar #'(lambda (s) (list 'setq (%do-var s) (%do-step s))) stepped)))
    `(block nil
       (,(if parallel 'let 'let*) ,binds
         (prog** ()
           ,%do-tag
           (if ,(%car end) (return (progn ,@(if (consp end) (cdr end) nil))))
           ,@body
           ,@steps
           (go ,%do-tag))))))

(defmacro do (vars end &body body) (%do-expand vars end body t))

(defmacro do* (vars end &body body) (%do-expand vars end body nil))

; ---- Places ----------------------------------------------------------------------------

; SETF of GET: the start-up library's SETF knows a fixed set of places, and GET is not one
; of them, so (setf-get symbol indicator value) stands for (setf (get symbol indicator) value).
; PUSH, POP, INCF and DECF take (GET ...) places themselves.

(defun %constantp (x)
  (or (numberp x) (stringp x) (characterp x) (null x) (eq x t)
      (and (consp x) (eq (car x) 'quote))))

; A place with its argument forms replaced by the temporaries in TEMPS, and the bindings
; that evaluate those forms once, in order: (BINDINGS . PLACE). A variable is bound too, since
; the value form may assign it.
(defun %place-bind (place temps)
  (let ((binds nil) (args nil))
    (dolist (a (cdr place))
      (if (%constantp a)
          (setq args (cons a args))
          (progn (setq binds (cons (list (car temps) a) binds))
                 (setq args (cons (car temps) args))))
      (setq temps (cdr temps)))
    (cons (reverse binds) (cons (car place) (reverse args)))))

; The form that stores the value of the form V into PLACE.
(defun %store (place v)
  (cond ((symbolp place) (list 'setq place v))
        ((eq (car place) 'get)
         (list 'setf-get (car (cdr place)) (car (cdr (cdr place))) v))
        (t (list 'setf place v))))

; Stores (OP PLACE DELTA) into PLACE and gives it; the new value is computed once, as the
; library's SETF evaluates its value form more than once for some places.
(defun %modify (place op delta)
  (if (symbolp place)
      (list 'setq place (list op place delta))
      (let* ((n (length (cdr place)))
             (temps (%temps (1+ n)))
             (v (nth n temps))
             (b (%place-bind place temps)))
        (list 'let (car b)
              (list 'let (list (list v (list op (cdr b) delta))) (%store (cdr b) v))))))

(defmacro incf (place &rest delta) (%modify place '+ (if delta (car delta) 1)))

(defmacro decf (place &rest delta) (%modify place '- (if delta (car delta) 1)))

(defmacro push (item place)
  (if (symbolp place)
      (list 'setq place (list 'cons item place))
      (let* ((n (length (cdr place)))
             (temps (%temps (+ n 2)))
             (i (nth n temps))
             (v (nth (1+ n) temps))
             (b (%place-bind place temps)))
        (list 'let (list (list i item))
              (list 'let (car b)
                    (list 'let (list (list v (list 'cons i (cdr b))))
                          (%store (cdr b) v)))))))

(defmacro pop (place)
  (let* ((n (if (consp place) (length (cdr place)) 0))
         (temps (%temps (1+ n)))
         (v (nth n temps))
         (b (if (consp place) (%place-bind place temps) (cons nil place))))
    (list 'let (car b)
          (list 'let (list (list v (cdr b)))
                (list 'prog1 (list 'if v (list 'car v))
                      (%store (cdr b) (list 'if v (list 'cdr v))))))))

; ---- Property lists --------------------------------------------------------------------

; Every symbol's property list, as ((symbol . plist) ...).
(defvar %plists nil)

(defun symbol-plist (symbol)
  (let ((entry (assoc symbol %plists)))
    (if entry (cdr entry) nil)))

(defun get (symbol indicator &rest default)
  (let ((p (symbol-plist symbol)))
    (loop
      (if (or (atom p) (atom (cdr p))) (return (%car default)))
      (if (eq (car p) indicator) (return (car (cdr p))))
      (setq p (cdr (cdr p))))))

(defun setf-get (symbol indicator value)
  (if (not (symbolp symbol)) (error "エラー: シンボルではありません"))
  (let ((entry (assoc symbol %plists)) (p nil))
    (if (null entry)
        (progn (setq entry (list symbol))
               (setq %plists (cons entry %plists))))
    (setq p (cdr entry))
    (loop
      (if (or (atom p) (atom (cdr p)))
          (progn (rplacd entry (cons indicator (cons value (cdr entry))))
                 (return value)))
      (if (eq (car p) indicator)
          (progn (rplaca (cdr p) value) (return value)))
      (setq p (cdr (cdr p))))))

; Gives the property list's tail from the indicator on, or NIL when it was not there.
(defun remprop (symbol indicator)
  (let ((entry (assoc symbol %plists)) (prev nil) (p nil))
    (if entry (setq p (cdr entry)))
    (loop
      (if (or (atom p) (atom (cdr p))) (return nil))
      (if (eq (car p) indicator)
          (progn (if prev (rplacd (cdr prev) (cdr (cdr p))) (rplacd entry (cdr (cdr p))))
                 (return p)))
      (setq prev p)
      (setq p (cdr (cdr p))))))

; ---- Numbers ---------------------------------------------------------------------------

(defun float (x &rest prototype) (* 1.0 x))

; The remainder of dividing by D, with the sign of N: the quotient is truncated toward zero.
(defun rem (n d)
  (let ((q (/ n d)))
    (- n (* d (if (minusp q) (- 0 (floor (- 0 q))) (floor q))))))

; ---- Lists and sequences ---------------------------------------------------------------

(defun mapc (fn list &rest more)
  (let ((ls (cons list more)))
    (loop
      (if (%some-atom ls) (return))
      (apply fn (mapcar #'car ls))
      (setq ls (mapcar #'cdr ls))))
  list)

(defun reduce (fn seq &rest keys)
  (let ((l (%bounded seq keys))
        (key (%kw keys :key nil))
        (from-end (%kw keys :from-end nil))
        (init (%kw-tail keys :initial-value))
        (acc nil))
    (if key (setq l (mapcar key l)))
    (if from-end (setq l (reverse l)))
    (cond (init (setq acc (car init)))
          ((null l) (return-from reduce (funcall fn)))
          (t (setq acc (car l)) (setq l (cdr l))))
    (dolist (x l acc)
      (setq acc (if from-end (funcall fn x acc) (funcall fn acc x))))))

(defun %remove-if (pred seq keys when)
  (let ((l (%seq-list seq))
        (key (%kw keys :key nil))
        (count (%kw keys :count nil))
        (start (%kw keys :start 0))
        (end (%kw keys :end nil))
        (i 0) (acc nil))
    (loop
      (if (atom l) (return))
      (if (and (>= i start) (or (null end) (< i end)) (or (null count) (> count 0))
               (if (funcall pred (%key key (car l))) when (not when)))
          (if count (setq count (1- count)))
          (setq acc (cons (car l) acc)))
      (setq l (cdr l))
      (setq i (1+ i)))
    (%like seq (reverse acc))))

(defun remove-if (pred seq &rest keys) (%remove-if pred seq keys t))

(defun remove-if-not (pred seq &rest keys) (%remove-if pred seq keys nil))

; Walks SEQ from :START to :END calling FN on each (keyed) element. MODE FIRST answers
; (index . element) of the first match (the last one with :FROM-END), COUNT the matches.
(defun %search (fn seq keys mode)
  (let ((l (%seq-list seq))
        (key (%kw keys :key nil))
        (start (%kw keys :start 0))
        (end (%kw keys :end nil))
        (last (%kw keys :from-end nil))
        (i 0) (n 0) (found nil))
    (loop
      (if (or (atom l) (and end (>= i end))) (return))
      (if (and (>= i start) (funcall fn (%key key (car l))))
          (progn (setq n (1+ n))
                 (setq found (cons i (car l)))
                 (if (and (eq mode 'first) (not last)) (return))))
      (setq l (cdr l))
      (setq i (1+ i)))
    (if (eq mode 'count) n found)))

(defun position (item seq &rest keys)
  (let ((test (%test-fn keys)))
    (%car (%search #'(lambda (x) (funcall test item x)) seq keys 'first))))

(defun count (item seq &rest keys)
  (let ((test (%test-fn keys)))
    (%search #'(lambda (x) (funcall test item x)) seq keys 'count)))

(defun find-if (pred seq &rest keys)
  (let ((found (%search pred seq keys 'first)))
    (if found (cdr found) nil)))

(defun some (pred seq &rest more)
  (let ((ls (mapcar #'%seq-list (cons seq more))) (r nil))
    (loop
      (if (%some-atom ls) (return nil))
      (setq r (apply pred (mapcar #'car ls)))
      (if r (return r))
      (setq ls (mapcar #'cdr ls)))))

(defun every (pred seq &rest more)
  (let ((ls (mapcar #'%seq-list (cons seq more))))
    (loop
      (if (%some-atom ls) (return t))
      (if (not (apply pred (mapcar #'car ls))) (return nil))
      (setq ls (mapcar #'cdr ls)))))

(defun copy-list (l)
  (let ((acc nil))
    (loop
      (if (atom l) (return (%revappend acc l)))
      (setq acc (cons (car l) acc))
      (setq l (cdr l)))))

(defun copy-tree (x)
  (let ((acc nil))
    (loop
      (if (atom x) (return (%revappend acc x)))
      (setq acc (cons (copy-tree (car x)) acc))
      (setq x (cdr x)))))

(defun rassoc (item alist &rest keys)
  (let ((test (%test-fn keys)) (key (%kw keys :key nil)))
    (dolist (pair alist nil)
      (if (and (consp pair) (funcall test item (%key key (cdr pair)))) (return pair)))))

(defun %subst (new old tree test key)
  (cond ((funcall test old (%key key tree)) new)
        ((atom tree) tree)
        (t (cons (%subst new old (car tree) test key) (%subst new old (cdr tree) test key)))))

(defun subst (new old tree &rest keys) (%subst new old tree (%test-fn keys) (%kw keys :key nil)))

(defun concatenate (type &rest seqs)
  (let ((acc nil))
    (dolist (s seqs) (setq acc (%revappend (%seq-list s) acc)))
    (cond ((eq type 'string) (coerce (reverse acc) 'string))
          ((eq type 'list) (reverse acc))
          (t (error "エラー: CONCATENATEの型はSTRINGかLISTです")))))

; ---- Strings ---------------------------------------------------------------------------

; A string designator's string: a string, a symbol's name or a character alone.
(defun %string (x)
  (cond ((stringp x) x)
        ((symbolp x) (symbol-name x))
        ((characterp x) (coerce (list x) 'string))
        (t (error "エラー: 文字列ではありません"))))

(defun string= (a b &rest keys)
  (let ((s1 (%string a)) (s2 (%string b)))
    (string-equal (subseq s1 (%kw keys :start1 0) (%kw keys :end1 nil))
                  (subseq s2 (%kw keys :start2 0) (%kw keys :end2 nil)))))

; Case changes of the ASCII letters; other bytes are kept.
(defun %case-shift (s low high shift)
  (coerce (mapcar #'(lambda (c)
                      (let ((n (char-code c)))
                        (if (and (>= n low) (<= n high)) (code-char (+ n shift)) c)))
                  (coerce (%string s) 'list))
          'string))

(defun string-upcase (s) (%case-shift s 97 122 -32))

(defun string-downcase (s) (%case-shift s 65 90 32))

(defun %whitespacep (c) (member (char-code c) '(32 9 10 13 12)))

; The weight of a digit character in RADIX, or NIL.
(defun %digit (c radix)
  (let ((n (char-code c)) (w nil))
    (cond ((and (>= n 48) (<= n 57)) (setq w (- n 48)))
          ((and (>= n 65) (<= n 90)) (setq w (- n 55)))
          ((and (>= n 97) (<= n 122)) (setq w (- n 87))))
    (if (and w (< w radix)) w nil)))

; Gives the integer and the index where reading stopped. Digits past 32 bits wrap around, as
; the reader's do.
(defun parse-integer (s &rest keys)
  (let ((i (%kw keys :start 0))
        (end (%kw keys :end nil))
        (radix (%kw keys :radix 10))
        (junk (%kw keys :junk-allowed nil))
        (n 0) (sign 1) (digits nil) (w nil))
    (if (null end) (setq end (length s)))
    (loop (if (or (>= i end) (not (%whitespacep (char s i)))) (return)) (setq i (1+ i)))
    (if (and (< i end) (member (char-code (char s i)) '(43 45)))
        (progn (if (eql (char-code (char s i)) 45) (setq sign -1))
               (setq i (1+ i))))
    (loop
      (if (>= i end) (return))
      (setq w (%digit (char s i) radix))
      (if (null w) (return))
      (setq n (+ (* n radix) w))
      (setq digits t)
      (setq i (1+ i)))
    (if (not junk)
        (progn
          (loop (if (or (>= i end) (not (%whitespacep (char s i)))) (return)) (setq i (1+ i)))
          (if (or (not digits) (< i end)) (error "エラー: 整数ではありません"))))
    (values (if digits (if (< sign 0) (- 0 n) n) nil) i)))

(defun write-line (s &rest stream)
  (if (or (null stream) (null (car stream)) (eq (car stream) t))
      (progn (princ s) (terpri))
      (progn (princ s (car stream)) (terpri (car stream))))
  s)

; ---- Printing to a string --------------------------------------------------------------

; FORMAT with NIL as its destination writes to a string, which no built-in operator can: these
; functions print as PRINC (READABLE false) and PRIN1 do, pushing the characters onto ACC.

(defun %chars (s acc) (%revappend (coerce s 'list) acc))

(defun %floatp (x) (and (numberp x) (not (integerp x)) (eql x (* 1.0 x))))

; A keyword's name, its colon left out, names another symbol once interned. So does an
; uninterned symbol's (GENSYM's), which therefore shows as a keyword here.
(defun %keywordp (x)
  (let ((name (symbol-name x)))
    (and (not (equal name ""))
         (every #'(lambda (c) (let ((n (char-code c)))
                                (and (not (and (>= n 97) (<= n 122)))
                                     (not (member n '(32 64 44 39 59 58 34 0))))))
                name)
         (not (eq x (intern name))))))

; A fraction's numerator and denominator, from its continued fraction: the convergents never
; exceed them, so nothing overflows.
(defun %ratio-parts (r)
  (let ((h 1) (h0 0) (k 0) (k0 1) (a 0) (f 0) (swap 0))
    (loop
      (setq a (floor r))
      (setq f (- r a))
      (setq swap h) (setq h (+ (* a h) h0)) (setq h0 swap)
      (setq swap k) (setq k (+ (* a k) k0)) (setq k0 swap)
      (if (= f 0) (return (cons h k)))
      (setq r (/ 1 f)))))

(defun %pow10 (n)
  (let ((r 1.0) (b 10.0))
    (loop
      (if (= n 0) (return r))
      (if (oddp n) (setq r (* r b)))
      (setq b (* b b))
      (setq n (floor (/ n 2))))))

(defun %scale10 (v e) (if (minusp e) (* v (%pow10 (- 0 e))) (/ v (%pow10 e))))

; The 15 significant digits of a positive float, rounded, and its decimal exponent:
; (digits . exponent). LOG is a double's, so the exponent is first brought into its range.
(defun %float-digits (v)
  (let ((w v) (e 0) (m 0) (digits nil) (d 0) (carry nil) (rounded nil))
    (loop (if (< w 1e300) (return)) (setq w (/ w 1e100)) (setq e (+ e 100)))
    (loop (if (> w 1e-300) (return)) (setq w (* w 1e100)) (setq e (- e 100)))
    (setq e (+ e (floor (/ (log w) (log 10)))))
    (setq m (%scale10 v e))
    (if (>= m 10) (progn (setq e (1+ e)) (setq m (%scale10 v e))))
    (if (< m 1) (progn (setq e (1- e)) (setq m (%scale10 v e))))
    ; FLOOR goes through a double, which may round M up to the next integer.
    (dotimes (k 15)
      (setq d (floor m))
      (if (> d m) (setq d (1- d)))
      (setq digits (cons d digits))
      (setq m (* 10 (- m d))))
    ; DIGITS holds the last digit first, where a carry starts.
    (setq carry (>= m 5))
    (dolist (x digits)
      (if (and carry (= x 9))
          (setq rounded (cons 0 rounded))
          (progn (setq rounded (cons (if carry (1+ x) x) rounded))
                 (setq carry nil))))
    (if carry
        (progn (setq rounded (cons 1 (reverse (cdr (reverse rounded)))))
               (setq e (1+ e))))
    (cons rounded e)))

(defun %digit-chars (ds acc)
  (dolist (d ds acc) (setq acc (cons (code-char (+ 48 d)) acc))))

; As the printer writes a float: C's %.15Lg, and ".0" when that shows neither point nor exponent.
(defun %float-chars (v acc)
  (let ((de nil) (ds nil) (e 0))
    (cond ((not (= v v)) (%chars "nan.0" acc))
          ((minusp v) (%float-chars (- 0.0 v) (cons #\- acc)))
          ((= v 0) (%chars "0.0" acc))
          ((= v (* v 2)) (%chars "inf.0" acc))
          (t
           (setq de (%float-digits v))
           (setq e (cdr de))
           (setq ds (reverse (car de)))
           (loop (if (or (atom (cdr ds)) (not (eql (car ds) 0))) (return)) (setq ds (cdr ds)))
           (setq ds (reverse ds))
           (cond ((and (>= e -4) (< e 15) (minusp e))
                  (setq acc (%chars "0." acc))
                  (dotimes (k (- -1 e)) (setq acc (cons #\0 acc)))
                  (%digit-chars ds acc))
                 ((and (>= e -4) (< e 15))
                  (dotimes (k (1+ e))
                    (setq acc (%digit-chars (list (if ds (car ds) 0)) acc))
                    (if ds (setq ds (cdr ds))))
                  (if ds (%digit-chars ds (cons #\. acc)) (%chars ".0" acc)))
                 (t
                  (setq acc (%digit-chars (list (car ds)) acc))
                  (if (cdr ds) (setq acc (%digit-chars (cdr ds) (cons #\. acc))))
                  (setq acc (cons (if (minusp e) #\- #\+) (cons #\e acc)))
                  (if (minusp e) (setq e (- 0 e)))
                  (if (< e 10) (setq acc (cons #\0 acc)))
                  (%chars (int-to-string e) acc)))))))

(defun %string-chars (s acc)
  (setq acc (cons #\" acc))
  (dolist (c (coerce s 'list))
    (if (or (eql c #\") (eql c #\\)) (setq acc (cons #\\ acc)))
    (setq acc (cons c acc)))
  (cons #\" acc))

; SPACED: an array here is followed by a blank, as the printer writes one at the top level
; and as a dotted list's tail.
(defun %print-chars (x readable acc spaced)
  (cond ((null x) (%chars "NIL" acc))
        ((symbolp x)
         (%chars (symbol-name x) (if (%keywordp x) (cons #\: acc) acc)))
        ((integerp x) (%chars (int-to-string x) acc))
        ((%floatp x) (%float-chars x acc))
        ((numberp x)
         (let ((parts (%ratio-parts x)))
           (%chars (int-to-string (cdr parts))
                   (cons #\/ (%chars (int-to-string (car parts)) acc)))))
        ((characterp x) (if readable (cons x (cons #\\ (cons #\# acc))) (cons x acc)))
        ((stringp x) (if readable (%string-chars x acc) (%chars x acc)))
        ((arrayp x)
         (setq acc (cons #\# acc))
         (if (not (eql (array-car x) 1)) (setq acc (%chars (int-to-string (array-car x)) acc)))
         (setq acc (%print-chars (cdr (array-cdr x)) readable (cons #\A acc) t))
         (if spaced (cons (code-char 32) acc) acc))
        ((consp x)
         (setq acc (cons #\( acc))
         (loop
           (setq acc (%print-chars (car x) readable acc nil))
           (setq x (cdr x))
           (cond ((null x) (return (cons #\) acc)))
                 ((atom x)
                  (return (cons #\) (%print-chars x readable (%chars " . " acc) t))))
                 (t (setq acc (cons (code-char 32) acc))))))
        (t acc)))

; ---- FORMAT ----------------------------------------------------------------------------

; Writes OBJ on DEST as PRINC (or PRIN1) does; for DEST NIL, onto the characters in ACC.
(defun %format-object (dest acc obj readable)
  (cond ((null dest) (%print-chars obj readable acc t))
        ((eq dest t) (if readable (prin1 obj) (princ obj)) acc)
        (t (if readable (prin1 obj dest) (princ obj dest)) acc)))

; Text waiting in ACC goes out to DEST (T or a stream); for NIL it stays until the end.
(defun %format-flush (dest acc)
  (cond ((or (null dest) (null acc)) acc)
        ((eq dest t) (princ (coerce (reverse acc) 'string)) nil)
        (t (princ (coerce (reverse acc) 'string) dest) nil)))

(defun format (dest control &rest args)
  (let ((cs (coerce control 'list)) (acc nil) (c nil))
    (loop
      (if (atom cs) (return))
      (setq c (car cs))
      (setq cs (cdr cs))
      (if (not (eql c #\~))
          (setq acc (cons c acc))
          (progn
            (if (atom cs) (error "エラー: FORMATの指示子がありません"))
            (setq c (char-code (car cs)))
            (setq cs (cdr cs))
            (if (and (>= c 97) (<= c 122)) (setq c (- c 32)))
            (cond ((eql c 37) (setq acc (cons (code-char 10) acc)))
                  ((eql c 126) (setq acc (cons #\~ acc)))
                  ((member c '(65 68 83))
                   (if (atom args) (error "エラー: 引数が足りません"))
                   (setq acc (%format-object dest (%format-flush dest acc) (car args) (eql c 83)))
                   (setq args (cdr args)))
                  (t (error "エラー: FORMATの指示子は~A ~S ~D ~% ~~です"))))))
    (setq acc (%format-flush dest acc))
    (if dest nil (coerce (reverse acc) 'string))))
