(setq l nil)
(dotimes (i 1000000) (setq l (cons i l)))
(progn (princ "OK ") (princ (length l)) (princ " ") (princ (car l)) (terpri))
