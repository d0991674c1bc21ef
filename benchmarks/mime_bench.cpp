// Composition benchmark: a message with one attachment of 1, 16 and 64 MiB
// is composed and rebuilt, each run in a fresh child process so that its
// peak memory can be read; Python's email package composes the same message
// in the same run. Prints time, throughput and peak memory as a ratio to
// the attachment's size.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "mail/mime/TMailMessageVrex.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr int kCppRuns = 3;
constexpr int kPythonRuns = 2;

std::size_t PeakBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// Processor time of this process (as Python's time.process_time reads it):
// the machine may be shared, and waiting for a core is no part of the cost.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The composition itself, as the automation layer drives it; prints
// "rebuild_seconds peak_bytes_above_start sent_seconds".
int RunChild(const std::string& path) {
  std::size_t startPeak = PeakBytes();
  double started = CpuSeconds();
  MailVrex::TMailMessageVrex message;
  message.SetPriority(2);
  message.SetFrom("Ann Lee", "ann@example.com");
  message.ToList.Add("", "bob@example.com");
  message.SetSubject("Monthly report");
  message.SetTextBody("Hello,\r\nthe report is attached.\r\n");
  message.AttachFile(path, "", MailVrex::TEncodingType::etBase64, false);
  message.Rebuild();
  double rebuilt = CpuSeconds();
  std::size_t peak = PeakBytes() - startPeak;
  // What the SMTP layer then asks for, timed too for a fair comparison with
  // Python, which produces the whole text.
  std::string text = message.GetSourceText();
  double sent = CpuSeconds();
  std::printf("%.6f %zu %.6f %zu\n", rebuilt - started, peak, sent - started, text.size());
  return 0;
}

struct Figures {
  double seconds = 1e30;  // best of the runs
  std::size_t peak = 0;   // largest of the runs
};

Figures RunMeasured(const std::string& command, int runs, bool cpp) {
  Figures figures;
  for (int run = 0; run < runs; ++run) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    double rebuildSeconds = 0, sentSeconds = 0;
    std::size_t peak = 0, size = 0;
    int fields =
        cpp ? std::fscanf(pipe, "%lf %zu %lf %zu", &rebuildSeconds, &peak, &sentSeconds, &size)
            : std::fscanf(pipe, "%lf %zu %zu", &sentSeconds, &peak, &size);
    if (pclose(pipe) != 0 || fields != (cpp ? 4 : 3))
      throw std::runtime_error("no figures from " + command);
    figures.seconds = std::min(figures.seconds, sentSeconds);
    figures.peak = std::max(figures.peak, peak);
  }
  return figures;
}

void WriteFile(const std::string& path, std::size_t size) {
  std::string data(size, '\0');
  std::mt19937 generator(12345);
  for (char& c : data) c = static_cast<char>(generator());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

int RunAll(const std::string& self) {
  std::printf("%8s | %10s %9s %11s | %10s %9s %11s | %8s\n", "size", "C++ cpu s", "MiB/s",
              "peak/size", "Py cpu s", "MiB/s", "peak/size", "speedup");
  for (std::size_t mebibytes : {1, 16, 64}) {
    std::size_t size = mebibytes * kMiB;
    std::string path = "/tmp/pellam_mime_bench_" + std::to_string(getpid()) + ".bin";
    WriteFile(path, size);
    Figures cpp = RunMeasured(self + " --child " + path, kCppRuns, true);
    Figures python = RunMeasured(std::string(PELLAM_PYTHON) + " " + MIME_PYTHON_SCRIPT + " " + path,
                                 kPythonRuns, false);
    std::remove(path.c_str());
    double mib = static_cast<double>(mebibytes);
    std::printf("%5zu MiB | %10.4f %9.1f %11.2f | %10.4f %9.1f %11.2f | %7.1fx\n", mebibytes,
                cpp.seconds, mib / cpp.seconds,
                static_cast<double>(cpp.peak) / static_cast<double>(size), python.seconds,
                mib / python.seconds, static_cast<double>(python.peak) / static_cast<double>(size),
                python.seconds / cpp.seconds);
  }
  std::printf(
      "C++: compose, Rebuild and the source text; peak memory through Rebuild, above the\n"
      "process's start. Python: the same message with email.message.EmailMessage and\n"
      "as_bytes(). Times are processor seconds (user + system), best of %d (C++) and\n"
      "%d (Python) runs.\n",
      kCppRuns, kPythonRuns);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--child") return RunChild(argv[2]);
    return RunAll(argv[0]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mime_bench: %s\n", error.what());
    return 1;
  }
}
