// One interpreter object shared by the unit tests (its pools are reserved once).
#pragma once

#include "shell/clisp.h"

inline clisp& testLisp() {
  static clisp* lisp = [] {
    auto* l = new clisp;
    l->Init();
    l->AllocMemory();
    l->IncCellStack(nullptr);
    l->IncLocStack(nullptr, 0);
    l->SetKeyword();
    return l;
  }();
  return *lisp;
}
