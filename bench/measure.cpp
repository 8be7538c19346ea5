// Runs a program several times with a file on standard input; prints the median wall time in
// milliseconds and the largest peak resident set size in KiB, as "median_ms peak_kib".
// Forking from this small process keeps the parent's memory out of the child's peak.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: measure RUNS INPUT PROGRAM\n");
    return 2;
  }
  int runs = std::atoi(argv[1]);
  std::vector<double> times;
  long peak = 0;
  for (int i = 0; i < runs; i++) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      int in = open(argv[2], O_RDONLY);
      int out = open("/dev/null", O_WRONLY);
      if (in < 0 || out < 0) _exit(127);
      dup2(in, 0);
      dup2(out, 1);
      execl(argv[3], argv[3], static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    peak = std::max(peak, usage.ru_maxrss);
  }
  std::sort(times.begin(), times.end());
  std::printf("%.3f %ld\n", times[times.size() / 2], peak);
  return 0;
}
