(setq l nil)
(dotimes (i 5000) (setq l (cons (mod (* i 7919) 5003) l)))
(length (sort l #'<))
