;; Loops run inside functions: CLISP's EVAL expands a top-level loop's macros on every pass.
(defun main ()
  (let ((n 100000) (h (make-hash-table)) (hits 0))
    (dotimes (i n) (setf (gethash (mod (* i 7919) 100003) h) i))
    (dotimes (i n) (when (gethash (mod (* i 7919) 100003) h) (incf hits)))
    (dotimes (i 1000) (remhash (mod (* i 7919) 100003) h))
    (format t "OK ~D ~D~%" (hash-table-count h) hits)))
(main)
