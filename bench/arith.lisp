; Mixed arithmetic: wrapping integer sums and products, small exact fractions, floats and
; FLOOR in one loop. Prints the three accumulators at the end.
(setq isum 0)
(setq fsum 0.0)
(setq r 0)
(dotimes (i 100000)
  (setq isum (+ isum (* i i) (- 7 i)))
  (setq r (+ (/ i 7) (/ 1 (1+ i)) 3/5))
  (setq fsum (+ fsum (/ i 3.0) (* 0.5 i) (- r (floor r)))))
(print (list isum r fsum))
