(defun make-adder (n) #'(lambda (x) (+ x n)))
(setq s 0)
(dotimes (i 350000) (setq s (+ s (funcall (make-adder i) 1))))
s
