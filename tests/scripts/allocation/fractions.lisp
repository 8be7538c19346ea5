(setq s 0)
(dotimes (i 300000) (setq s (+ (/ (1+ (mod i 13)) (+ 2 (mod i 11))) 1/3)))
s
