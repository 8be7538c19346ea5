// the lexical rule every scanner follows: literals and matching parentheses
#include "reader/reader.h"

bool LiteralScan::feed(char c) {
  switch (state_) {
    case String:
      if (c == '\\')
        state_ = Escape;
      else if (c == '"')
        state_ = Code;
      return false;
    case Escape:
      state_ = String;
      return false;
    case CharByte:
      state_ = Code;
      return false;
    case Hash:
      if (c == '\\') {
        state_ = CharByte;
        return false;
      }
      break;
    case Code:
      break;
  }
  if (c == '"') {
    state_ = String;
    return false;
  }
  state_ = c == '#' ? Hash : Code;
  return true;
}

const char* skipWholeLiteral(const char* p, bool* unclosed) {
  LiteralScan scan;
  do scan.feed(*p++);
  while (*p && !scan.atRest());
  *unclosed = scan.inString();
  return p;
}

const char* matchingClose(const char* p, bool* unterminated) {
  int depth = 0;
  if (unterminated) *unterminated = false;
  while (*p) {
    if (*p == '(') {
      depth++;
    } else if (*p == ')' && --depth == 0) {
      return p;
    }
    bool unclosed;
    p = skipLiteral(p, &unclosed);
    if (unclosed) {
      if (unterminated) *unterminated = true;
      return nullptr;
    }
  }
  return nullptr;
}
