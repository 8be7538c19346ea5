// the line source at a terminal: line editing, history and Ctrl-C
//
// The editor hands the reader exactly the bytes the terminal would have delivered: each
// edited line followed by its line end. What the program printed on the line before the
// wait (a prompt such as "[3]" or "*[1]", a question before READ-LINE) becomes the editor's
// prompt, so it redraws the whole line correctly while the user edits. Tab completes a symbol's
// name from the interpreter's symbol table, and a form typed over several lines goes into the
// history as one line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "heap/heap.h"
#include "heap/messages.h"
#include "reader/reader.h"

#ifdef ZELKORA_LIBEDIT
#include <langinfo.h>

#include <editline/readline.h>
#endif

bool lineEditing = false;
volatile sig_atomic_t interruptRequested = 0;
volatile sig_atomic_t terminateSignal = 0;

namespace {
void onInterrupt(int) { interruptRequested = 1; }

// The evaluator ends the process at its next step, files flushed. A signal that comes again a
// second or more after the first was left waiting (the process is stuck where no step starts)
// ends it at once, unflushed.
struct timespec firstTerminate;
void onTerminate(int sig) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  long waited = (now.tv_sec - firstTerminate.tv_sec) * 1000000000L + now.tv_nsec -
                firstTerminate.tv_nsec;
  if (terminateSignal && waited >= 1000000000L) _exit(128 + terminateSignal);
  if (!terminateSignal) firstTerminate = now;
  terminateSignal = sig;
  interruptRequested = 1;
}

// A write to a pipe nobody reads any more. When it is standard output's, the run ends as a
// failed write does, its files flushed and closed; a file's own write just fails, and the
// operator that wrote says so.
void onBrokenPipe(int) {
  struct pollfd out = {STDOUT_FILENO, 0, 0};
  if (poll(&out, 1, 0) != 1 || !(out.revents & (POLLERR | POLLHUP))) return;
  if (!terminateSignal) {
    clock_gettime(CLOCK_MONOTONIC, &firstTerminate);
    terminateSignal = SIGPIPE;
  }
  interruptRequested = 1;
}

// No SA_RESTART: a Ctrl-C typed while the program waits for a line ends that wait.
void catchInterrupt() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
}

bool atEnd = false;  // the user typed Ctrl-D: the end stays the end, as with stdio

// Without libedit: the terminal's own line discipline edits, and Ctrl-C ends the wait.
int plainByte() {
  interruptRequested = 0;
  int c = std::getchar();
  if (c == EOF && interruptRequested && std::ferror(stdin)) {
    std::clearerr(stdin);
    interruptRequested = 0;
    std::fputc('\n', stdout);  // the terminal has echoed "^C"
    return kInputCancelled;
  }
  return c;
}

#ifdef ZELKORA_LIBEDIT
constexpr int kHistoryLines = 1000;  // kept in the history file, newest last
constexpr size_t kTailMax = 512;     // a longer unfinished output line is not redrawn

FILE* screen = nullptr;  // the terminal, for the editor's own drawing
std::string historyFile;
std::string lastAdded;

// The program's output goes through here. The text after the last line end, which is what
// will stand before the cursor, is held back and drawn by the editor as its prompt, so the
// editor knows the whole line. Text too long or holding control bytes goes out at once, and
// the editor then starts from an empty prompt.
std::string tail;
bool tailHeld = true;  // nothing of the current line has gone out yet

void writeAll(const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return;
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void releaseTail() {
  writeAll(tail.data(), tail.size());
  tail.clear();
}

// At exit the held text goes out after whatever the stream still buffers.
void finishOutput() {
  std::fflush(stdout);
  releaseTail();
}

ssize_t writeOutput(void*, const char* buf, size_t size) {
  const char* end = buf + size;
  if (const void* nl = memrchr(buf, '\n', size)) {
    releaseTail();
    const char* rest = static_cast<const char*>(nl) + 1;
    writeAll(buf, static_cast<size_t>(rest - buf));
    buf = rest;
    tailHeld = true;
  }
  for (const char* p = buf; p < end; p++)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) tailHeld = false;
  tail.append(buf, static_cast<size_t>(end - buf));
  if (tail.size() > kTailMax) tailHeld = false;
  if (!tailHeld) releaseTail();
  return static_cast<ssize_t>(size);
}

void remember(const char* text) {
  if (!*text || lastAdded == text) return;
  lastAdded = text;
  add_history(text);
  if (!historyFile.empty()) write_history(historyFile.c_str());  // a killed session keeps it
}

// The lines of the form being collected, joined into one history entry that is added when
// the form is read or dropped: Up then brings the whole form back on one line. A line end
// outside a literal is a blank to the reader, so a blank joins them; one inside a string or
// after "#\" is kept, or the recalled form would read differently.
bool collectingForm = false;
std::string formLines;
LiteralScan formScan;

void dropForm() {
  formLines.clear();
  formScan = LiteralScan();
}

void rememberForm() {
  remember(formLines.c_str());
  dropForm();
}

void keepLine(const char* text) {
  if (!collectingForm) {
    remember(text);
    return;
  }
  bool inLiteral = formScan.midLiteral();
  if (!inLiteral) text += std::strspn(text, " \t");  // the indentation of a continuation line
  if (!inLiteral && !*text) return;
  if (!formLines.empty()) {
    formLines += inLiteral ? '\n' : ' ';
    formScan.feed('\n');
  }
  formLines += text;
  for (const char* p = text; *p; p++) formScan.feed(*p);
}

// ---- Tab: a symbol's name ----
// The names are the interned symbols' (built-ins, the library's, the user's), which the
// reader stores in upper case. A name holding lower case or a delimiter cannot be typed as
// it stands, so it is never offered.
const cmemory* symbols = nullptr;
// A name ends at a blank, a parenthesis, a double quote or a reader prefix: quote, backquote,
// comma, at-sign, and the # of #'.
constexpr const char kDelimiters[] = " \t\n\"'`,@()#";
std::vector<std::string> candidates;

// Helpers no user calls are never offered: names holding a $ or starting with % (the --cl
// prelude's), and these of the start-up library, which serve its arrays, C...R and NTH,
// CASE, SETF and PPRINT (each between blanks). Its general functions (COPY, CONSN, APPEND1,
// ...) are offered.
constexpr const char kLibraryHelpers[] =
    " A-CONTENT ACCEPT-DIMENSION-ELEMENT ACCEPT-DIMENSION-ELEMENT-BASE FIND-A-NAME FIND-D-NAME"
    " FIND-NTH-NAME GET-ARRAY-POS GET-CONTENTS GET-ELEMENT GET-TYPE INC-POS INIT-POS"
    " IS-ALL-ATOM IS-ALL-ATOM-1-LIST MAKE-ARRAY-BASE MAKE-CASE PPRINT2 PPRINT3 PRE-AREF"
    " PRE-GET-ARRAY-POS SET-CONTENTS SETF-HASH ";

bool helper(const char* name) {
  if (*name == '%' || std::strchr(name, '$')) return true;
  // A typable name holds no blank.
  return std::strstr(kLibraryHelpers, (" " + std::string(name) + " ").c_str()) != nullptr;
}

bool typable(const char* name) {
  for (const char* p = name; *p; p++)
    if ((*p >= 'a' && *p <= 'z') || std::strchr(kDelimiters, *p)) return false;
  return true;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The typed letters stay as they are; the rest follows the case of the last letter typed,
// lower case when none was.
bool typedInUpperCase(const char* text) {
  bool isUpper = false;
  for (const char* p = text; *p; p++) {
    if (*p >= 'A' && *p <= 'Z') isUpper = true;
    if (*p >= 'a' && *p <= 'z') isUpper = false;
  }
  return isUpper;
}

char* nextCandidate(const char*, int state) {
  size_t i = static_cast<size_t>(state);
  return i < candidates.size() ? strdup(candidates[i].c_str()) : nullptr;
}

// libedit hands over the word before the cursor, cut at kDelimiters. Nothing typed yet offers
// nothing: a list of every symbol helps nobody.
char** completeSymbol(const char* text, int, int) {
  rl_attempted_completion_over = 1;  // never fall back on file names
  size_t typed = std::strlen(text);
  if (!symbols || typed == 0 || std::strpbrk(text, kDelimiters) || std::strchr(text, '\\'))
    return nullptr;
  bool isUpper = typedInUpperCase(text);
  candidates.clear();
  for (_cell* const* s = symbols->symbolTable; s < symbols->symbolTop; s++) {
    if (!*s || (*s)->attr == Attr::Uninterned) continue;
    const char* name = nameOf(*s);
    if (!typable(name)) continue;
    size_t i = 0;  // a name shorter than the text stops at its NUL, which no typed byte is
    while (i < typed && upper(text[i]) == name[i]) i++;
    if (i < typed || helper(name)) continue;
    std::string shown(text);
    for (const char* p = name + typed; *p; p++) shown += isUpper ? *p : lower(*p);
    candidates.push_back(std::move(shown));
  }
  if (candidates.empty()) return nullptr;
  std::sort(candidates.begin(), candidates.end());
  return rl_completion_matches(text, nextCandidate);
}

// Line editing works on characters, which needs a UTF-8 character type; the program's own
// messages already assume a UTF-8 terminal.
void chooseCharacterSet() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

char* line = nullptr;  // the edited line being handed on, then its line end
size_t linePos = 0;
size_t lineLen = 0;
bool lineOpen = false;

int readEditedLine() {
  std::fflush(stdout);
  std::string prompt;
  prompt.swap(tail);
  interruptRequested = 0;
  std::free(line);
  line = readline(prompt.c_str());
  tailHeld = true;
  if (!line) {
    if (interruptRequested) {
      interruptRequested = 0;
      dropForm();  // a form given up is not one to run again
      std::fputs(msg::InputCancelled, screen);
      std::fputc('\n', screen);
      std::fflush(screen);
      return kInputCancelled;
    }
    rememberForm();
    std::fputc('\n', screen);  // the shell's prompt starts on a line of its own
    std::fflush(screen);
    atEnd = true;
    return EOF;
  }
  keepLine(line);
  linePos = 0;
  lineLen = std::strlen(line);
  lineOpen = true;
  return editedByte();
}

bool startEditor(const cmemory& m) {
  chooseCharacterSet();
  std::fflush(stdout);
  screen = stdout;
  cookie_io_functions_t io = {nullptr, writeOutput, nullptr, nullptr};
  FILE* out = fopencookie(nullptr, "w", io);
  if (!out) return false;
  std::setvbuf(out, nullptr, _IOLBF, BUFSIZ);  // as a terminal's standard output is
  stdout = out;
  std::atexit(finishOutput);
  rl_readline_name = "zelkora";
  rl_instream = stdin;
  rl_outstream = screen;
  rl_initialize();
  symbols = &m;
  rl_basic_word_break_characters = kDelimiters;
  rl_attempted_completion_function = completeSymbol;
  stifle_history(kHistoryLines);
  if (const char* home = std::getenv("HOME"); home && *home) {
    historyFile = std::string(home) + "/.zelkora_history";
    int fd = open(historyFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);  // private
    if (fd >= 0) close(fd);
    read_history(historyFile.c_str());
  }
  return true;
}
#else
bool startEditor(const cmemory&) { return false; }
#endif

bool editorRunning = false;
}  // namespace

int editedByte() {
  if (atEnd) return EOF;
#ifdef ZELKORA_LIBEDIT
  if (editorRunning) {
    if (linePos < lineLen) return static_cast<unsigned char>(line[linePos++]);
    if (lineOpen) {
      lineOpen = false;
      return '\n';
    }
    return readEditedLine();
  }
#endif
  int c = plainByte();
  if (c == EOF) atEnd = true;
  return c;
}

bool lineEditingBuiltIn() {
#ifdef ZELKORA_LIBEDIT
  return true;
#else
  return false;
#endif
}

void catchTermination(bool interrupts) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = onTerminate;  // no SA_RESTART: a wait for input ends
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  if (interrupts) sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = onBrokenPipe;  // every write after the first fails alike: none ends at once
  sigaction(SIGPIPE, &sa, nullptr);
}

void terminateNow() {
  endProcess(128 + terminateSignal);
  std::abort();  // endProcess does not return
}

void startLineEditing(const cmemory& m) {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return;
  catchInterrupt();
  editorRunning = startEditor(m);
  lineEditing = true;
}

#ifdef ZELKORA_LIBEDIT
FormLines::FormLines() { collectingForm = editorRunning; }

FormLines::~FormLines() {
  if (!collectingForm) return;
  collectingForm = false;
  rememberForm();
}
#else
FormLines::FormLines() {}
FormLines::~FormLines() {}
#endif
