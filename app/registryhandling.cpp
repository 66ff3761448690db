#include "registryhandling.h"

#include <exception>

#include "cp1250.h"
#include "exceptions.h"
#include "forms.h"
#include "numbers.h"
#include "stdproc.h"
#include "text.h"

namespace {
TRegistry TheRegistryObject;
}  // namespace

TRegistry* const RegistryObject = &TheRegistryObject;

std::string ReadRegistryString(const std::string& KeyPath, const std::string& ValueName,
                               const std::string& Default) {
  std::string result = Default;
  try {
    RegistryObject->CloseKey();
    if (RegistryObject->OpenKey(KeyPath, false) && RegistryObject->ValueExists(ValueName))
      result = RegistryObject->ReadString(ValueName);
  } catch (const std::exception&) {
    // A missing or unreadable value is simply the default.
  }
  return result;
}

void ForceRegistryKey(const std::string& KeyPath) {
  RegistryObject->CloseKey();
  size_t start = 0;
  while (start <= KeyPath.size()) {
    size_t end = KeyPath.find('\\', start);
    if (end == std::string::npos) end = KeyPath.size();
    std::string level = KeyPath.substr(start, end - start);
    start = end + 1;
    if (level.empty()) continue;
    // Each level opens relative to the one opened before it.
    if (!RegistryObject->OpenKey(level, false) && !RegistryObject->OpenKey(level, true)) Abort();
  }
}

bool GetUserNameAndPassword(std::string& UserName, std::string& Password) {
  UserName.clear();
  Password.clear();
  try {
    RegistryObject->SetRootKey(HKEY_LOCAL_MACHINE);
    ForceRegistryKey("SOFTWARE\\Brintel\\SQL");
    UserName = ReadRegistryString("SOFTWARE\\Brintel\\SQL", "UserName", "sa");
    std::string stored = ReadRegistryString("SOFTWARE\\Brintel\\SQL", "Password", "");
    Password = DecodeHexPassword(stored, PasswordStartKey);
    // Passwords scrambled by the Windows tooling hold the ANSI code page's bytes.
    if (!IsValidUtf8(Password)) Password = Cp1250ToUtf8(Password);
    return true;
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "GetUserNameAndPassword");
    return false;
  }
}

std::string DecodeHexPassword(const std::string& Stored, std::uint16_t StartKey) {
  // Pairs are counted and cut in characters, so a stray non-ASCII character fails the
  // conversion as a whole instead of being split.
  std::string bytes;
  auto n = Round(static_cast<double>(Utf8Length(Stored)) / 2.0);
  for (int64_t i = 0; i < n; ++i) {
    std::string pair = "$" + Utf8Copy(Stored, 2 * i + 1, 2);
    // Only hexadecimal digits: the integer reader would also take blanks or a sign.
    if (pair.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
      throw EConvertError("'" + pair + "' is not a valid integer value");
    bytes += static_cast<char>(StrToInt(pair) & 0xFF);
  }
  return Decrypt(bytes, StartKey);
}

std::string Decrypt(const std::string& Data, std::uint16_t Key) {
  std::string out = Data;
  std::uint16_t k = Key;
  size_t count = Data.size() % 256;
  for (size_t i = 0; i < count; ++i) {
    auto c = static_cast<unsigned char>(Data[i]);
    out[i] = static_cast<char>(c ^ (k >> 8));
    k = static_cast<std::uint16_t>((k + c) * 18731u + 27509u);
  }
  return out;
}
