#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "exceptions.h"
#include "testenv.h"
#include "version.h"

TEST(VersionRecord, ReadFromTheBuiltProgram) {
  auto v = ReadVersionRecord(ZELKOR_VERSION_PROBE);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(*v, (TVersionNumbers{1, 2, 3, 40}));
}

TEST(VersionRecord, NoneWhereThereIsNoRecord) {
  TestEnv env;
  EXPECT_FALSE(ReadVersionRecord("/bin/true").has_value());
  // This test program links the reader but embeds no record: the reader's own copy of the magic
  // must not be found.
  EXPECT_FALSE(ReadVersionRecord("/proc/self/exe").has_value());
  EXPECT_FALSE(ReadVersionRecord(env.Path("missing")).has_value());
  EXPECT_FALSE(ReadVersionRecord(env.Dir()).has_value());
  std::string rec = VersionRecordBytes(1, 2, 3, 4);
  std::ofstream(env.Path("cut"), std::ios::binary) << "xx" << rec.substr(0, 20);  // record cut off
  EXPECT_FALSE(ReadVersionRecord(env.Path("cut")).has_value());
}

TEST(VersionRecord, FoundAcrossChunkBoundaries) {
  TestEnv env;
  std::string rec = VersionRecordBytes(0x0102, 0xFFFF, 0, 0x1234);
  std::string path = env.Path("f");
  for (size_t offset : {0, 1, 7, 15, 16, 23, 24, 40, 63}) {
    std::string data(offset, 'Z');  // a run of the magic's first byte before it
    data += rec + std::string(5, '\0') + VersionRecordBytes(9, 9, 9, 9);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
    for (size_t chunk : {1, 5, 16, 17, 23, 24, 25, 64, 65536}) {
      auto v = ReadVersionRecord(path, chunk);
      ASSERT_TRUE(v.has_value()) << offset << "/" << chunk;
      EXPECT_EQ(*v, (TVersionNumbers{0x0102, 0xFFFF, 0, 0x1234})) << offset << "/" << chunk;
    }
  }
}

TEST(VersionRecord, WrittenFileRunsAndReadsBack) {
  TestEnv env;
  std::string path = env.Path("prog");
  WriteVersionRecordFile(path, 2, 0, 0, 5);
  EXPECT_EQ(ReadVersionRecord(path), (TVersionNumbers{2, 0, 0, 5}));
  EXPECT_EQ(std::system(path.c_str()), 0);  // still a program that runs
  EXPECT_THROW(WriteVersionRecordFile(env.Path("no/such/prog"), 1, 0, 0, 0), EFCreateError);
}

// A built program's record is taken from its section, not from a scan: a record written earlier
// in a copy of the file is not it. A section that holds no record leaves the scan to find one.
TEST(VersionRecord, BuiltProgramReadFromItsSection) {
  TestEnv env;
  std::ifstream in(ZELKOR_VERSION_PROBE, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string real = VersionRecordBytes(1, 2, 3, 40);
  const size_t at = bytes.find(real);
  constexpr size_t kEarlier = 2048;  // past the ELF and program headers, before the record
  ASSERT_NE(at, std::string::npos);
  ASSERT_LT(kEarlier + kVersionRecordSize, at);
  bytes.replace(kEarlier, kVersionRecordSize, VersionRecordBytes(9, 8, 7, 6));
  const std::string path = env.Path("prog");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(ReadVersionRecord(path), (TVersionNumbers{1, 2, 3, 40}));

  bytes[at] = '?';
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(ReadVersionRecord(path), (TVersionNumbers{9, 8, 7, 6}));
}
