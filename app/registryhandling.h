#pragma once
// The registry object that the program's routines share, and the database credentials kept in
// the registry (user name and a scrambled password stored as hexadecimal pairs).
#include <cstdint>
#include <string>

#include "registry.h"

// Created before any form and kept for the whole run. Its root key and open key persist between
// calls; user-interface thread only.
extern TRegistry* const RegistryObject;

// The value as a string, or Default when the key or the value is missing or cannot be read.
// Closes the key left open by the previous call and opens KeyPath from the root key without
// creating it. Never raises.
std::string ReadRegistryString(const std::string& KeyPath, const std::string& ValueName,
                               const std::string& Default);

// Makes sure that every level of KeyPath exists under the registry object's root key, creating
// the missing ones; aborts silently (EAbort) when a level can be neither opened nor created.
void ForceRegistryKey(const std::string& KeyPath);

// Reads "SOFTWARE\Brintel\SQL" under HKEY_LOCAL_MACHINE: UserName (default "sa") and the
// descrambled Password (default empty), read as Windows-1250 when it is not valid UTF-8. On
// failure logs under "GetUserNameAndPassword" and returns false, leaving what was read before
// the failure.
bool GetUserNameAndPassword(std::string& UserName, std::string& Password);

// Hexadecimal pairs to bytes (a lone last character is a pair of its own when the pair count
// rounds up), then Decrypt. A pair that is not hexadecimal raises EConvertError.
std::string DecodeHexPassword(const std::string& Stored, std::uint16_t StartKey);

// The descrambling stream over the first (length mod 256) bytes; the rest is copied as it is.
std::string Decrypt(const std::string& Data, std::uint16_t Key);

inline constexpr std::uint16_t PasswordStartKey = 23417;
