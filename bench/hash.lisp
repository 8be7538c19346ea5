(setq h (make-hash-table))
(dotimes (i 2000) (setf (gethash i h) (* i i)))
(gethash 1999 h)
