#pragma once
// Byte streams: the abstract stream, memory, file and string streams.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exceptions.h"
#include "object.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// The position a seek lands on; before the start raises EStreamError.
std::int64_t StreamSeekTarget(std::int64_t Pos, std::int64_t Size, std::int64_t Offset, TSeekOrigin Origin);
// Raises EStreamError for a negative size.
void CheckStreamSize(std::int64_t NewSize);

class TStream : public TObject {
public:
  // Read and Write move at most Count bytes and return how many moved.
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  // Returns the new position. Seeking before the start raises EStreamError.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

  std::int64_t Position() const { return const_cast<TStream*>(this)->Seek(0, soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, soBeginning); }
  virtual std::int64_t Size() const;
  virtual void SetSize(std::int64_t NewSize);

  // Whole-or-nothing forms: a short read raises EReadError "Stream read error", a short write
  // EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  std::int64_t CopyFrom(TStream* Source, std::int64_t Count);
  ZEL_CLASS(TStream, TObject)
};

// The memory and string streams: the same stream over a container of char (vector or string).
template <class Bytes>
class TContainerStream : public TStream {
public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    const auto size = std::int64_t(FData.size());
    if (Count <= 0 || FPosition >= size) return 0;
    const std::int64_t n = std::min(Count, size - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, size_t(n));
    FPosition += n;
    return n;
  }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (Count <= 0) return 0;
    const std::int64_t end = FPosition + Count;
    if (end > std::int64_t(FData.size())) FData.resize(size_t(end));
    std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
    FPosition = end;
    return Count;
  }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    FPosition = StreamSeekTarget(FPosition, Size(), Offset, Origin);
    return FPosition;
  }
  std::int64_t Size() const override { return std::int64_t(FData.size()); }
  // Keeps the position unless it lies beyond the new end.
  void SetSize(std::int64_t NewSize) override {
    CheckStreamSize(NewSize);
    FData.resize(size_t(NewSize));
    if (FPosition > NewSize) FPosition = NewSize;
  }

protected:
  TContainerStream() = default;
  explicit TContainerStream(Bytes Data) : FData(std::move(Data)) {}
  Bytes FData;
  std::int64_t FPosition = 0;
};

using TVectorBytesStream = TContainerStream<std::vector<char>>;
using TStringBytesStream = TContainerStream<std::string>;

// A stream on a block of memory; Memory() may move when the size grows.
class TMemoryStream : public TVectorBytesStream {
public:
  // nullptr while the stream is empty.
  void* Memory() { return FData.empty() ? nullptr : FData.data(); }
  const void* Memory() const { return FData.empty() ? nullptr : FData.data(); }
  void Clear();
  void LoadFromStream(TStream* Stream);  // whole stream from its start
  void SaveToStream(TStream* Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  ZEL_CLASS(TMemoryStream, TVectorBytesStream)
};

// Open modes; share flags are accepted and ignored (no mandatory locking here).
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

// A stream on a file. fmCreate creates or truncates the file (read and write); the open modes
// require an existing file. Failures raise EFCreateError / EFOpenError naming the file and the
// system's reason.
class TFileStream : public TStream {
public:
  TFileStream(const std::string& FileName, unsigned Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }
  ZEL_CLASS(TFileStream, TStream)

private:
  std::string FFileName;
  int FHandle = -1;
};

// A memory stream whose bytes are a string.
class TStringStream : public TStringBytesStream {
public:
  explicit TStringStream(std::string AString = {}) : TStringBytesStream(std::move(AString)) {}
  const std::string& DataString() const { return FData; }
  std::string ReadString(std::int64_t Count);  // up to Count bytes from the position
  void WriteString(const std::string& S) { Write(S.data(), std::int64_t(S.size())); }
  ZEL_CLASS(TStringStream, TStringBytesStream)
};
