(define (fib n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))
(println "OK " (fib 28))
(exit)
