// The Common Lisp prelude that `zelkora --cl` evaluates after the start-up library: the text of
// library/cl.lisp, made part of the program when it is configured (library/cl_prelude.cpp.in),
// so the program needs no file at run time.
#pragma once

extern const char ClPreludeText[];
