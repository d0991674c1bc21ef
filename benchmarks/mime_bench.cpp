// Composition benchmark: a message with one attachment of 1, 16 and 64 MiB
// is composed and rebuilt, each run in a fresh child process so that its
// peak memory can be read; Python's email package composes the same message
// in the same run. Prints time, throughput and peak memory as a ratio to
// the attachment's size. `mime_bench recipients` composes messages with 100,
// 1,000 and 10,000 recipients instead, against Python's email in the same run.
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
// glibc's allocator otherwise returns large freed blocks to the system, and
// on this virtual machine every fresh page costs more than the encoding of it.
const std::string kKeepMemory =
    "MALLOC_MMAP_THRESHOLD_=1073741824 MALLOC_TRIM_THRESHOLD_=4294967296 ";

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

// The composition, as the automation layer drives it: the whole text.
std::string Compose(const std::string& path, double* rebuiltAt, std::size_t* peakAtRebuild) {
  MailVrex::TMailMessageVrex message;
  message.SetPriority(2);
  message.SetFrom("Ann Lee", "ann@example.com");
  message.ToList.Add("", "bob@example.com");
  message.SetSubject("Monthly report");
  message.SetTextBody("Hello,\r\nthe report is attached.\r\n");
  message.AttachFile(path, "", MailVrex::TEncodingType::etBase64, false);
  message.Rebuild();
  if (rebuiltAt != nullptr) *rebuiltAt = CpuSeconds();
  if (peakAtRebuild != nullptr) *peakAtRebuild = PeakBytes();
  // What the SMTP layer then asks for, timed too for a fair comparison with
  // Python, which produces the whole text.
  return message.GetSourceText();
}

// Prints "rebuild_seconds peak_bytes_above_start sent_seconds text_size
// warm_seconds"; the warm time is a second composition in the same process,
// as a long-running server composes.
int RunChild(const std::string& path) {
  std::size_t startPeak = PeakBytes();
  double started = CpuSeconds();
  double rebuilt = 0;
  std::size_t size = 0;
  std::size_t peak = 0;
  {
    std::string text = Compose(path, &rebuilt, &peak);
    peak -= startPeak;
    size = text.size();
  }
  double sent = CpuSeconds();
  std::string again = Compose(path, nullptr, nullptr);
  double warm = CpuSeconds() - sent;
  std::printf("%.6f %zu %.6f %zu %.6f\n", rebuilt - started, peak, sent - started, size, warm);
  return 0;
}

struct Figures {
  double seconds = 1e30;  // best of the runs
  double warm = 1e30;     // best of the runs' second compositions
  std::size_t peak = 0;   // largest of the runs
};

Figures RunMeasured(const std::string& command, int runs, bool cpp) {
  Figures figures;
  for (int run = 0; run < runs; ++run) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    double rebuildSeconds = 0, sentSeconds = 0, warmSeconds = 0;
    std::size_t peak = 0, size = 0;
    int fields =
        cpp ? std::fscanf(pipe, "%lf %zu %lf %zu %lf", &rebuildSeconds, &peak, &sentSeconds, &size,
                          &warmSeconds)
            : std::fscanf(pipe, "%lf %zu %zu %lf", &sentSeconds, &peak, &size, &warmSeconds);
    if (pclose(pipe) != 0 || fields != (cpp ? 5 : 4))
      throw std::runtime_error("no figures from " + command);
    figures.seconds = std::min(figures.seconds, sentSeconds);
    figures.warm = std::min(figures.warm, warmSeconds);
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
  std::printf("%8s | %10s %9s %11s | %10s %9s %11s | %8s | %10s %10s %8s\n", "size", "C++ cpu s",
              "MiB/s", "peak/size", "Py cpu s", "MiB/s", "peak/size", "speedup", "C++ warm",
              "Py warm", "speedup");
  for (std::size_t mebibytes : {1, 16, 64}) {
    std::size_t size = mebibytes * kMiB;
    std::string path = "/tmp/pellam_mime_bench_" + std::to_string(getpid()) + ".bin";
    WriteFile(path, size);
    const std::string cppCommand = self + " --child " + path;
    const std::string pythonCommand =
        std::string(PELLAM_PYTHON) + " " + MIME_PYTHON_SCRIPT + " " + path;
    Figures cpp = RunMeasured(cppCommand, kCppRuns, true);
    Figures python = RunMeasured(pythonCommand, kPythonRuns, false);
    // The warm figures come from runs whose allocator keeps freed memory, as
    // a long-running server's heap does, for both sides alike.
    cpp.warm = RunMeasured(kKeepMemory + cppCommand, kCppRuns, true).warm;
    python.warm = RunMeasured(kKeepMemory + pythonCommand, kPythonRuns, false).warm;
    std::remove(path.c_str());
    double mib = static_cast<double>(mebibytes);
    std::printf(
        "%5zu MiB | %10.4f %9.1f %11.2f | %10.4f %9.1f %11.2f | %7.1fx | %10.4f %10.4f %7.1fx\n",
        mebibytes, cpp.seconds, mib / cpp.seconds,
        static_cast<double>(cpp.peak) / static_cast<double>(size), python.seconds,
        mib / python.seconds, static_cast<double>(python.peak) / static_cast<double>(size),
        python.seconds / cpp.seconds, cpp.warm, python.warm, python.warm / cpp.warm);
  }
  std::printf(
      "C++: compose, Rebuild and the source text; peak memory through Rebuild, above the\n"
      "process's start. Python: the same message with email.message.EmailMessage and\n"
      "as_bytes(). Times are processor seconds (user + system), best of %d (C++) and\n"
      "%d (Python) runs, each in a fresh process. \"warm\": a second composition in the\n"
      "same process with an allocator that keeps freed memory (as a long-running server's\n"
      "heap does), for both sides; fresh pages are what the first composition mostly costs.\n",
      kCppRuns, kPythonRuns);
  return 0;
}

// A message to `count` recipients, one To and the rest in Bcc as a script gives them; the time
// of the best of three compositions, the source text included.
double ComposeSeconds(int count) {
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    const double started = CpuSeconds();
    MailVrex::TMailMessageVrex message;
    message.SetFrom("Ann Lee", "ann@example.com");
    message.ToList.Add("Bob", "bob@example.com");
    for (int i = 1; i < count; ++i) {
      message.BccList.Add("Reader " + std::to_string(i),
                          "reader" + std::to_string(i) + "@example.com");
    }
    message.SetSubject("Newsletter");
    message.SetTextBody("Hello,\r\nthe news.\r\n");
    message.Rebuild();
    const std::string text = message.GetSourceText();
    best = std::min(best, CpuSeconds() - started);
  }
  return best;
}

int RunRecipients() {
  std::printf("%10s | %12s %14s | %12s %14s | %8s\n", "recipients", "C++ cpu s", "recipients/s",
              "Py cpu s", "recipients/s", "speedup");
  for (int count : {100, 1000, 10000}) {
    const double cpp = ComposeSeconds(count);
    const std::string command = std::string(PELLAM_PYTHON) + " " + MIME_PYTHON_SCRIPT +
                                " --recipients " + std::to_string(count);
    FILE* pipe = popen(command.c_str(), "r");
    double python = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &python) != 1 || pclose(pipe) != 0)
      throw std::runtime_error("no figures from " + command);
    std::printf("%10d | %12.4f %14.0f | %12.4f %14.0f | %7.1fx\n", count, cpp, count / cpp, python,
                count / python, python / cpp);
  }
  std::printf(
      "C++: a message with one To and the rest in Bcc, each added as the scripting object adds\n"
      "a recipient line, a text body, Rebuild and the source text. Python: the same fields with\n"
      "email.message.EmailMessage and as_bytes(). Processor seconds, best of 3.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--child") return RunChild(argv[2]);
    if (argc == 2 && std::string(argv[1]) == "recipients") return RunRecipients();
    return RunAll(argv[0]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mime_bench: %s\n", error.what());
    return 1;
  }
}
