(defun sum (n) (if (= n 0) 0 (+ 1 (sum (- n 1)))))
(defun prod (n) (if (= n 0) 1 (* 1 (prod (- n 1)) 1)))
(defun fib (n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))
(dotimes (i 300) (sum 3000) (prod 2000))
(fib 23)
(dotimes (i 200) (+ 1 (sum 2000) (* 2 (prod 1000)) 5))
(dotimes (i 100) (list (* (+ 1 (sum 500)) (+ (sum 500) 1/2)) (+ 1 2.5 (sum 500)) (* 3 (sum 500) 1.5)))
(list (+) (*) (+ 7) (* 7) (+ 2147483647 1) (* 65536 65536 3) (+ 1/2 1/2 1) (* 2 1/2))
(+ 1 (car '(x)))
abort
(* (sum 10) (prod 10) 'y)
abort
(+ 1 (sum 3) (progn (gc) 4))
(* 2 (+ 3 (progn (gc) 5)) (progn (gc) 7))
(+ 1 2 (car 5))
(gc)
abort
(* 3 (+ 4 (sum 2) (car 6)) 5)
(gc)
abort
(gc)
