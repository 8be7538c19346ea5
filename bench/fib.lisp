(defun fib (n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))
(progn (princ "OK ") (princ (fib 28)) (terpri))
