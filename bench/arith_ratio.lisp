; Fraction-heavy arithmetic on terms near the 32-bit limit: every step reduces a pair whose
; cross products need 64 bits, and each iteration adds exactly 3/2 to S.
(setq s 0)
(dotimes (i 50000)
  (setq a (+ 1000000000 (* i 17)))
  (setq x (/ a 2147483647))
  (setq y (+ x (/ 1 2147483647)))
  (setq z (* y (/ 2147483647 (1+ a))))
  (setq w (- (/ a 2147483646) (/ 1 2147483646)))
  (setq v (/ w (/ (1- a) 1073741823)))
  (setq s (+ s z v)))
(print s)
