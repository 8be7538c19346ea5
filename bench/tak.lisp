(defun tak (x y z) (if (not (< y x)) z (tak (tak (1- x) y z) (tak (1- y) z x) (tak (1- z) x y))))
(progn (princ "OK ") (princ (tak 22 16 8)) (terpri))
