#include "version.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
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

namespace {

std::optional<TVersionNumbers> DecodeRecord(const unsigned char* Record) {
  const auto magic = VersionRecordMagic();
  if (!std::equal(magic.begin(), magic.end(), Record)) return std::nullopt;
  TVersionNumbers v{};
  for (std::size_t i = 0; i < 4; ++i) {
    const unsigned char* p = Record + kVersionRecordMagicSize + 2 * i;
    v[i] = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  }
  return v;
}

class TFd {
public:
  explicit TFd(const std::string& Path) : Fd(open(Path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  // Exactly Size bytes at Offset.
  bool Read(void* To, std::size_t Size, std::uint64_t Offset) const {
    auto* p = static_cast<char*>(To);
    while (Size > 0) {
      const ssize_t n = pread(Fd, p, Size, static_cast<off_t>(Offset));
      if (n <= 0) return false;
      p += n;
      Size -= static_cast<std::size_t>(n);
      Offset += static_cast<std::uint64_t>(n);
    }
    return true;
  }
  int Fd;
};

// The record of a 64-bit little-endian ELF file's version section: its header, its section
// headers and their names are read, then the section. nullopt for any other file, or one whose
// section holds no record: those are scanned.
std::optional<TVersionNumbers> ReadElfSectionRecord(const std::string& Path) {
  if constexpr (std::endian::native != std::endian::little) return std::nullopt;
  TFd f(Path);
  if (f.Fd < 0) return std::nullopt;
  Elf64_Ehdr eh;
  if (!f.Read(&eh, sizeof eh, 0) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
      eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB)
    return std::nullopt;
  // Damaged sizes must not make us read much: such a file is scanned.
  constexpr std::size_t kMaxRead = 1 << 20;
  const std::size_t tableSize = std::size_t(eh.e_shnum) * eh.e_shentsize;
  if (eh.e_shoff == 0 || eh.e_shentsize < sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum ||
      tableSize > kMaxRead)
    return std::nullopt;
  std::vector<unsigned char> table(tableSize);
  if (!f.Read(table.data(), table.size(), eh.e_shoff)) return std::nullopt;
  auto header = [&](std::size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, table.data() + i * eh.e_shentsize, sizeof sh);
    return sh;
  };
  const Elf64_Shdr names = header(eh.e_shstrndx);
  if (names.sh_type == SHT_NOBITS || names.sh_size == 0 || names.sh_size > kMaxRead) return std::nullopt;
  std::vector<char> text(names.sh_size + 1, '\0');
  if (!f.Read(text.data(), names.sh_size, names.sh_offset)) return std::nullopt;
  const char* const wanted = ZELKOR_VERSION_RECORD_SECTION;
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = header(i);
    if (sh.sh_name >= names.sh_size || std::strcmp(text.data() + sh.sh_name, wanted) != 0) continue;
    if (sh.sh_type == SHT_NOBITS || sh.sh_size < kVersionRecordSize) return std::nullopt;
    unsigned char record[kVersionRecordSize];
    if (!f.Read(record, sizeof record, sh.sh_offset)) return std::nullopt;
    return DecodeRecord(record);
  }
  return std::nullopt;
}

std::optional<TVersionNumbers> ScanForRecord(const std::string& path, std::size_t chunkSize) {
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
      if (at + kVersionRecordSize <= buf.size()) return DecodeRecord(buf.data() + at);
      buf.erase(buf.begin(), it);  // the record continues in the next chunk
    } else if (buf.size() > kVersionRecordMagicSize - 1) {
      buf.erase(buf.begin(), buf.end() - static_cast<long>(kVersionRecordMagicSize - 1));
    }
  }
}

}  // namespace

std::optional<TVersionNumbers> ReadVersionRecord(const std::string& path, std::size_t chunkSize) {
  if (auto v = ReadElfSectionRecord(path)) return v;
  return ScanForRecord(path, chunkSize);
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
