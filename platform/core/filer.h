#pragma once
// Form-stream reader and writer: typed values, lists and properties on a stream.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "component.h"
#include "streams.h"

// Value-type bytes of the form stream; the codes are fixed.
enum TValueType : std::uint8_t {
  vaNull = 0x00,        // list end
  vaList = 0x01,        // list start
  vaInt8 = 0x02,
  vaInt16 = 0x03,
  vaInt32 = 0x04,
  vaExtended = 0x05,    // 10-byte extended float
  vaString = 0x06,      // 1-byte length, bytes
  vaIdent = 0x07,       // 1-byte length, bytes
  vaFalse = 0x08,
  vaTrue = 0x09,
  vaBinary = 0x0A,      // 4-byte length, bytes
  vaSet = 0x0B,         // short strings until an empty one
  vaLString = 0x0C,     // 4-byte little-endian length, bytes
  vaNil = 0x0D,
  vaCollection = 0x0E,
  vaSingle = 0x0F,
  vaCurrency = 0x10,    // 8-byte integer of 1/10000
  vaDate = 0x11,        // 8-byte double
  vaWString = 0x12,     // 4-byte length in UTF-16 units, UTF-16LE
  vaInt64 = 0x13,
  vaUTF8String = 0x14,  // 4-byte length, UTF-8 bytes
  vaDouble = 0x15,
};

class TReader;
class TWriter;
using TReaderProc = std::function<void(TReader* Reader)>;
using TWriterProc = std::function<void(TWriter* Writer)>;
using TStreamProc = std::function<void(TStream* Stream)>;

// Common base of reader and writer: the stream and the defined-property hook that
// TPersistent::DefineProperties calls.
class TFiler : public TObject {
public:
  explicit TFiler(TStream* Stream) : FStream(Stream) {}
  TStream* Stream() const { return FStream; }
  // The reader calls ReadData when the property being read has this name; the writer writes
  // the name and calls WriteData when HasData is true. Either proc may be empty.
  virtual void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData,
                              bool HasData) = 0;
  // Same for a property whose value is a block of bytes (vaBinary).
  virtual void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData,
                                    TStreamProc WriteData, bool HasData) = 0;
  ZEL_CLASS(TFiler, TObject)

protected:
  TStream* FStream;
};

// Errors: a value of another type raises EReadError "Invalid property value"; data cut short
// raises EReadError "Stream read error".
//
// A property that holds a component reference reads an identifier: "nil", the name of a
// component of the root, or "Owner.Name" for a component of another owner that the root's
// owner holds. The root is the one set, else the owner of the component whose properties are
// read (or that component itself when it has no owner). A name not found yet waits for
// FixupReferences, so a form may refer to a component that it reads later.
class TReader : public TFiler {
public:
  using TFiler::TFiler;

  TComponent* Root() const { return FRoot; }
  void SetRoot(TComponent* Value) { FRoot = Value; }

  TValueType ReadValue();
  TValueType NextValue();  // peeks, the position stays
  bool EndOfList() { return NextValue() == vaNull; }
  void ReadListBegin();
  void ReadListEnd();

  // Accepts vaString, vaLString, vaUTF8String and vaWString (UTF-16LE converted to UTF-8).
  std::string ReadString();
  int ReadInteger();            // vaInt8, vaInt16, vaInt32
  std::int64_t ReadInt64();     // also vaInt64
  bool ReadBoolean();           // vaTrue, vaFalse
  double ReadFloat();           // vaExtended, vaDouble, vaSingle, vaCurrency, vaDate, integers
  std::string ReadIdent();      // vaIdent; vaFalse/vaTrue/vaNil/vaNull as "False"/"True"/"nil"/"Null"
  std::string ReadStr();        // a short string without value type (property names)
  std::vector<std::string> ReadSet();  // vaSet: the member identifiers
  void SkipValue();

  // Reads properties of Instance (name, value) until the list end and consumes it. A name
  // "a.b" reaches the published object property a of Instance; a name that is neither
  // published nor defined by DefineProperties raises EReadError "Property X does not exist".
  void ReadProperties(TPersistent* Instance);
  void ReadProperty(TPersistent* Instance);
  // Sets the references that waited for a component read later; a name still unknown raises
  // EReadError "Unresolved reference to X" (the other references are set first).
  void FixupReferences();

  void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData,
                      bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override;
  ZEL_CLASS(TReader, TFiler)

private:
  void Read(void* Buf, std::int64_t Count);
  std::string ReadBytes(std::int64_t Count);
  std::uint32_t ReadLength();
  [[noreturn]] void PropValueError();
  TComponent* RootFor(TPersistent* Instance) const;
  TComponent* FindReference(TComponent* Root, const std::string& Name) const;
  struct TFixup {
    TComponentRef<TComponent> Root;
    TPersistent* Target = nullptr;    // the instance read or one of its sub-objects
    TComponentRef<TComponent> Owner;  // that instance when it is a component: freed, no fixup
    bool Tracked = false;             // Owner was set
    std::string PropName;
    std::string Reference;
  };
  std::string FPropName;  // the defined property being looked for; cleared once read
  TComponent* FRoot = nullptr;
  std::vector<TFixup> FFixups;
};

class TWriter : public TFiler {
public:
  using TFiler::TFiler;

  void WriteValue(TValueType Value);
  // ASCII text: vaString up to 255 bytes, else vaLString; text with a byte above 127:
  // vaUTF8String.
  void WriteString(std::string_view Value);
  void WriteInteger(std::int64_t Value);  // the smallest of vaInt8, vaInt16, vaInt32, vaInt64
  void WriteBoolean(bool Value);
  void WriteFloat(double Value);          // vaExtended
  // vaIdent; "False", "True", "nil", "Null" are written as their own value types.
  void WriteIdent(std::string_view Ident);
  void WriteListBegin() { WriteValue(vaList); }
  void WriteListEnd() { WriteValue(vaNull); }
  void WriteStr(std::string_view Value);  // a short string without value type
  void WriteSet(const std::vector<std::string>& Items);  // vaSet
  void WritePropName(std::string_view Name);

  // The component that references are written relative to (see TReader); by default the owner
  // of the component whose properties are written.
  TComponent* Root() const { return FRoot; }
  void SetRoot(TComponent* Value) { FRoot = Value; }

  // Writes the published properties of Instance (sub-objects' properties as "obj.prop" paths,
  // component references as identifiers), leaving out every property whose value equals its
  // registered default, then the properties it defines, then a list end.
  void WriteProperties(TPersistent* Instance);

  void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData,
                      bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override;
  ZEL_CLASS(TWriter, TFiler)

private:
  void WritePropertiesOf(TPersistent* Instance, const std::string& Prefix);
  void Write(const void* Buf, std::int64_t Count) { FStream->WriteBuffer(Buf, Count); }
  std::string ReferenceName(const TComponent* Component, const TComponent* Root) const;
  std::string FPrefix;
  TComponent* FRoot = nullptr;
};
