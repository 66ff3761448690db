#pragma once
// The data-set framework: data sets with their record-buffer ring and state machine, fields
// and field definitions, data sources and data links.
//
// A descendant data set serves records through the record-buffer protocol (AllocRecordBuffer,
// GetRecord, GetFieldData/SetFieldData, bookmarks) and the Internal... steps; the framework
// keeps the ring of record buffers, the state, the events and the links.
//
// Native value layouts in record buffers, in field GetData/SetData and in parameters:
//   ftString, ftFixedChar, ftWideString  UTF-8 text, zero-terminated (DataSize = 4*Size+1)
//   ftSmallint int16, ftWord uint16, ftBoolean uint16 (0/1), ftInteger/ftAutoInc int32,
//   ftLargeint int64, ftFloat/ftCurrency double, ftBCD int64 in ten-thousandths,
//   ftDate int32 day number (day 1 = 0001-01-01, day 693594 = 1899-12-30),
//   ftTime int32 milliseconds since midnight, ftDateTime double: day number * 86400000 +
//   milliseconds, ftBytes Size raw bytes, ftVarBytes uint16 length + Size bytes.
//   Blob types (ftBlob, ftMemo, ftGraphic, ...) have no buffer value: CreateBlobStream.
//
// Buffers that fields hand to SetFieldData and Validate, and that they give GetFieldData to
// fill, are DataSize bytes: a data set sizes its slots with TField::DataSize (or
// FieldTypeDataSize) so that a copy of DataSize bytes always fits.
//
// Field access goes through the data set's GetFieldData/SetFieldData, which pick the buffer by
// state: dsCalcFields reads and writes CalcBuffer (for every field, as the framework's Locate
// and Lookup read candidate records there), dsBrowse/dsEdit/dsInsert the ActiveBuffer.
//
// Destruction: a descendant's destructor calls Destroying() and Close() first, so that the
// data set is closed while its own steps (InternalClose, FreeRecordBuffer) still exist.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classes.h"
#include "component.h"
#include "datetime.h"
#include "exceptions.h"
#include "numbers.h"
#include "fieldtypes.h"
#include "streams.h"
#include "variant.h"

class TDataSet;
class TField;
class TFields;
class TFieldDef;
class TFieldDefs;
class TDataSource;
class TDataLink;

using TRecordBuffer = char*;
// A block of BookmarkSize bytes made by AllocBookmark; its taker frees it with FreeBookmark.
using TBookmark = char*;

enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TDataAction { daFail, daAbort, daRetry };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };
enum TDataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
  deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
  deFocusControl, deParentScroll
};
enum TResyncModeItem { rmExact, rmCenter };
using TResyncMode = TSmallSet<TResyncModeItem>;
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSmallSet<TLocateOption>;
enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSmallSet<TFilterOption>;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent =
    std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

// Raises EDatabaseError with Message, prefixed "Name: " when Component has a name.
[[noreturn]] void DatabaseError(const std::string& Message, TComponent* Component = nullptr);

// Bytes a field of this type and size takes in a record buffer (0 for blob and unknown types).
int FieldTypeDataSize(TFieldType Type, int Size);

// Native date-time forms (see the layouts above) to and from date-time values. Times are
// rounded to the millisecond; EConvertError for a value out of range.
std::int32_t DateTimeToNativeDate(TDateTime Value);
std::int32_t DateTimeToNativeTime(TDateTime Value);
double DateTimeToNativeDateTime(TDateTime Value);
TDateTime NativeDateToDateTime(std::int32_t Days);
TDateTime NativeTimeToDateTime(std::int32_t MSecs);
TDateTime NativeDateTimeToDateTime(double MSecs);

// ---------------------------------------------------------------------------------------------
// Field definitions

class TFieldDef : public TCollectionItem {
public:
  explicit TFieldDef(TCollection* Collection);
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType Value);
  int Size() const { return FSize; }
  void SetSize(int Value);
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value);
  bool Required() const { return FRequired; }
  void SetRequired(bool Value);
  int FieldNo() const;  // as set, else its position + 1
  void SetFieldNo(int Value);
  bool InternalCalcField() const { return FInternalCalcField; }
  void SetInternalCalcField(bool Value) { FInternalCalcField = Value; }
  std::string DisplayName() const override { return FName; }
  TFieldDefs* FieldDefs() const;
  // A field of the class for DataType, owned by Owner, bound to the definitions' data set.
  TField* CreateField(TComponent* Owner);
  void Assign(TPersistent* Source) override;
  ZEL_CLASS(TFieldDef, TCollectionItem)

private:
  std::string FName;
  TFieldType FDataType = ftUnknown;
  int FSize = 0;
  int FPrecision = 0;
  bool FRequired = false;
  int FFieldNo = 0;
  bool FInternalCalcField = false;
};

class TFieldDefs : public TCollection {
public:
  explicit TFieldDefs(TDataSet* Owner);
  TDataSet* DataSet() const { return FDataSet; }
  TFieldDef* Items(int Index) const;
  TFieldDef* AddFieldDef();
  // Field numbers follow the definitions' order.
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
  int IndexOf(std::string_view Name) const;  // ASCII case-insensitive; -1 when absent
  TFieldDef* Find(std::string_view Name) const;  // EDatabaseError "Field 'X' not found"
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Reads the definitions from the data set (its InitFieldDefs) unless they are up to date.
  void Update();
  ZEL_CLASS(TFieldDefs, TCollection)

private:
  TDataSet* FDataSet;
  bool FUpdated = false;
};

// ---------------------------------------------------------------------------------------------
// Fields

class TField : public TComponent {
public:
  explicit TField(TComponent* AOwner);
  ~TField() override;

  TDataSet* DataSet() const { return FDataSet; }
  // Adds the field to DataSet's field list (EDatabaseError on an open data set or a name taken).
  void SetDataSet(TDataSet* Value);
  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  void SetCalculated(bool Value);
  bool Lookup() const { return FFieldKind == fkLookup; }
  void SetLookup(bool Value);
  int FieldNo() const { return FFieldNo; }  // data field's position in the record; 0 otherwise
  int Index() const;                        // position in the data set's field list
  int Size() const { return FSize; }
  virtual void SetSize(int Value);
  virtual int DataSize() const;
  int Offset() const { return FOffset; }  // a calculated field's place in the calc area
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool Required() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const std::string& DisplayLabel() const { return FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value);
  std::string DisplayName() const;  // DisplayLabel, else FieldName
  int DisplayWidth() const;
  void SetDisplayWidth(int Value) { FDisplayWidth = Value; }
  bool IsBlob() const { return IsBlobFieldType(FDataType); }
  bool CanModify() const;

  // Values. A getter that the field's type has no form for raises EDatabaseError
  // "Cannot access field 'X' as type Y"; a text that does not convert raises EConvertError.
  bool IsNull() const;
  virtual void Clear();
  std::string AsString() const { return GetAsString(); }
  virtual void SetAsString(const std::string& Value);
  std::int32_t AsInteger() const { return GetAsInteger(); }
  virtual void SetAsInteger(std::int32_t Value);
  std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
  virtual void SetAsLargeInt(std::int64_t Value);
  double AsFloat() const { return GetAsFloat(); }
  virtual void SetAsFloat(double Value);
  Currency AsCurrency() const { return GetAsCurrency(); }
  virtual void SetAsCurrency(Currency Value);
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  virtual void SetAsDateTime(TDateTime Value);
  bool AsBoolean() const { return GetAsBoolean(); }
  virtual void SetAsBoolean(bool Value);
  Variant AsVariant() const { return GetAsVariant(); }  // Null when the field is NULL
  virtual void SetAsVariant(const Variant& Value);     // Null or Empty clears
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& Value) { SetAsVariant(Value); }
  Variant OldValue() const;  // the value in dsOldValue
  Variant NewValue() const;  // the value in dsNewValue
  // Display and edit texts; OnGetText and OnSetText replace them when assigned.
  std::string Text() const;  // the edit text
  void SetText(const std::string& Value);
  std::string DisplayText() const;
  std::string EditText() const { return Text(); }
  void SetEditText(const std::string& Value) { SetText(Value); }

  // Raw native value (layouts at the top). GetData is false for NULL; Buffer may be null to
  // ask only whether there is a value. SetData with a null Buffer stores NULL.
  bool GetData(void* Buffer) const;
  void SetData(const void* Buffer);
  // Runs OnValidate on a value about to be stored (the data set's SetFieldData calls it); while
  // it runs the field reads that value.
  virtual void Validate(const void* Buffer);
  // Asks the data-aware control showing the field to take the focus.
  void FocusControl();

  // Lookup fields.
  TDataSet* LookupDataSet() const { return FLookupDataSet.Get(); }
  void SetLookupDataSet(TDataSet* Value);
  const std::string& KeyFields() const { return FKeyFields; }
  void SetKeyFields(const std::string& Value) { FKeyFields = Value; }
  const std::string& LookupKeyFields() const { return FLookupKeyFields; }
  void SetLookupKeyFields(const std::string& Value) { FLookupKeyFields = Value; }
  const std::string& LookupResultField() const { return FLookupResultField; }
  void SetLookupResultField(const std::string& Value) { FLookupResultField = Value; }

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

  void Notification(TComponent* AComponent, TOperation Operation) override;
  ZEL_CLASS(TField, TComponent)

protected:
  void SetDataType(TFieldType Value);
  virtual std::string GetAsString() const;
  virtual std::int32_t GetAsInteger() const;
  virtual std::int64_t GetAsLargeInt() const;
  virtual double GetAsFloat() const;
  virtual Currency GetAsCurrency() const;
  virtual TDateTime GetAsDateTime() const;
  virtual bool GetAsBoolean() const;
  virtual Variant GetAsVariant() const;
  // Text for display (DisplayText true) or editing; the default is AsString.
  virtual std::string GetText(bool DisplayText) const;
  virtual void SetFieldText(const std::string& Value) { SetAsString(Value); }
  virtual void Change();  // fires OnChange
  [[noreturn]] void AccessError(const char* TypeName) const;
  void CheckInactive() const;
  virtual bool HasDefaultWidth(int& Width) const;

private:
  friend class TDataSet;
  friend class TFields;
  friend TField* CreateFieldForType(TFieldType Type, TComponent* Owner);
  // AsVariant read with the data set in State (OldValue, NewValue).
  Variant ValueInState(TDataSetState State) const;
  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  TFieldType FDataType = ftUnknown;
  TFieldKind FFieldKind = fkData;
  int FFieldNo = 0;
  int FSize = 0;
  int FOffset = 0;
  bool FReadOnly = false;
  bool FRequired = false;
  bool FVisible = true;
  std::string FDisplayLabel;
  int FDisplayWidth = 0;
  bool FValidating = false;
  const void* FValueBuffer = nullptr;
  TComponentRef<TDataSet> FLookupDataSet;
  std::string FKeyFields, FLookupKeyFields, FLookupResultField;
};

// Text fields: Size characters of UTF-8; longer values are cut to Size characters.
class TStringField : public TField {
public:
  explicit TStringField(TComponent* AOwner);
  int DataSize() const override;
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(std::int32_t Value) override;
  void SetAsFloat(double Value) override;
  void SetAsBoolean(bool Value) override;
  void SetAsDateTime(TDateTime Value) override;
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TStringField, TField)

protected:
  std::string GetAsString() const override;
  std::int32_t GetAsInteger() const override;
  double GetAsFloat() const override;
  bool GetAsBoolean() const override;  // true when the text starts with T or Y (any case)
  TDateTime GetAsDateTime() const override;
  Variant GetAsVariant() const override;
  bool HasDefaultWidth(int& Width) const override;
};

// Integer fields share the range check: "X is not a valid value for field 'F'. The allowed
// range is A to B".
class TNumericField : public TField {
public:
  explicit TNumericField(TComponent* AOwner);
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }
  ZEL_CLASS(TNumericField, TField)

private:
  std::string FDisplayFormat;
};

class TIntegerField : public TNumericField {
public:
  explicit TIntegerField(TComponent* AOwner);
  int DataSize() const override;
  // A range of the caller's on top of the type's range (0 and 0: none).
  std::int64_t MinValue() const { return FMinValue; }
  std::int64_t MaxValue() const { return FMaxValue; }
  void SetMinValue(std::int64_t Value) { FMinValue = Value; }
  void SetMaxValue(std::int64_t Value) { FMaxValue = Value; }
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(std::int32_t Value) override;
  void SetAsLargeInt(std::int64_t Value) override;
  void SetAsFloat(double Value) override;  // rounded half to even
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TIntegerField, TNumericField)

protected:
  std::string GetAsString() const override;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  Variant GetAsVariant() const override;
  virtual bool GetValue(std::int64_t& Value) const;
  virtual void StoreValue(std::int64_t Value);  // range-checked
  void CheckRange(std::int64_t Value) const;
  std::int64_t FMinValue = 0, FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
public:
  explicit TSmallintField(TComponent* AOwner);
  ZEL_CLASS(TSmallintField, TIntegerField)
};

class TWordField : public TIntegerField {
public:
  explicit TWordField(TComponent* AOwner);
  ZEL_CLASS(TWordField, TIntegerField)
};

class TAutoIncField : public TIntegerField {
public:
  explicit TAutoIncField(TComponent* AOwner);
  ZEL_CLASS(TAutoIncField, TIntegerField)
};

class TLargeintField : public TIntegerField {
public:
  explicit TLargeintField(TComponent* AOwner);
  ZEL_CLASS(TLargeintField, TIntegerField)

protected:
  std::int32_t GetAsInteger() const override;  // EDatabaseError when out of 32-bit range
};

class TFloatField : public TNumericField {
public:
  explicit TFloatField(TComponent* AOwner);
  int DataSize() const override { return 8; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value; }
  bool Currency() const { return FCurrency; }
  void SetCurrency(bool Value) { FCurrency = Value; }
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(std::int32_t Value) override { SetAsFloat(Value); }
  void SetAsLargeInt(std::int64_t Value) override { SetAsFloat(double(Value)); }
  void SetAsFloat(double Value) override;
  void SetAsCurrency(::Currency Value) override { SetAsFloat(CurrToFloat(Value)); }
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TFloatField, TNumericField)

protected:
  std::string GetAsString() const override;
  std::int32_t GetAsInteger() const override;
  std::int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  ::Currency GetAsCurrency() const override { return FloatToCurr(GetAsFloat()); }
  Variant GetAsVariant() const override;
  std::string GetText(bool DisplayText) const override;

private:
  int FPrecision = 15;
  bool FCurrency = false;
};

class TCurrencyField : public TFloatField {
public:
  explicit TCurrencyField(TComponent* AOwner);
  ZEL_CLASS(TCurrencyField, TFloatField)

protected:
  Variant GetAsVariant() const override;
};

// Decimal values kept as ten-thousandths (four decimals); Size is the number of decimals.
class TBCDField : public TNumericField {
public:
  explicit TBCDField(TComponent* AOwner);
  int DataSize() const override { return 8; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value; }
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(std::int32_t Value) override { SetAsCurrency(Currency{Value * 10000LL}); }
  void SetAsFloat(double Value) override { SetAsCurrency(FloatToCurr(Value)); }
  void SetAsCurrency(Currency Value) override;
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TBCDField, TNumericField)

protected:
  std::string GetAsString() const override;
  std::int32_t GetAsInteger() const override;
  double GetAsFloat() const override { return CurrToFloat(GetAsCurrency()); }
  Currency GetAsCurrency() const override;
  Variant GetAsVariant() const override;

private:
  int FPrecision = 0;
};

class TBooleanField : public TField {
public:
  explicit TBooleanField(TComponent* AOwner);
  int DataSize() const override { return 2; }
  // "True;False" by default: the texts for true and false (AsString, SetAsString).
  const std::string& DisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& Value);
  void SetAsString(const std::string& Value) override;
  void SetAsBoolean(bool Value) override;
  void SetAsInteger(std::int32_t Value) override { SetAsBoolean(Value != 0); }
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TBooleanField, TField)

protected:
  std::string GetAsString() const override;
  bool GetAsBoolean() const override;
  std::int32_t GetAsInteger() const override;
  Variant GetAsVariant() const override;

private:
  std::string FDisplayValues = "True;False";
  std::string FTrueText = "True", FFalseText = "False";
};

// Date, time and date-time fields; texts follow the program's format settings.
class TDateTimeField : public TField {
public:
  explicit TDateTimeField(TComponent* AOwner);
  int DataSize() const override;
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }
  void SetAsString(const std::string& Value) override;
  void SetAsDateTime(TDateTime Value) override;
  void SetAsFloat(double Value) override { SetAsDateTime(Value); }
  void SetAsVariant(const Variant& Value) override;
  ZEL_CLASS(TDateTimeField, TField)

protected:
  std::string GetAsString() const override;
  TDateTime GetAsDateTime() const override;
  double GetAsFloat() const override { return GetAsDateTime(); }
  Variant GetAsVariant() const override;
  std::string GetText(bool DisplayText) const override;

private:
  std::string FDisplayFormat;
};

class TDateField : public TDateTimeField {
public:
  explicit TDateField(TComponent* AOwner);
  ZEL_CLASS(TDateField, TDateTimeField)
};

class TTimeField : public TDateTimeField {
public:
  explicit TTimeField(TComponent* AOwner);
  ZEL_CLASS(TTimeField, TDateTimeField)
};

// Fixed-size binary values; AsString gives the raw bytes.
class TBinaryField : public TField {
public:
  explicit TBinaryField(TComponent* AOwner);
  void SetAsString(const std::string& Value) override;
  void SetAsVariant(const Variant& Value) override { SetAsString(Value.AsString()); }
  ZEL_CLASS(TBinaryField, TField)

protected:
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
};

class TBytesField : public TBinaryField {
public:
  explicit TBytesField(TComponent* AOwner);
  int DataSize() const override { return Size(); }
  ZEL_CLASS(TBytesField, TBinaryField)
};

class TVarBytesField : public TBinaryField {
public:
  explicit TVarBytesField(TComponent* AOwner);
  int DataSize() const override { return Size() + 2; }
  ZEL_CLASS(TVarBytesField, TBinaryField)
};

// Values read and written through the data set's CreateBlobStream.
class TBlobField : public TField {
public:
  explicit TBlobField(TComponent* AOwner);
  int DataSize() const override { return 0; }
  void Clear() override;
  void SetAsString(const std::string& Value) override;
  void SetAsVariant(const Variant& Value) override;
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;
  void SetBlobType(TFieldType Value);
  ZEL_CLASS(TBlobField, TField)

protected:
  std::string GetAsString() const override;
  Variant GetAsVariant() const override;
  std::string GetText(bool DisplayText) const override;  // "(BLOB)", "(MEMO)", ...
};

class TMemoField : public TBlobField {
public:
  explicit TMemoField(TComponent* AOwner);
  ZEL_CLASS(TMemoField, TBlobField)

protected:
  std::string GetText(bool DisplayText) const override;
};

class TGraphicField : public TBlobField {
public:
  explicit TGraphicField(TComponent* AOwner);
  ZEL_CLASS(TGraphicField, TBlobField)
};

// A new field of the class that serves Type (nullptr for types no class serves).
TField* CreateFieldForType(TFieldType Type, TComponent* Owner);

// The data set's list of fields (not owning: fields are components of their owner; the data
// set frees its fields when it goes).
class TFields : public TObject {
public:
  explicit TFields(TDataSet* DataSet) : FDataSet(DataSet) {}
  TDataSet* DataSet() const { return FDataSet; }
  int Count() const { return int(FList.size()); }
  TField* Fields(int Index) const;  // EListError out of range
  TField* operator[](int Index) const { return Fields(Index); }
  void Add(TField* Field);
  void Remove(TField* Field);
  void Clear();  // frees the fields
  int IndexOf(const TField* Field) const;
  TField* FindField(std::string_view Name) const;  // ASCII case-insensitive
  TField* FieldByName(std::string_view Name) const;
  TField* FieldByNumber(int FieldNo) const;
  ZEL_CLASS(TFields, TObject)

private:
  TDataSet* FDataSet;
  std::vector<TField*> FList;
};

// ---------------------------------------------------------------------------------------------
// Data sets

class TDataSet : public TComponent {
public:
  explicit TDataSet(TComponent* AOwner);
  ~TDataSet() override;

  // ---- opening and closing
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  bool DefaultFields() const { return FDefaultFields; }

  // ---- navigation
  // Named Bof/Eof: the C library owns the name EOF as a macro.
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int MoveBy(int Distance);
  int RecordCount() { return GetRecordCount(); }
  int RecNo() { return GetRecNo(); }
  virtual void SetRecNo(int Value) {}
  int RecordSize() { return GetRecordSize(); }
  virtual bool IsSequenced() { return true; }
  bool Found() const { return FFound; }
  // Searching by the data set's OnFilterRecord (also when Filtered is off): the first, last,
  // next or prior record it accepts becomes current; whether one was found.
  virtual bool FindRecord(bool Restart, bool GoForward) { return false; }
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }

  // ---- editing
  bool CanModify() { return GetCanModify(); }
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  void Refresh();
  void InsertRecord(const std::vector<Variant>& Values);
  void AppendRecord(const std::vector<Variant>& Values);
  // Assigns Values to the fields in order (Empty leaves a field alone); edits when browsing.
  void SetFields(const std::vector<Variant>& Values);
  void ClearFields();
  // Posts a pending edit that was modified, cancels one that was not; posts a key in dsSetKey.
  void CheckBrowseMode();
  void UpdateRecord();  // EDatabaseError "Dataset not in edit or insert mode"
  virtual TUpdateStatus UpdateStatus();

  // ---- fields
  TFieldDefs* FieldDefs() const { return FFieldDefs.get(); }
  TFields* Fields() const { return FFields.get(); }
  int FieldCount() const { return FFields->Count(); }
  TField* FindField(std::string_view FieldName) const;
  TField* FieldByName(std::string_view FieldName) const;  // "Field 'X' not found"
  TField* FieldByNumber(int FieldNo) const;
  // Fields of a ";"-separated list, in its order; EDatabaseError for a name not found.
  void GetFieldList(std::vector<TField*>& List, std::string_view FieldNames) const;
  void GetFieldNames(TStrings* List) const;
  // Value of one field, or a variant array of the values of a ";"-separated list.
  Variant GetFieldValue(std::string_view FieldName) const;
  void SetFieldValue(std::string_view FieldName, const Variant& Value);
  virtual void InitFieldDefs();
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }

  // ---- bookmarks
  TBookmark GetBookmark();  // nullptr when there is no current record
  void GotoBookmark(const void* Bookmark);
  void FreeBookmark(TBookmark& Bookmark);
  virtual bool BookmarkValid(const void* Bookmark);
  // < 0, 0, > 0; the default compares the blocks byte by byte (unsigned); none sorts first.
  virtual int CompareBookmarks(const void* Bookmark1, const void* Bookmark2);
  int BookmarkSize() const { return FBookmarkSize; }
  TBookmark AllocBookmark() const;  // zeroed block of BookmarkSize bytes

  // ---- searching and filtering
  // The framework's Locate scans the records from the first (controls disabled) and moves to
  // the first match; Lookup scans likewise and returns the result fields' values without
  // moving. Key values: one value, or a variant array for several key fields; Null or Empty
  // matches a NULL field; loPartialKey matches text fields that begin with the key,
  // loCaseInsensitive compares upper-cased (accented letters too); a key that does not convert
  // to the field's type matches nothing. Read candidates pass the data set's own filter.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options);
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields);
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool Value);
  const std::string& Filter() const { return FFilterText; }
  virtual void SetFilterText(const std::string& Value);
  TFilterOptions FilterOptions() const { return FFilterOptions; }
  virtual void SetFilterOptions(TFilterOptions Value);
  const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(const TFilterRecordEvent& Value);

  // ---- controls and links
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }
  // True when DataSource (through master links) leads back to this data set.
  bool IsLinkedTo(TDataSource* DataSource);
  TDataSource* DataSource() { return GetDataSource(); }
  virtual TDataSource* GetDataSource() { return nullptr; }
  virtual void DataEvent(TDataEvent Event, std::intptr_t Info);
  void CursorPosChanged() { FCurrentRecord = -1; }
  void UpdateCursorPos();
  virtual void Resync(TResyncMode Mode);
  virtual bool GetCurrentRecord(TRecordBuffer Buffer) { return false; }
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  // Master fields and the matching detail fields of a master/detail link (default: none).
  virtual void GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                   std::vector<TField*>& DetailFields);
  int BlockReadSize() const { return FBlockReadSize; }
  virtual void SetBlockReadSize(int Value) { FBlockReadSize = Value; }

  // ---- the record-buffer protocol and field access, for descendants and fields
  virtual bool GetFieldData(TField* Field, void* Buffer);
  virtual void SetFieldData(TField* Field, const void* Buffer);
  // Asked by every field read: inline.
  TRecordBuffer ActiveBuffer() const {
    if (FBuffers.empty() || FActiveRecord >= int(FBuffers.size())) return nullptr;
    return FBuffers[size_t(FActiveRecord)];
  }
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  TRecordBuffer TempBuffer() const;
  int CalcFieldsSize() const { return FCalcFieldsSize; }
  int BufferCount() const { return FBufferCount; }
  int ActiveRecord() const { return FActiveRecord; }

  // ---- events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  ZEL_CLASS(TDataSet, TComponent)

protected:
  // ---- record buffers (the descendant's)
  virtual TRecordBuffer AllocRecordBuffer() { return nullptr; }
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) { Buffer = nullptr; }
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
    return grError;
  }
  virtual int GetRecordSize() { return 0; }
  virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) {}
  virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) {}
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) { return bfCurrent; }
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {}
  virtual void InternalInitRecord(TRecordBuffer Buffer) {}
  virtual void ClearCalcFields(TRecordBuffer Buffer) {}
  // InternalInitRecord, ClearCalcFields, then the bookmark flag bfInserted.
  virtual void InitRecord(TRecordBuffer Buffer);
  void SetBookmarkSize(int Value) { FBookmarkSize = Value; }

  // ---- internal steps (the descendant's)
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual bool IsCursorOpen() { return false; }
  virtual void InternalInitFieldDefs() {}
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  virtual void InternalGotoBookmark(const void* Bookmark) {}
  virtual void InternalSetToRecord(TRecordBuffer Buffer) {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalCancel() {}
  virtual void InternalPost() {}
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) {}
  virtual void InternalDelete() {}
  virtual void InternalRefresh() {}
  // Called with the exception being handled where the framework must not let one pass (a
  // data set being loaded); the default does nothing.
  virtual void InternalHandleException() {}
  virtual bool GetCanModify() { return true; }
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }

  // ---- opening steps
  virtual void OpenCursor(bool InfoQuery);
  virtual void CloseCursor();
  // Default fields from FieldDefs (owned by the data set).
  virtual void CreateFields();
  virtual void DestroyFields();
  // Field numbers, calculated-field offsets and CalcFieldsSize (Binding true), or unbinding.
  virtual void BindFields(bool Binding);
  void CheckActive() const;    // "Cannot perform this operation on a closed dataset"
  void CheckInactive() const;  // "Cannot perform this operation on an open dataset"
  void CheckCanModify();       // "Cannot modify a read-only dataset"

  // ---- state
  void SetState(TDataSetState Value);
  TDataSetState SetTempState(TDataSetState Value);
  void RestoreState(TDataSetState Value);
  // Runs Body in the temporary state Value; the state before comes back also when Body throws.
  template <class F>
  void WithTempState(TDataSetState Value, F&& Body) {
    const TDataSetState saved = SetTempState(Value);
    try {
      Body();
    } catch (...) {
      RestoreState(saved);
      throw;
    }
    RestoreState(saved);
  }
  void SetFound(bool Value) { FFound = Value; }

  // ---- the buffer ring
  TRecordBuffer Buffers(int Index) const { return FBuffers[size_t(Index)]; }
  int RecordCountInBuffers() const { return FRecordCount; }
  int CurrentRecord() const { return FCurrentRecord; }
  void SetCurrentRecord(int Index);
  virtual bool GetNextRecord();
  virtual bool GetPriorRecord();
  virtual int GetNextRecords();
  virtual int GetPriorRecords();
  void ClearBuffers();
  void ActivateBuffers();
  void SetBufferCount(int Value);
  void UpdateBufferCount();

  // ---- calculated fields
  void GetCalcFields(TRecordBuffer Buffer);
  virtual void CalculateFields(TRecordBuffer Buffer);
  void SetCalcBuffer(TRecordBuffer Buffer) { FCalcBuffer = Buffer; }

  // ---- searching: scans from the first record for a match, leaving it in Buffer
  // (TempBuffer when null); fields are read from it in dsCalcFields (CalcBuffer).
  bool LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                    TLocateOptions Options, TRecordBuffer Buffer = nullptr);
  // Whether Field's value in the current field buffer matches Value under Options.
  virtual bool FieldMatches(TField* Field, const Variant& Value, TLocateOptions Options);

  // ---- event steps
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeInsert();
  virtual void DoAfterInsert();
  virtual void DoBeforeEdit();
  virtual void DoAfterEdit();
  virtual void DoBeforePost();
  virtual void DoAfterPost();
  virtual void DoBeforeCancel();
  virtual void DoAfterCancel();
  virtual void DoBeforeDelete();
  virtual void DoAfterDelete();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  virtual void DoBeforeRefresh();
  virtual void DoAfterRefresh();
  virtual void DoOnCalcFields();
  virtual void DoOnNewRecord();
  // Runs Operation after UpdateCursorPos; an EDatabaseError goes to ErrorEvent, which may
  // retry, abort (silently) or fail (the default: the error passes on).
  void CheckOperation(const std::function<void()>& Operation,
                      const TDataSetErrorEvent& ErrorEvent);
  // "Field 'X' must have a value" for a required data field that is NULL.
  void CheckRequiredFields();

  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TFieldDefs;
  void AddDataSource(TDataSource* Source);
  void RemoveDataSource(TDataSource* Source);
  void SetBufListSize(int Value);
  void MoveBuffer(int CurIndex, int NewIndex);
  void OpenCursorComplete();
  void DoInternalOpen();
  void BeginInsertAppend();
  void EndInsertAppend();
  void AddRecord(const std::vector<Variant>& Values, bool Append);
  void FreeFieldBuffers() {}
  void UpdateCalcFields();
  void CalcLookupValue(TField* Field);

  TDataSetState FState = dsInactive;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::unique_ptr<TFields> FFields;
  std::vector<TDataSource*> FDataSources;
  std::vector<TRecordBuffer> FBuffers;  // FBufferCount ring buffers + the temp buffer
  int FBufferCount = 0;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  TRecordBuffer FCalcBuffer = nullptr;
  int FCalcFieldsSize = 0;
  int FBookmarkSize = 0;
  int FDisableCount = 0;
  int FBlockReadSize = 0;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FFound = false;
  bool FDefaultFields = false;
  bool FInternalOpenComplete = false;
  bool FAutoCalcFields = true;
  bool FFiltered = false;
  bool FInternalCalcFields = false;
  std::string FFilterText;
  TFilterOptions FFilterOptions;
  TFilterRecordEvent FOnFilterRecord;
};

// ---------------------------------------------------------------------------------------------
// Data sources and links

class TDataSource : public TComponent {
public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;
  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* Value);  // EDatabaseError "Circular datalinks are not allowed"
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool AutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool Value) { FAutoEdit = Value; }
  TDataSetState State() const { return FState; }
  // Puts the data set into edit mode when AutoEdit allows and it is browsing.
  void Edit();
  // True when this source's data set (through master links) leads to DataSet.
  bool IsLinkedTo(TDataSet* DataSet) const;
  int LinkCount() const { return int(FDataLinks.size()); }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

  void Notification(TComponent* AComponent, TOperation Operation) override;
  ZEL_CLASS(TDataSource, TComponent)

private:
  friend class TDataSet;
  friend class TDataLink;
  void AddDataLink(TDataLink* Link);
  void RemoveDataLink(TDataLink* Link);
  void DataEvent(TDataEvent Event, std::intptr_t Info);
  void NotifyDataLinks(TDataEvent Event, std::intptr_t Info);
  void SetState(TDataSetState Value);
  void UpdateState();

  TDataSet* FDataSet = nullptr;
  std::vector<TDataLink*> FDataLinks;
  TDataSetState FState = dsInactive;
  bool FEnabled = true;
  bool FAutoEdit = true;
};

// A link from a data-aware object to a data source; the framework calls its virtual steps.
class TDataLink : public TPersistent {
public:
  TDataLink();
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* Value);
  TDataSet* DataSet() const;
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int ActiveRecord() const;
  void SetActiveRecord(int Value);
  int BufferCount() const { return FBufferCount; }
  void SetBufferCount(int Value);
  int RecordCount() const;
  bool Edit();          // puts the data set into edit mode; whether it is editing
  void UpdateRecord();  // asks the link for its pending value (UpdateData)
  ZEL_CLASS(TDataLink, TPersistent)

protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int Distance) { DataSetChanged(); }
  virtual void FocusControl(TField** Field) {}
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* Field) {}
  virtual void UpdateData() {}

private:
  friend class TDataSource;
  friend class TDataSet;
  void DataEvent(TDataEvent Event, std::intptr_t Info);
  void SetActive(bool Value);
  void SetEditing(bool Value);
  void UpdateState();
  void UpdateRange();

  TDataSource* FDataSource = nullptr;
  int FFirstRecord = 0;
  int FBufferCount = 1;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
  bool FDataSourceFixed = false;
};

// A data link held by a detail data set; GetDetailDataSet names that data set so that
// IsLinkedTo can follow master links.
class TDetailDataLink : public TDataLink {
public:
  virtual TDataSet* GetDetailDataSet() { return nullptr; }
  ZEL_CLASS(TDetailDataLink, TDataLink)
};
