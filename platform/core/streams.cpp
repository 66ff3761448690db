#include "streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

std::int64_t StreamSeekTarget(std::int64_t Pos, std::int64_t Size, std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos : Size;
  std::int64_t r = base + Offset;
  if (r < 0) throw EStreamError("Invalid stream position (" + std::to_string(r) + ")");
  return r;
}

void CheckStreamSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size (" + std::to_string(NewSize) + ")");
}

// ---- TStream

std::int64_t TStream::Size() const {
  auto* self = const_cast<TStream*>(this);
  std::int64_t pos = self->Seek(0, soCurrent);
  std::int64_t size = self->Seek(0, soEnd);
  self->Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(std::string(ClassName()) + " cannot change its size"); }

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count)) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream* Source, std::int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  std::int64_t done = 0;
  std::vector<char> buf(size_t(std::min<std::int64_t>(Count > 0 ? Count : 1, 64 * 1024)));
  while (done < Count) {
    std::int64_t n = std::min<std::int64_t>(Count - done, std::int64_t(buf.size()));
    Source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

// ---- TMemoryStream

void TMemoryStream::Clear() {
  std::vector<char>().swap(FData);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  std::int64_t n = Stream->Size();
  std::vector<char> data(static_cast<size_t>(n));
  Stream->ReadBuffer(data.data(), n);
  FData.swap(data);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) const {
  Stream->WriteBuffer(FData.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : FFileName(FileName) {
  if ((Mode & 0xFF00) == fmCreate) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    return;
  }
  int flags = O_CLOEXEC;
  switch (Mode & 0x3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  FHandle = ::open(FileName.c_str(), flags);
  int err = errno;
  if (FHandle >= 0) {
    struct stat st {};
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      err = EISDIR;
    }
  }
  if (FHandle < 0)
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(err));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  while (done < Count) {
    ssize_t n = ::read(FHandle, static_cast<char*>(Buffer) + done, size_t(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  while (done < Count) {
    ssize_t n = ::write(FHandle, static_cast<const char*>(Buffer) + done, size_t(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, off_t(Offset), whence);
  if (r < 0) throw EStreamError("Invalid stream position in \"" + FFileName + "\". " + std::strerror(errno));
  return r;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  std::int64_t pos = Position();
  if (NewSize < 0 || ::ftruncate(FHandle, off_t(NewSize)) != 0)
    throw EStreamError("Cannot set the size of \"" + FFileName + "\". " + std::strerror(errno));
  if (pos > NewSize) Seek(NewSize, soBeginning);
}

// ---- TStringStream

std::string TStringStream::ReadString(std::int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return {};
  std::int64_t n = std::min(Count, Size() - FPosition);
  std::string r = FData.substr(size_t(FPosition), size_t(n));
  FPosition += n;
  return r;
}
