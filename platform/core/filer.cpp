#include "filer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "published.h"

namespace {

bool HasHighByte(std::string_view s) {
  for (char c : s)
    if ((unsigned char)c > 127) return true;
  return false;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE to UTF-8; a lone surrogate becomes U+FFFD rather than invalid UTF-8.
std::string Utf16LeToUtf8(const std::string& bytes) {
  std::string out;
  size_t n = bytes.size() / 2;
  auto unit = [&](size_t i) {
    return std::uint32_t((unsigned char)bytes[2 * i]) | (std::uint32_t((unsigned char)bytes[2 * i + 1]) << 8);
  };
  for (size_t i = 0; i < n; ++i) {
    std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      std::uint32_t v = unit(i + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

// 10-byte extended: 64-bit mantissa with explicit integer bit, 15-bit exponent, sign.
double ExtendedToDouble(const unsigned char* b) {
  std::uint64_t mant = 0;
  for (int i = 7; i >= 0; --i) mant = (mant << 8) | b[i];
  unsigned se = unsigned(b[8]) | (unsigned(b[9]) << 8);
  bool neg = (se & 0x8000) != 0;
  int exp = int(se & 0x7FFF);
  double r;
  if (exp == 0x7FFF) r = (mant << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  else if (mant == 0) r = 0.0;
  else r = std::ldexp(double(mant), (exp == 0 ? 1 : exp) - 16383 - 63);
  return neg ? -r : r;
}

void DoubleToExtended(double d, unsigned char* b) {
  std::uint64_t mant = 0;
  unsigned se = std::signbit(d) ? 0x8000 : 0;
  double a = std::fabs(d);
  if (std::isnan(d)) {
    se |= 0x7FFF;
    mant = 0xC000000000000000ULL;
  } else if (std::isinf(d)) {
    se |= 0x7FFF;
    mant = 0x8000000000000000ULL;
  } else if (a != 0.0) {
    int e = 0;
    double f = std::frexp(a, &e);  // a = f * 2^e, f in [0.5, 1)
    mant = std::uint64_t(std::ldexp(f, 64));
    se |= unsigned(e - 1 + 16383);
  }
  for (int i = 0; i < 8; ++i) b[i] = (unsigned char)(mant >> (8 * i));
  b[8] = (unsigned char)(se & 0xFF);
  b[9] = (unsigned char)(se >> 8);
}

template <class T>
T LoadLE(const unsigned char* b) {
  std::uint64_t v = 0;
  for (int i = int(sizeof(T)) - 1; i >= 0; --i) v = (v << 8) | b[i];
  T r;
  std::memcpy(&r, &v, sizeof(T));  // little-endian host: low bytes of v
  return r;
}

}  // namespace

// ---- TReader

void TReader::Read(void* Buf, std::int64_t Count) { FStream->ReadBuffer(Buf, Count); }

void TReader::PropValueError() { throw EReadError("Invalid property value"); }

std::string TReader::ReadBytes(std::int64_t Count) {
  // A length beyond the data left is a damaged stream, not a reason to allocate it.
  if (Count < 0 || Count > FStream->Size() - FStream->Position()) throw EReadError("Stream read error");
  std::string s(size_t(Count), '\0');
  Read(s.data(), Count);
  return s;
}

std::uint32_t TReader::ReadLength() {
  unsigned char b[4];
  Read(b, 4);
  return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
         (std::uint32_t(b[3]) << 24);
}

TValueType TReader::ReadValue() {
  std::uint8_t b = 0;
  Read(&b, 1);
  return TValueType(b);
}

TValueType TReader::NextValue() {
  TValueType v = ReadValue();
  FStream->Seek(-1, soCurrent);
  return v;
}

void TReader::ReadListBegin() {
  if (ReadValue() != vaList) PropValueError();
}

void TReader::ReadListEnd() {
  if (ReadValue() != vaNull) PropValueError();
}

std::string TReader::ReadStr() {
  std::uint8_t n = 0;
  Read(&n, 1);
  return ReadBytes(n);
}

std::string TReader::ReadString() {
  switch (ReadValue()) {
    case vaString: return ReadStr();
    case vaLString:
    case vaUTF8String: return ReadBytes(ReadLength());
    case vaWString: return Utf16LeToUtf8(ReadBytes(std::int64_t(ReadLength()) * 2));
    default: PropValueError();
  }
}

std::int64_t TReader::ReadInt64() {
  unsigned char b[8];
  switch (ReadValue()) {
    case vaInt8: Read(b, 1); return LoadLE<std::int8_t>(b);
    case vaInt16: Read(b, 2); return LoadLE<std::int16_t>(b);
    case vaInt32: Read(b, 4); return LoadLE<std::int32_t>(b);
    case vaInt64: Read(b, 8); return LoadLE<std::int64_t>(b);
    default: PropValueError();
  }
}

int TReader::ReadInteger() {
  if (NextValue() == vaInt64) PropValueError();
  return int(ReadInt64());
}

bool TReader::ReadBoolean() {
  TValueType v = ReadValue();
  if (v == vaTrue) return true;
  if (v == vaFalse) return false;
  PropValueError();
}

double TReader::ReadFloat() {
  unsigned char b[10];
  switch (NextValue()) {
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64: return double(ReadInt64());
    default: break;
  }
  switch (ReadValue()) {
    case vaExtended: Read(b, 10); return ExtendedToDouble(b);
    case vaSingle: Read(b, 4); return LoadLE<float>(b);
    case vaDouble:
    case vaDate: Read(b, 8); return LoadLE<double>(b);
    case vaCurrency: Read(b, 8); return double(LoadLE<std::int64_t>(b)) / 10000.0;
    default: PropValueError();
  }
}

std::string TReader::ReadIdent() {
  switch (ReadValue()) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: PropValueError();
  }
}

void TReader::SkipValue() {
  unsigned char b[10];
  switch (ReadValue()) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: return;
    case vaList:
      while (!EndOfList()) SkipValue();
      ReadListEnd();
      return;
    case vaInt8: Read(b, 1); return;
    case vaInt16: Read(b, 2); return;
    case vaInt32:
    case vaSingle: Read(b, 4); return;
    case vaInt64:
    case vaDouble:
    case vaDate:
    case vaCurrency: Read(b, 8); return;
    case vaExtended: Read(b, 10); return;
    case vaString:
    case vaIdent: ReadStr(); return;
    case vaLString:
    case vaUTF8String:
    case vaBinary: ReadBytes(ReadLength()); return;
    case vaWString: ReadBytes(std::int64_t(ReadLength()) * 2); return;
    case vaSet:
      while (!ReadStr().empty()) {
      }
      return;
    case vaCollection:
      // items: optional order value, then a property list each, until the list end
      while (!EndOfList()) {
        TValueType v = NextValue();
        if (v == vaInt8 || v == vaInt16 || v == vaInt32) ReadInteger();
        ReadListBegin();
        while (!EndOfList()) {
          ReadStr();
          SkipValue();
        }
        ReadListEnd();
      }
      ReadListEnd();
      return;
    default: PropValueError();
  }
}

void TReader::DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc, bool) {
  if (!FPropName.empty() && ReadData && SameClassName(Name, FPropName)) {
    ReadData(this);
    FPropName.clear();
  }
}

void TReader::DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc, bool) {
  if (!FPropName.empty() && ReadData && SameClassName(Name, FPropName)) {
    if (ReadValue() != vaBinary) PropValueError();
    TMemoryStream m;
    std::string data = ReadBytes(ReadLength());
    m.WriteBuffer(data.data(), std::int64_t(data.size()));
    m.SetPosition(0);
    ReadData(&m);
    FPropName.clear();
  }
}

void TReader::ReadProperties(TPersistent* Instance) {
  while (!EndOfList()) ReadProperty(Instance);
  ReadListEnd();
}

void TReader::ReadProperty(TPersistent* Instance) {
  std::string path = ReadStr();
  TPersistent* target = Instance;
  std::string name = path;
  size_t dot;
  while ((dot = name.find('.')) != std::string::npos) {
    std::string part = name.substr(0, dot);
    TObject* sub = IsPublishedProp(target, part) ? GetObjectProp(target, part) : nullptr;
    target = dynamic_cast<TPersistent*>(sub);
    if (target == nullptr) throw EReadError("Property " + path + " does not exist");
    name = name.substr(dot + 1);
  }
  if (const TPropInfo* info = FindPropInfo(target, name); info != nullptr && info->Set) {
    TPropValue v;
    switch (NextValue()) {
      case vaFalse:
      case vaTrue: v = ReadBoolean(); break;
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64: v = ReadInt64(); break;
      case vaExtended:
      case vaSingle:
      case vaDouble:
      case vaDate:
      case vaCurrency: v = ReadFloat(); break;
      case vaIdent:
      case vaNil: v = ReadIdent(); break;
      case vaString:
      case vaLString:
      case vaUTF8String:
      case vaWString: v = ReadString(); break;
      case vaSet: {
        ReadValue();
        std::string set = "[";
        for (std::string m = ReadStr(); !m.empty(); m = ReadStr()) set += (set.size() > 1 ? "," : "") + m;
        v = set + "]";
        break;
      }
      default: PropValueError();
    }
    try {
      info->Set(target, v);
    } catch (const EPropertyError&) {
      PropValueError();
    }
    return;
  }
  FPropName = name;
  target->DefineProperties(this);
  if (!FPropName.empty()) {
    FPropName.clear();
    throw EReadError("Property " + path + " does not exist");
  }
}

// ---- TWriter

void TWriter::WriteValue(TValueType Value) {
  std::uint8_t b = Value;
  Write(&b, 1);
}

void TWriter::WriteStr(std::string_view Value) {
  if (Value.size() > 255) throw EWriteError("String too long for a short string");
  std::uint8_t n = std::uint8_t(Value.size());
  Write(&n, 1);
  Write(Value.data(), std::int64_t(Value.size()));
}

void TWriter::WriteString(std::string_view Value) {
  if (!HasHighByte(Value) && Value.size() <= 255) {
    WriteValue(vaString);
    WriteStr(Value);
    return;
  }
  if (Value.size() > 0xFFFFFFFFu) throw EWriteError("String too long");
  WriteValue(HasHighByte(Value) ? vaUTF8String : vaLString);
  std::uint32_t n = std::uint32_t(Value.size());
  unsigned char b[4] = {(unsigned char)n, (unsigned char)(n >> 8), (unsigned char)(n >> 16), (unsigned char)(n >> 24)};
  Write(b, 4);
  Write(Value.data(), std::int64_t(Value.size()));
}

void TWriter::WriteInteger(std::int64_t Value) {
  unsigned char b[8];
  int n;
  if (Value >= -128 && Value <= 127) {
    WriteValue(vaInt8);
    n = 1;
  } else if (Value >= -32768 && Value <= 32767) {
    WriteValue(vaInt16);
    n = 2;
  } else if (Value >= std::numeric_limits<std::int32_t>::min() && Value <= std::numeric_limits<std::int32_t>::max()) {
    WriteValue(vaInt32);
    n = 4;
  } else {
    WriteValue(vaInt64);
    n = 8;
  }
  auto u = std::uint64_t(Value);
  for (int i = 0; i < n; ++i) b[i] = (unsigned char)(u >> (8 * i));
  Write(b, n);
}

void TWriter::WriteBoolean(bool Value) { WriteValue(Value ? vaTrue : vaFalse); }

void TWriter::WriteFloat(double Value) {
  unsigned char b[10];
  DoubleToExtended(Value, b);
  WriteValue(vaExtended);
  Write(b, 10);
}

void TWriter::WriteIdent(std::string_view Ident) {
  if (SameClassName(Ident, "False")) WriteValue(vaFalse);
  else if (SameClassName(Ident, "True")) WriteValue(vaTrue);
  else if (SameClassName(Ident, "nil")) WriteValue(vaNil);
  else if (SameClassName(Ident, "Null")) WriteValue(vaNull);
  else {
    WriteValue(vaIdent);
    WriteStr(Ident);
  }
}

void TWriter::WritePropName(std::string_view Name) { WriteStr(FPrefix + std::string(Name)); }

void TWriter::WriteProperties(TPersistent* Instance) {
  WritePropertiesOf(Instance, "");
  WriteListEnd();
}

void TWriter::WritePropertiesOf(TPersistent* Instance, const std::string& Prefix) {
  for (const std::string& name : GetPropNames(Instance)) {
    const TPropInfo* info = FindPropInfo(Instance, name);
    TPropValue v = info->Get(Instance);
    if (auto* o = std::get_if<TObject*>(&v)) {
      // Sub-objects stream their own properties under "name." (components are references,
      // not written here).
      auto* sub = dynamic_cast<TPersistent*>(*o);
      if (sub != nullptr && dynamic_cast<TComponent*>(sub) == nullptr)
        WritePropertiesOf(sub, Prefix + name + ".");
      continue;
    }
    if (!info->Set || std::holds_alternative<std::monostate>(v)) continue;
    WriteStr(Prefix + name);
    if (auto* b = std::get_if<bool>(&v)) WriteBoolean(*b);
    else if (auto* i = std::get_if<std::int64_t>(&v)) WriteInteger(*i);
    else if (auto* d = std::get_if<double>(&v)) WriteFloat(*d);
    else if (auto* s = std::get_if<std::string>(&v)) WriteString(*s);
  }
  std::string saved = FPrefix;
  FPrefix = Prefix;
  try {
    Instance->DefineProperties(this);
  } catch (...) {
    FPrefix = saved;
    throw;
  }
  FPrefix = saved;
}

void TWriter::DefineProperty(const std::string& Name, TReaderProc, TWriterProc WriteData, bool HasData) {
  if (HasData && WriteData) {
    WritePropName(Name);
    WriteData(this);
  }
}

void TWriter::DefineBinaryProperty(const std::string& Name, TStreamProc, TStreamProc WriteData, bool HasData) {
  if (!HasData || !WriteData) return;
  WritePropName(Name);
  TMemoryStream m;
  WriteData(&m);
  WriteValue(vaBinary);
  auto n = std::uint32_t(m.Size());
  unsigned char b[4] = {(unsigned char)n, (unsigned char)(n >> 8), (unsigned char)(n >> 16), (unsigned char)(n >> 24)};
  Write(b, 4);
  Write(m.Memory(), m.Size());
}
