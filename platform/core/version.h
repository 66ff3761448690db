#pragma once
// Version records: each executable that CMake builds carries 24 bytes
//   16-byte magic, then major, minor, release, build as little-endian 16-bit numbers
// (cmake/version_record.cpp.in, zelkor_version_record in cmake/Zelkor.cmake) in a section of its
// own (ZELKOR_VERSION_RECORD_SECTION), found again through the ELF section headers: a few small
// reads at the file's end, whatever its size. Any other file (no such section, not ELF) is
// scanned for the first record.
//
// ZELKOR_VERSION_RECORD_MAGIC(F) is the one definition of the magic: it applies F to each byte.
// Code that reads records never keeps the magic as plain bytes (the reader holds it inverted and
// rebuilds it at run time), so a program that contains the reader still has only its own
// record to be found.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#define ZELKOR_VERSION_RECORD_MAGIC(F) \
  F('Z') F('E') F('L') F('K') F('V') F('E') F('R') F(0x01) \
  F('V') F('R') F('E') F('C') F(0x00) F(0x08) F(0x00) F(0x00)

#define ZELKOR_VERSION_RECORD_SECTION ".zelkor.version"

inline constexpr std::size_t kVersionRecordMagicSize = 16;
inline constexpr std::size_t kVersionRecordSize = kVersionRecordMagicSize + 8;

using TVersionNumbers = std::array<std::uint16_t, 4>;  // major, minor, release, build

// The magic, built at run time.
std::array<unsigned char, kVersionRecordMagicSize> VersionRecordMagic();

// The record of the file's version section, else the first record in the file; nullopt when
// there is none or the file cannot be read. A scan reads the file in chunks of chunkSize bytes (a
// record across two chunks is found).
std::optional<TVersionNumbers> ReadVersionRecord(const std::string& path, std::size_t chunkSize = 65536);

// The 24 bytes of a record.
std::string VersionRecordBytes(std::uint16_t major, std::uint16_t minor, std::uint16_t release,
                               std::uint16_t build);

// Writes a small runnable program (a copy of /bin/true, or a shell script that exits 0) with a
// record appended, mode 0755. Raises EFCreateError when it cannot be written.
void WriteVersionRecordFile(const std::string& path, std::uint16_t major, std::uint16_t minor,
                            std::uint16_t release, std::uint16_t build);
