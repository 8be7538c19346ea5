// the line source at a terminal: line editing, history and Ctrl-C
//
// The editor hands the reader exactly the bytes the terminal would have delivered: each
// edited line followed by its line end. What the program printed on the line before the
// wait (a prompt such as "[3]" or "*[1]", a question before READ-LINE) becomes the editor's
// prompt, so it redraws the whole line correctly while the user edits.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

void onTerminate(int sig) {
  terminateSignal = sig;
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
      std::fputs(msg::InputCancelled, screen);
      std::fputc('\n', screen);
      std::fflush(screen);
      return kInputCancelled;
    }
    std::fputc('\n', screen);  // the shell's prompt starts on a line of its own
    std::fflush(screen);
    atEnd = true;
    return EOF;
  }
  remember(line);
  linePos = 0;
  lineLen = std::strlen(line);
  lineOpen = true;
  return editedByte();
}

bool startEditor() {
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
  rl_bind_key('\t', rl_insert);  // a tab is blank space in a form, not a file-name completion
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
bool startEditor() { return false; }
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
}

void terminateNow() {
  endProcess(128 + terminateSignal);
  std::abort();  // endProcess does not return
}

void startLineEditing() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return;
  catchInterrupt();
  editorRunning = startEditor();
  lineEditing = true;
}
