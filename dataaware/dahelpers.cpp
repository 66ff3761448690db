#include "dahelpers.h"

#include "daintl.h"
#include "dartf.h"
#include "dapicturevalidator.h"
#include "dasearch.h"
#include "dastrings.h"
#include "datable.h"
#include "keyqueue.h"
#include "published.h"
#include "text.h"

namespace {

constexpr std::size_t OptionCount = std::size(OnFilterOptionNames);

TStrings* PublishedList(TDataSet* DataSet, const char* Name) {
  if (!DataSet || !IsPublishedProp(DataSet, Name)) return nullptr;
  return dynamic_cast<TStrings*>(GetObjectProp(DataSet, Name));
}

// Item Index of a split line, or the empty text when the line has fewer items.
std::string Item(const TStringList& Items, int Index) { return Index < Items.Count() ? Items[Index] : std::string(); }

// The first item of a line up to Separator.
std::string FirstItem(const std::string& Line, std::string_view Separator) {
  int position = 1;
  return ExtractItem(Line, Separator, position);
}

// The PictureMasks line of the field (names compared ignoring case), -1 when none.
int MaskLine(TStrings* Masks, const std::string& FieldName) {
  const std::string wanted = AnsiLowerCase(FieldName);
  for (int i = 0; i < Masks->Count(); ++i)
    if (AnsiLowerCase(FirstItem(Masks->Strings(i), "\t")) == wanted) return i;
  return -1;
}

void ReadMaskLine(TStrings* Masks, int Line, std::string* Mask, bool* Flag1, bool* Flag2) {
  TStringList items;
  SplitToList(Masks->Strings(Line), "\t", &items);
  if (Mask) *Mask = Item(items, 1);
  if (Flag1) *Flag1 = Item(items, 2) == "T";
  if (Flag2) *Flag2 = Item(items, 3) == "T";
}

}  // namespace

TStrings* GetPictureMasks(TDataSet* DataSet) { return PublishedList(DataSet, "PictureMasks"); }
TStrings* GetControlTypes(TDataSet* DataSet) { return PublishedList(DataSet, "ControlType"); }

TdaOnFilterOptions GetFilterOptions(TDataSet* DataSet) {
  if (!DataSet) return {};
  if (!IsPublishedProp(DataSet, "OnFilterOptions"))
    return DataSet->Filtered() ? TdaOnFilterOptions{ofoEnabled} : TdaOnFilterOptions{};
  return TdaOnFilterOptions::FromBits(published_detail::SetBits(GetPropValue(DataSet, "OnFilterOptions"),
                                                                OnFilterOptionNames, OptionCount, "OnFilterOptions"));
}

void SetFilterEnabled(TDataSet* DataSet, bool Enabled) {
  if (!DataSet || !IsPublishedProp(DataSet, "OnFilterOptions")) return;
  TdaOnFilterOptions options = GetFilterOptions(DataSet);
  if (Enabled) options.Include(ofoEnabled);
  else options.Exclude(ofoEnabled);
  SetPropValue(DataSet, "OnFilterOptions", published_detail::SetValue(options.Bits(), OnFilterOptionNames, OptionCount));
}

bool EscapePressed(TDataSet* DataSet) {
  if (!KeyQueue().TakePendingEscape()) return false;
  SetFilterEnabled(DataSet, false);
  return true;
}

// ---- picture masks ------------------------------------------------------------------------------

void GetFieldMask(TDataSet* DataSet, const std::string& FieldName, bool UseTablePictures, std::string& Mask,
                  bool& Flag1, bool& Flag2) {
  Mask.clear();
  Flag1 = Flag2 = true;
  bool found = false;
  if (TStrings* masks = GetPictureMasks(DataSet)) {
    const int line = MaskLine(masks, FieldName);
    if (line >= 0) {
      ReadMaskLine(masks, line, &Mask, &Flag1, &Flag2);
      found = true;
    }
  }
  auto* table = dynamic_cast<TdaTable*>(DataSet);
  if (!UseTablePictures || !table) return;
  const std::string picture = table->GetParadoxPicture(FieldName);
  if (picture.empty()) return;
  if (found) SetFieldMask(DataSet, FieldName, picture, Flag1, Flag2, true, true, false);
  Mask = picture;
}

void SetFieldMask(TDataSet* DataSet, const std::string& FieldName, const std::string& Mask, bool Flag1, bool Flag2,
                  bool KeepMask, bool KeepFlag1, bool KeepFlag2) {
  TStrings* masks = GetPictureMasks(DataSet);
  if (!masks) return;
  std::string mask = Mask;
  if (auto* table = dynamic_cast<TdaTable*>(DataSet); table && HasField(table, FieldName)) {
    const std::string picture = table->GetParadoxPicture(FieldName);
    if (!picture.empty()) mask = picture;
  }
  const int line = MaskLine(masks, FieldName);
  if (line >= 0)
    ReadMaskLine(masks, line, KeepMask ? nullptr : &mask, KeepFlag1 ? nullptr : &Flag1, KeepFlag2 ? nullptr : &Flag2);
  const std::string text =
      FieldName + "\t" + mask + "\t" + (Flag1 ? "T" : "F") + "\t" + (Flag2 ? "T" : "F");
  if (line >= 0) {
    if (mask.empty()) masks->Delete(line);
    else masks->Put(line, text);
  } else if (!mask.empty()) {
    masks->Add(text);
  }
}

bool MaskAccepts(const std::string& Mask, const std::string& Value) {
  if (Value.empty()) return true;
  TdaPictureValidator validator(Mask, false);
  std::string text = Value;
  return validator.Picture(text, false) == prComplete;
}

void ValidateMasks(TDataSet* DataSet, const TdaInvalidValueEvent& OnInvalidValue) {
  if (!DataSet) return;
  for (int i = 0; i < DataSet->FieldCount(); ++i) {
    TField* field = DataSet->Fields()->Fields(i);
    std::string mask;
    bool flag1, flag2;
    GetFieldMask(DataSet, field->FieldName(), true, mask, flag1, flag2);
    if (mask.empty() || field->ReadOnly() || MaskAccepts(mask, field->AsString())) continue;
    field->FocusControl();
    if (OnInvalidValue) OnInvalidValue(DataSet, field);
    const std::string text =
        GlobalIntl ? GlobalIntl->UserMessages()->PictureValidateError() : TdaUserMessagesIntl().PictureValidateError();
    DatabaseError(text + field->DisplayName());
  }
}

// ---- lookup fields ------------------------------------------------------------------------------

void PruneLookupLists(TdaTable* Table, TStrings* LookupFields, TStrings* LookupLinks, TStrings* ControlTypes) {
  for (int i = LookupFields->Count() - 1; i >= 0; --i)
    if (!HasField(Table, FirstItem(LookupFields->Strings(i), ";"))) {
      LookupFields->Delete(i);
      LookupLinks->Delete(i);
    }
  for (int i = ControlTypes->Count() - 1; i >= 0; --i)
    if (!HasField(Table, FirstItem(ControlTypes->Strings(i), ";"))) ControlTypes->Delete(i);
}

namespace {

// The lookup table of a LookupFields line: one already open for the same database, table and
// link line, else a new one; none when it cannot be opened.
TdaTable* LookupTableFor(TdaTable* Master, const TStringList& Items, const std::string& Line,
                         const std::string& LinkLine, std::vector<TdaTable*>& LookupTables) {
  const int n = Items.Count();
  const bool longForm = n >= 6;
  std::string tableName = Items[2];
  if (longForm && Items[n - 1] == "N") tableName = tableName.substr(0, tableName.find('.'));
  const std::string link = AnsiLowerCase(LinkLine);
  for (TdaTable* t : LookupTables)
    if (t->DatabaseName() == Items[1] && t->TableName() == tableName && AnsiLowerCase(t->LookupLinkText()) == link) {
      if (t->Active()) return t;
      try {
        t->Open();
        return t;
      } catch (const Exception&) {
        return nullptr;
      }
    }
  // A table that failed once is not tried again (nor made again) for every record read.
  const std::string key = Line + "\n" + LinkLine;
  if (Master->FailedLookups().count(key)) return nullptr;
  auto* t = new TdaTable(Master);
  try {
    t->SetDatabaseName(Items[1]);
    t->SetTableName(tableName);
    if (longForm) {
      std::string fields = Items[5];
      for (int j = 6; j <= n - 2; ++j) fields += ";" + Items[j];
      t->SetIndexName(t->FindIndexForFields(fields));
    } else {
      t->SetIndexName(Item(Items, 4));
    }
    t->SetReadOnly(true);
    t->Open();
  } catch (const Exception&) {
    delete t;
    Master->FailedLookups().insert(key);
    return nullptr;
  }
  t->SetLookupVisited(false);
  t->SetLookupLinkText(LinkLine);
  LookupTables.push_back(t);
  return t;
}

}  // namespace

void FillLookupFields(TdaTable* Table, TStrings* LookupFields, TStrings* LookupLinks,
                      std::vector<TdaTable*>& LookupTables) {
  for (TdaTable* t : LookupTables) t->SetLookupVisited(false);
  TStringList items, links;
  for (int i = 0; i < LookupFields->Count(); ++i) {
    const std::string line = LookupFields->Strings(i);
    const std::string linkLine = LookupLinks->Strings(i);
    SplitToList(line, ";", &items);
    if (items.Count() < 4) continue;  // no field to copy from
    TdaTable* lookup = LookupTableFor(Table, items, line, linkLine, LookupTables);
    if (!lookup) continue;
    SplitToList(linkLine, ";", &links);
    for (int k = 0; k < links.Count(); k += 2)
      if (!HasField(Table, links[k])) {
        Table->FieldByName(items[0])->SetVisible(false);
        return;
      }
    if (!lookup->LookupVisited()) {
      std::vector<std::string> linkItems;
      for (int k = 0; k < links.Count(); ++k) linkItems.push_back(links[k]);
      lookup->SetLookupSearchActive(true);
      bool found;
      try {
        found = FindLookupRecord(lookup, Table, linkItems);
      } catch (...) {
        lookup->SetLookupSearchActive(false);
        for (TdaTable* t : LookupTables) t->SetLookupVisited(false);
        throw;
      }
      lookup->SetLookupSearchActive(false);
      lookup->SetLookupFound(found);
    }
    TField* target = Table->FieldByName(items[0]);
    if (lookup->LookupFound()) {
      TField* source = lookup->FieldByName(items[3]);
      target->SetText(dynamic_cast<TBlobField*>(source) ? source->AsString() : source->Text());
    } else {
      target->SetText("");
    }
    lookup->SetLookupVisited(true);
  }
}

bool FindLookupRecord(TdaTable* Lookup, TdaTable* Master, const std::vector<std::string>& LinkItems) {
  const size_t n = LinkItems.size();
  if (Lookup->IndexFieldCount() == 0) {
    if (n < 2) return false;
    return FindRecordByField(Lookup, Master->FieldByName(LinkItems[0])->AsString(), LinkItems[1], false, 0);
  }
  if (n < 2 || n > 12 || n % 2 != 0) return false;
  std::vector<std::string> values;
  for (size_t k = 0; k < n; k += 2) values.push_back(Master->FieldByName(LinkItems[k])->AsString());
  return Lookup->FindKeyByLookupValues(values, int(values.size()) - 1);
}

// ---- classes and fields -------------------------------------------------------------------------

bool HasField(TObject* Object, const std::string& Name) {
  auto* ds = dynamic_cast<TDataSet*>(Object);
  if (!ds) return false;
  const std::string wanted = AnsiUpperCase(Name);
  for (int i = 0; i < ds->FieldCount(); ++i)
    if (AnsiUpperCase(ds->Fields()->Fields(i)->FieldName()) == wanted) return true;
  return false;
}

bool InheritsFromName(const TObject* Object, const std::string& ClassName) {
  return Object && Object->InheritsFrom(ClassName);
}

bool IsNonEngineField(TField* Field) {
  if (!Field) return false;
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) return true;
  return Field->DataSet() && !InheritsFromName(Field->DataSet(), "TBDEDataSet");
}

bool IsRichEditField(TField* Field, bool ReadContents) {
  if (!dynamic_cast<TBlobField*>(Field)) return false;
  TDataSet* ds = Field->DataSet();
  if (TStrings* types = GetControlTypes(ds)) {
    const std::string marker = Field->FieldName() + ";RichEdit";
    for (int i = 0; i < types->Count(); ++i)
      if (types->Strings(i).compare(0, marker.size(), marker) == 0) return true;
  }
  return ReadContents && BlobHoldsRtf(Field);
}

bool BlobHoldsRtf(TField* Field) {
  TDataSet* ds = Field->DataSet();
  if (!ds || !dynamic_cast<TBlobField*>(Field)) return false;
  std::string head(5, ' ');
  std::unique_ptr<TStream> stream = ds->CreateBlobStream(Field, bmRead);
  stream->Read(head.data(), 5);
  return LooksLikeRtf(head);
}

bool HasQueryLines(TDataSet* DataSet) {
  auto* table = dynamic_cast<TdaTable*>(DataSet);
  return table && table->Query()->Count() > 0;
}

std::string JoinQueryLines(const TStrings& Lines, bool BlankSeparated) {
  std::string text;
  for (int i = 0; i < Lines.Count(); ++i) {
    if (i > 0) text += BlankSeparated ? " " : "\r\n";
    text += Lines.Strings(i);
  }
  return text;
}
