#include "version.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "exceptions.h"

namespace {
#define ZELKOR_INVERTED_BYTE(c) static_cast<unsigned char>(~static_cast<unsigned>(c) & 0xFFu),
// volatile: the compiler may not fold the inversion back into a copy of the plain magic.
const volatile unsigned char kInvertedMagic[kVersionRecordMagicSize] = {ZELKOR_VERSION_RECORD_MAGIC(ZELKOR_INVERTED_BYTE)};
#undef ZELKOR_INVERTED_BYTE
}  // namespace

std::array<unsigned char, kVersionRecordMagicSize> VersionRecordMagic() {
  std::array<unsigned char, kVersionRecordMagicSize> m{};
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<unsigned char>(~kInvertedMagic[i]);
  return m;
}

std::optional<TVersionNumbers> ReadVersionRecord(const std::string& path, std::size_t chunkSize) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  if (chunkSize == 0) chunkSize = 1;
  const auto magic = VersionRecordMagic();
  std::vector<unsigned char> buf;  // the unsearched tail of the previous chunk, then this chunk
  std::vector<char> chunk(chunkSize);
  for (;;) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    std::streamsize got = in.gcount();
    if (got <= 0) return std::nullopt;
    buf.insert(buf.end(), chunk.begin(), chunk.begin() + got);
    auto it = std::search(buf.begin(), buf.end(), magic.begin(), magic.end());
    if (it != buf.end()) {
      std::size_t at = static_cast<std::size_t>(it - buf.begin());
      if (at + kVersionRecordSize <= buf.size()) {
        TVersionNumbers v{};
        for (std::size_t i = 0; i < 4; ++i) {
          std::size_t p = at + kVersionRecordMagicSize + 2 * i;
          v[i] = static_cast<std::uint16_t>(buf[p] | (buf[p + 1] << 8));
        }
        return v;
      }
      buf.erase(buf.begin(), it);  // the record continues in the next chunk
    } else if (buf.size() > kVersionRecordMagicSize - 1) {
      buf.erase(buf.begin(), buf.end() - static_cast<long>(kVersionRecordMagicSize - 1));
    }
  }
}

std::string VersionRecordBytes(std::uint16_t major, std::uint16_t minor, std::uint16_t release,
                               std::uint16_t build) {
  auto magic = VersionRecordMagic();
  std::string out(magic.begin(), magic.end());
  for (std::uint16_t n : {major, minor, release, build}) {
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
  }
  return out;
}

void WriteVersionRecordFile(const std::string& path, std::uint16_t major, std::uint16_t minor,
                            std::uint16_t release, std::uint16_t build) {
  std::string body;
  std::ifstream base("/bin/true", std::ios::binary);
  if (base) body.assign(std::istreambuf_iterator<char>(base), std::istreambuf_iterator<char>());
  if (body.empty()) body = "#!/bin/sh\nexit 0\n";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << body << VersionRecordBytes(major, minor, release, build);
  out.close();
  if (!out || chmod(path.c_str(), 0755) != 0) throw EFCreateError("Cannot create file \"" + path + "\"");
}
