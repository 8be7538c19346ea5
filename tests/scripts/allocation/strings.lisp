(setq total 0)
(dotimes (i 12000) (setq total (+ total (length (reverse (coerce (list #\a #\b #\c #\d #\e #\f #\g #\h #\i #\j) 'string))))))
total
