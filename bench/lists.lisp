(setq m nil)
(dotimes (i 20000) (setq m (cons i m)))
(length (mapcar #'1+ m))
