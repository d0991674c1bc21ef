// Writes random data and its base64 and quoted-printable forms to files, so
// that an independent decoder can check them (see check_samples.py).
#include <fstream>
#include <iostream>
#include <string>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderWords.h"
#include "mail/codec/QuotedPrintable.h"
#include "tests/codec/CodecTestData.h"

namespace {

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

// Mostly printable text with line breaks, spaces before them and a few high
// bytes, the kind of body quoted-printable is chosen for.
std::string TextLike(std::size_t size, std::uint32_t seed) {
  std::string noise = codec_test::RandomBytes(size, seed);
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) {
    auto r = static_cast<unsigned char>(noise[i]);
    text[i] = r < 8 ? static_cast<char>(0xA0 + r) : r < 16 ? ' ' : static_cast<char>('a' + r % 26);
    if (r == 200 && i + 1 < size) text.replace(i, 2, "\r\n");
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: codec_samples DIRECTORY\n";
    return 2;
  }
  std::string dir = argv[1];
  const std::size_t sizes[] = {0, 1, 2, 3, 56, 57, 58, 114, 1000, 2280, 2281, 65537};
  int index = 0;
  for (std::size_t size : sizes) {
    for (int kind = 0; kind < 2; ++kind, ++index) {
      std::string data =
          kind == 0 ? codec_test::RandomBytes(size, 31 + index) : TextLike(size, 71 + index);
      std::string stem = dir + "/sample" + std::to_string(index);
      std::string lines;
      MailVrex::StreamToBase64Lines(lines, data);
      WriteFile(stem + ".bin", data);
      WriteFile(stem + ".b64", lines);
      WriteFile(stem + ".b64str", MailVrex::TextToBase64(data));
      WriteFile(stem + ".qp", MailVrex::TextToQP(data, false));
      WriteFile(stem + ".qph", MailVrex::TextToQP(data, true));
      std::string wordText = data.substr(0, 60);
      WriteFile(stem + ".wordtext", wordText);
      WriteFile(stem + ".word", MailVrex::PackHeaderWord(wordText, "iso-8859-1"));
    }
  }
  std::cout << index << " samples\n";
  return 0;
}
