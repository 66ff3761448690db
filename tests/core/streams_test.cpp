#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>

#include "streams.h"
#include "testenv.h"

TEST(Streams, MemoryStreamReadWriteSeekSize) {
  TMemoryStream m;
  EXPECT_EQ(m.Memory(), nullptr);
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Size(), 5);
  EXPECT_EQ(m.Position(), 5);
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);  // a short read returns what there is
  EXPECT_STREQ(buf, "ello");
  m.Seek(-2, soEnd);
  m.WriteBuffer("LOW", 3);  // overwrites and grows
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), size_t(m.Size())), "helLOW");
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), 2), "he");
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(Streams, ShortReadsAndWritesRaise) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(1);
  char buf[4];
  try {
    m.ReadBuffer(buf, 3);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
  TestEnv env;
  std::string path = env.Path("ro.bin");
  { TFileStream f(path, fmCreate); }
  TFileStream ro(path, fmOpenRead);
  try {
    ro.WriteBuffer("x", 1);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

TEST(Streams, CopyFromAndLoadSave) {
  TStringStream src("0123456789");
  TMemoryStream dst;
  src.SetPosition(8);
  EXPECT_EQ(dst.CopyFrom(&src, 0), 10);  // 0: whole source from the start
  src.SetPosition(2);
  EXPECT_EQ(dst.CopyFrom(&src, 3), 3);
  EXPECT_EQ(std::string(static_cast<char*>(dst.Memory()), size_t(dst.Size())), "0123456789234");
  src.SetPosition(9);
  EXPECT_THROW(dst.CopyFrom(&src, 5), EReadError);

  TMemoryStream back;
  back.LoadFromStream(&dst);
  EXPECT_EQ(back.Size(), 13);
  TStringStream out;
  back.SaveToStream(&out);
  EXPECT_EQ(out.DataString(), "0123456789234");
}

TEST(Streams, FileStreamModes) {
  TestEnv env;
  std::string path = env.Path("data.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("abcdef", 6);
    EXPECT_EQ(f.Size(), 6);
  }
  {
    TFileStream f(path, fmOpenReadWrite | fmShareDenyNone);
    f.Seek(2, soBeginning);
    f.WriteBuffer("XY", 2);
    f.SetSize(5);
    EXPECT_EQ(f.Size(), 5);
  }
  {
    TFileStream f(path, fmOpenWrite);
    EXPECT_EQ(f.Position(), 0);  // open for writing keeps the content
  }
  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), size_t(m.Size())), "abXYe");
  { TFileStream f(path, fmCreate); }  // fmCreate truncates
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST(Streams, FileStreamErrorsNameTheFile) {
  TestEnv env;
  std::string missing = env.Path("missing.txt");
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << e.Message();
    EXPECT_GT(e.Message().size(), missing.size() + 22);  // the system's reason follows
  }
  EXPECT_THROW(TFileStream(env.Dir(), fmOpenRead), EFOpenError);  // a folder is no file
  std::string noDir = env.Path("no/such/dir/x.txt");
  try {
    TFileStream f(noDir, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + noDir + "\". ", 0), 0u) << e.Message();
    EXPECT_TRUE(e.InheritsFrom("EStreamError"));
  }
}

TEST(Streams, StringStream) {
  TStringStream s("abc");
  EXPECT_EQ(s.ReadString(2), "ab");
  s.WriteString("XYZ");
  EXPECT_EQ(s.DataString(), "abXYZ");
  s.SetPosition(0);
  EXPECT_EQ(s.ReadString(100), "abXYZ");
}
