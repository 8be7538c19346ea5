;; Loops run inside functions: CLISP's EVAL expands a top-level loop's macros on every pass.
(defun main ()
  (let ((total 0) (prev "") (chars (loop for k below 40 collect k)))
    (dotimes (i 6000)
      (let ((s (coerce (mapcar #'(lambda (k) (code-char (+ 97 (mod (+ i k) 26)))) chars) 'string)))
        (unless (string-equal s prev) (incf total (length s)))
        (setq prev s)))
    (format t "OK ~D~%" total)))
(main)
