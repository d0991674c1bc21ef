// Throughput of the body codecs and MD5 on 16 MiB inputs, printed in MB/s of
// input and as ratios to memcpy of the same size measured in the same run;
// MD5 also against `openssl dgst -md5` on the same bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Base64LineLoop.h"
#include "mail/codec/Base64.h"
#include "mail/codec/Md5.h"
#include "mail/codec/QuotedPrintable.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kSize = 16u << 20;

// The median of several runs: steadier on a shared machine than the best,
// which for memcpy swings with whatever else the memory bus is doing.
double MedianSeconds(const std::function<void()>& work, int runs = 9) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::string RandomBytes(std::size_t size) {
  std::mt19937_64 random(20261208);
  std::string data(size, '\0');
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    std::uint64_t v = random();
    std::memcpy(&data[i], &v, 8);
  }
  return data;
}

// Mostly printable text with line ends and some bytes above 0x7F, as bodies are.
std::string TextLike(std::size_t size) {
  std::mt19937 random(7);
  std::string data(size, ' ');
  for (std::size_t i = 0; i < size; ++i) {
    unsigned r = random() % 100;
    data[i] = r < 2    ? '\r'
              : r < 4  ? '\n'
              : r < 10 ? static_cast<char>(0xC0 + r)
                       : static_cast<char>('a' + r % 26);
  }
  return data;
}

volatile std::size_t sink;

void Report(const char* name, std::size_t inputSize, double seconds, double memcpySeconds,
            double target) {
  double mbs = static_cast<double>(inputSize) / seconds / 1e6;
  double ratio = memcpySeconds / seconds;
  std::printf("%-28s %9.0f MB/s   %.3f x memcpy", name, mbs, ratio);
  if (target > 0) std::printf("   (target %.2f: %s)", target, ratio >= target ? "met" : "MISSED");
  std::printf("\n");
}

double OpensslSeconds(const std::string& data) {
  const char* path = "/tmp/pellam-codec-bench.bin";
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
  double seconds = MedianSeconds(
      [&] {
        if (std::system("openssl dgst -md5 /tmp/pellam-codec-bench.bin >/dev/null") != 0)
          std::abort();
      },
      5);
  std::remove(path);
  return seconds;
}

}  // namespace

int main() {
  const std::string binary = RandomBytes(kSize);
  const std::string text = TextLike(kSize);
  std::string copy(kSize, '\0');
  const double memcpySeconds = MedianSeconds([&] {
    std::memcpy(copy.data(), binary.data(), kSize);
    sink = static_cast<unsigned char>(copy[kSize / 2]);
  });
  std::printf("memcpy of 16 MiB: %.0f MB/s\n", kSize / memcpySeconds / 1e6);

  std::string lines;
  Report("StreamToBase64Lines", kSize,
         MedianSeconds([&] { sink = MailVrex::StreamToBase64Lines(lines, binary); }), memcpySeconds,
         0.17);
  // Like memcpy's destination, the decoded result is one string used again,
  // so that both figures leave out fresh pages from the allocator.
  std::string decoded;
  Report("base64 line decoding", kSize, MedianSeconds([&] {
           codec_test::DecodeBase64Lines(lines, decoded);
           sink = decoded.size();
         }),
         memcpySeconds, 0.12);
  std::string qp;
  Report("TextToQP (body)", kSize, MedianSeconds([&] { qp = MailVrex::TextToQP(text, false); }),
         memcpySeconds, 0.05);
  Report("QPToText", qp.size(), MedianSeconds([&] { sink = MailVrex::QPToText(qp).size(); }),
         memcpySeconds * static_cast<double>(qp.size()) / kSize, 0.05);
  Report("Md5OfString", kSize, MedianSeconds([&] { sink = MailVrex::Md5OfString(binary).size(); }),
         memcpySeconds, 0.0);

  // openssl is timed as a whole process, so both sides digest a larger input
  // for its start-up to weigh little.
  const std::string large = RandomBytes(16 * kSize);
  double ours = MedianSeconds([&] { sink = MailVrex::Md5OfString(large).size(); }, 5);
  double theirs = OpensslSeconds(large);
  std::printf(
      "Md5OfString vs openssl dgst -md5 (256 MiB): %.0f vs %.0f MB/s, ratio %.2f (target 0.90: "
      "%s)\n",
      large.size() / ours / 1e6, large.size() / theirs / 1e6, theirs / ours,
      theirs / ours >= 0.9 ? "met" : "MISSED");
  return 0;
}
