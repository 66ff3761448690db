#pragma once
// Parameters of a data set: a collection of named, typed values with a native (buffer) form.
//
// Native layouts of GetData/SetData (see db.h): text zero-terminated (GetDataSize = bytes + 1),
// ftSmallint int16, ftWord uint16, ftBoolean uint16 0/1, ftInteger/ftAutoInc int32,
// ftLargeint int64, ftFloat/ftCurrency double, ftBCD int64 ten-thousandths, ftDate int32 day
// number (693594 = 1899-12-30), ftTime int32 milliseconds, ftDateTime double day number *
// 86400000 + milliseconds; bytes and blobs their raw bytes.
#include <string>
#include <string_view>
#include <vector>

#include "classes.h"
#include "db.h"

class TFiler;
class TReader;
class TWriter;
class TParams;

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam : public TCollectionItem {
public:
  explicit TParam(TCollection* Collection);
  TParam(TParams* AParams, TParamType AParamType);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  std::string DisplayName() const override { return FName.empty() ? ClassName() : FName; }
  TParamType ParamType() const { return FParamType; }
  void SetParamType(TParamType Value) { FParamType = Value; }
  TFieldType DataType() const { return FDataType; }
  // Converts the value to the new type's kind; a value that does not convert is cleared.
  void SetDataType(TFieldType Value);
  bool Bound() const { return FBound; }
  void SetBound(bool Value) { FBound = Value; }
  bool IsNull() const { return FData.IsNull() || FData.IsEmpty(); }
  void Clear();  // NULL; the type stays

  // The value. Setting a variant binds the parameter; with DataType ftUnknown the type follows
  // the variant's.
  Variant Value() const { return FData; }
  void SetValue(const Variant& Value);

  // Typed setters: each sets DataType and binds the parameter.
  void SetAsBoolean(bool Value);
  void SetAsFloat(double Value);
  void SetAsCurrency(Currency Value);
  void SetAsBCD(Currency Value);
  void SetAsInteger(std::int32_t Value);
  void SetAsLargeInt(std::int64_t Value);
  void SetAsWord(std::int32_t Value);      // EDatabaseError outside 0..65535
  void SetAsSmallInt(std::int32_t Value);  // EDatabaseError outside -32768..32767
  void SetAsString(const std::string& Value);
  void SetAsDate(TDateTime Value);
  void SetAsTime(TDateTime Value);
  void SetAsDateTime(TDateTime Value);
  void SetAsMemo(const std::string& Value);
  void SetAsBlob(const std::string& Bytes);
  // Getters: NULL reads as 0, False or "". A value that does not convert raises EVariantError.
  bool AsBoolean() const;
  double AsFloat() const;
  Currency AsCurrency() const;
  std::int32_t AsInteger() const;
  std::int64_t AsLargeInt() const;
  std::int32_t AsWord() const { return AsInteger(); }
  std::int32_t AsSmallInt() const { return AsInteger(); }
  std::string AsString() const;
  TDateTime AsDate() const { return AsDateTime(); }
  TDateTime AsTime() const { return AsDateTime(); }
  TDateTime AsDateTime() const;
  std::string AsMemo() const { return AsString(); }
  std::string AsBlob() const { return AsString(); }

  // Value and type of Field (NULL when the field is NULL); the name becomes the field's.
  void AssignField(TField* Field);
  // Value of Field with the field's type, keeping this parameter's name.
  void AssignFieldValue(TField* Field, const Variant& Value);
  // Writes the value into Field (Null clears it).
  void AssignTo(TPersistent* Dest) override;
  void Assign(TPersistent* Source) override;

  // Raw native value (layouts at the top).
  int GetDataSize() const;
  void GetData(void* Buffer) const;  // GetDataSize bytes; zeros for NULL
  // Size: bytes for byte and blob types (default: the current data size); text is read up to
  // its terminator or Size bytes.
  void SetData(const void* Buffer, int Size = -1);
  // Raw bytes as the value; the type becomes ftBlob unless it is a blob type already.
  void SetBlobData(const void* Buffer, int Size);

  TParams* Params() const;
  ZEL_CLASS(TParam, TCollectionItem)

private:
  void AssignParam(const TParam* Param);
  void SetTyped(TFieldType Type, const Variant& Value);
  std::string FName;
  TParamType FParamType = ptUnknown;
  TFieldType FDataType = ftUnknown;
  bool FBound = false;
  Variant FData;  // Empty or Null when NULL
};

class TParams : public TCollection {
public:
  // Owner: the data set (or other object) the parameters belong to.
  explicit TParams(TPersistent* Owner = nullptr);
  TParam* Items(int Index) const;
  TParam* operator[](int Index) const { return Items(Index); }
  TParam* CreateParam(TFieldType FldType, const std::string& ParamName, TParamType ParamType);
  // Case-insensitive; nullptr when absent.
  TParam* FindParam(std::string_view Name) const;
  // EDatabaseError "Parameter 'X' not found".
  TParam* ParamByName(std::string_view Name) const;
  // Takes Value into this collection (out of any other).
  void AddParam(TParam* Value);
  // Takes Value out of the collection without freeing it; the caller owns it then.
  void RemoveParam(TParam* Value);
  // For each parameter of Value, the parameter of the same name here (if any) takes its type,
  // value and Bound.
  void AssignValues(TParams* Value);
  void GetParamList(std::vector<TParam*>& List, std::string_view ParamNames) const;
  bool IsEqual(const TParams* Value) const;
  // Values of a ";"-separated list (a variant array for more than one).
  Variant ParamValues(std::string_view ParamNames) const;
  void SetParamValues(std::string_view ParamNames, const Variant& Values);
  // "Data": the parameters with name, types, Bound and value.
  void DefineProperties(TFiler* Filer) override;
  void ReadData(TReader* Reader);
  void WriteData(TWriter* Writer) const;
  ZEL_CLASS(TParams, TCollection)
};
