// One interpreter object shared by the unit tests (its pools are reserved once).
#pragma once

#include "shell/clisp.h"

inline clisp& testLisp() {
  static clisp* lisp = [] {
    auto* l = new clisp;
    l->Init();
    l->AllocMemory();
    l->SetKeyword();
    return l;
  }();
  return *lisp;
}
