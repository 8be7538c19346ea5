(defun make-adder (n) (function (lambda (x) (+ x n))))
(setq s 0)
(dotimes (i 2000000) (setq s (funcall (make-adder i) 1)))
(progn (princ "OK ") (princ s) (terpri))
