// line output
#include <cstdio>

#include "heap/messages.h"

void say(const char* text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
}

void sayRaw(const char* text) { std::fputs(text, stdout); }
