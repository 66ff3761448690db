#pragma once
// The registry store: a file with the same key paths, value names and defaults as the Windows
// registry.
//   file   = $ZELKOR_REGISTRY, else $XDG_CONFIG_HOME/zelkor/registry,
//            else ~/.config/zelkor/registry (read anew on every call, so a test may move it)
//   mode   = 0600, folder created 0700; every change rewrites the file atomically
// Format (UTF-8, LF):
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Brintel\SQL]   one section per key, full path from its root
//   UserName=sz:sa                              string value
//   Count=dword:42                              integer value
// A key exists when its section (or one of a sub-key) exists. Key paths and value names compare
// case-insensitively; the spelling of the first creation is kept. In names and values "\\",
// "\n" and "\r" stand for a backslash, LF and CR; in value names also "\=", "\[" and "\;".
// Lines starting with ';' are comments (not kept on rewrite).
#include <cstdint>
#include <string>

#include "exceptions.h"
#include "object.h"

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// The store's file as the environment names it now.
std::string RegistryFileName();

class TRegistry : public TObject {
public:
  TRegistry() = default;
  explicit TRegistry(std::uint32_t AAccess) : FAccess(AAccess) {}
  ZEL_CLASS(TRegistry, TObject)

  HKEY RootKey() const { return FRootKey; }
  void SetRootKey(HKEY Value);  // closes the open key
  std::uint32_t Access() const { return FAccess; }
  void SetAccess(std::uint32_t Value) { FAccess = Value; }
  // Path of the open key below the root ("" when none or the root itself is open).
  const std::string& CurrentPath() const { return FCurrentPath; }
  bool HasCurrentKey() const { return FOpen; }

  // A path starting with '\' is taken from the root, any other from the open key (or the root
  // when none is open). True when the key is open afterwards; with CanCreate the missing levels
  // are created (ERegistryException when the file cannot be written).
  bool OpenKey(const std::string& Key, bool CanCreate);
  bool OpenKeyReadOnly(const std::string& Key);
  void CloseKey();
  bool KeyExists(const std::string& Key) const;
  bool ValueExists(const std::string& Name) const;

  // Missing value: "". A value of another type raises ERegistryException.
  std::string ReadString(const std::string& Name) const;
  // Missing value or one of another type raises ERegistryException.
  int ReadInteger(const std::string& Name) const;
  // Need an open key with write access; ERegistryException otherwise or when the file cannot be
  // written.
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteInteger(const std::string& Name, int Value);
  bool DeleteValue(const std::string& Name);

private:
  std::string Resolve(const std::string& Key) const;
  HKEY FRootKey = HKEY_CURRENT_USER;
  std::uint32_t FAccess = KEY_ALL_ACCESS;
  bool FOpen = false;
  bool FWritable = false;
  std::string FCurrentPath;
};
