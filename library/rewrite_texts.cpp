// Build tool: writes the start-up library's texts as the reader rewrites them (folded to upper
// case, reader macros spelled out), so that a start parses each text at once instead of
// rewriting it first. The rewriting is the reader's own: this links reader/rewrite.cpp.
//
//   rewrite_texts OUTPUT.cpp
#include <cstdio>
#include <cstring>

#include "library/texts.h"
#include "reader/reader.h"

namespace {
// A C++ string literal of the bytes: printable ASCII as itself, anything else in octal.
void writeLiteral(FILE* out, const char* s) {
  std::fputc('"', out);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; p++) {
    if (*p == '"' || *p == '\\')
      std::fprintf(out, "\\%c", *p);
    else if (*p >= 0x20 && *p < 0x7f)
      std::fputc(*p, out);
    else
      std::fprintf(out, "\\%03o", *p);
  }
  std::fputc('"', out);
}

int fail(const char* output, const char* why, int i) {
  std::fprintf(stderr, "rewrite_texts: library text %d %s\n", i, why);
  std::remove(output);
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rewrite_texts OUTPUT.cpp\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fputs(
      "// Made by rewrite_texts (library/rewrite_texts.cpp) from library/texts.cpp: edit that.\n"
      "#include \"library/texts.h\"\n\n"
      "const char* const RewrittenTexts[] = {\n",
      out);
  static char text[kLineStrSize];
  for (int i = 0; i < kLibraryForms; i++) {
    size_t length = std::strlen(ReadEvalData[i]);
    if (length >= static_cast<size_t>(kFormLimit)) return fail(argv[1], "is too long", i);
    std::memcpy(text, ReadEvalData[i], length + 1);
    if (!ctextproc::Rewrite(text)) return fail(argv[1], "cannot be rewritten", i);
    std::fprintf(out, "    /* %3d */ ", i);
    writeLiteral(out, text);
    std::fputs(",\n", out);
  }
  std::fputs("};\n", out);
  if (std::fclose(out) != 0) return fail(argv[1], "could not be written", kLibraryForms);
  return 0;
}
