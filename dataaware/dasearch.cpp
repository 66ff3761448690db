#include "dasearch.h"

#include "dahelpers.h"
#include "daintl.h"
#include "dartf.h"
#include "dastrings.h"
#include "datetime.h"
#include "dbtables.h"
#include "dialogs.h"
#include "forms.h"
#include "numbers.h"
#include "text.h"

namespace {

bool IsStringField(const TField* Field) {
  const TFieldType t = Field->DataType();
  return t == ftString || t == ftFixedChar || t == ftWideString;
}

bool IsFloatField(const TField* Field) {
  const TFieldType t = Field->DataType();
  return t == ftFloat || t == ftCurrency || t == ftBCD;
}

bool IsMemoField(TField* Field) {
  const TFieldType t = Field->DataType();
  return t == ftMemo || t == ftFmtMemo || (t == ftBlob && IsRichEditField(Field, false));
}

// The text a field's value is compared by: a date-time by its date.
std::string FieldValueText(TField* Field) {
  if (Field->IsNull()) return "";
  if (Field->DataType() == ftDateTime) return DateToStr(Field->AsDateTime());
  return Field->AsString();
}

const TEngineIndexDef* CurrentIndex(TTable* Table) {
  TEngineCursor* cursor = Table->Handle();
  if (!cursor || cursor->IndexPos() < 0) return nullptr;
  return &cursor->Table().IndexDefs()[size_t(cursor->IndexPos())];
}

// Whether A comes before B in the current index's order.
bool SortsBefore(TTable* Table, const std::string& A, const std::string& B) {
  const TEngineIndexDef* index = CurrentIndex(Table);
  const bool caseInsensitive = index && (index->Options & eioCaseInsensitive);
  const int c = caseInsensitive ? EngineCompareText(A, B) : CompareStr(A, B);
  return index && (index->Options & eioDescending) ? c > 0 : c < 0;
}

// A beginning by the index: the nearest record at or after the text must begin with it; when
// it does not, the table goes back to the record it started from.
bool FindBeginningByIndex(TTable* Table, TField* Field, const std::string& Search, bool CaseSensitive) {
  TBookmark start = Table->GetBookmark();
  bool hit = false;
  try {
    hit = FindKeyTexts(Table, {Search}, true) && TextMatches(Field->AsString(), Search, 1, CaseSensitive);
    if (!hit && start && Table->BookmarkValid(start)) Table->GotoBookmark(start);
  } catch (...) {
    Table->FreeBookmark(start);
    throw;
  }
  Table->FreeBookmark(start);
  return hit;
}

}  // namespace

bool TextMatches(const std::string& Value, const std::string& SearchText, int MatchType, bool CaseSensitive) {
  if (!CaseSensitive) return TextMatches(AnsiUpperCase(Value), SearchText, MatchType, true);
  switch (MatchType) {
    case 0: return Value == SearchText;
    case 1: return !SearchText.empty() && Value.compare(0, SearchText.size(), SearchText) == 0;
    case 2: return !SearchText.empty() && Value.find(SearchText) != std::string::npos;
    default: return false;
  }
}

bool MemoMatches(TField* Field, const std::string& SearchText, bool RichText, bool CaseSensitive, int MatchType) {
  const std::string text = RichText ? RtfToPlainText(Field->AsString()) : Field->AsString();
  return TextMatches(text, SearchText, MatchType, CaseSensitive);
}

std::string EngineFieldText(TField* Field, const TEngineValue& Value) {
  const auto integer = [&]() -> int64_t {
    if (auto n = std::get_if<int64_t>(&Value)) return *n;
    if (auto d = std::get_if<double>(&Value)) return int64_t(*d);
    return 0;
  };
  const auto real = [&]() -> double {
    if (auto d = std::get_if<double>(&Value)) return *d;
    if (auto n = std::get_if<int64_t>(&Value)) return double(*n);
    return 0;
  };
  switch (Field->DataType()) {
    case ftString: case ftFixedChar: case ftWideString:
      if (auto s = std::get_if<std::string>(&Value)) return *s;
      return "";
    case ftSmallint: case ftInteger: case ftAutoInc: case ftLargeint: return IntToStr(integer());
    case ftWord: return IntToStr(uint16_t(integer()));
    case ftBoolean: return integer() != 0 ? "True" : "False";
    case ftFloat: case ftCurrency: case ftBCD: return FloatToStr(real());
    case ftDate: case ftDateTime: return DateToStr(real());
    case ftTime: return TimeToStr(real());
    default: return "";
  }
}

bool FindKeyTexts(TTable* Table, const std::vector<std::string>& Texts, bool Nearest) {
  Table->CheckBrowseMode();
  Table->SetKey();
  try {
    for (size_t i = 0; i < Texts.size(); ++i) {
      try {
        Table->IndexFields(int(i))->SetAsString(Texts[i]);
      } catch (const EDatabaseError& e) {
        throw EConvertError(e.Message());  // beyond the field's range: a text it cannot take
      }
    }
    Table->SetKeyFieldCount(int(Texts.size()));
  } catch (...) {
    Table->Cancel();
    throw;
  }
  return Nearest ? Table->GotoNearest() : Table->GotoKey();
}

bool CurrentIndexCaseSensitive(TTable* Table) {
  const TEngineIndexDef* index = CurrentIndex(Table);
  return index && !(index->Options & eioCaseInsensitive);
}

bool CurrentIndexFieldExists(TTable* Table) {
  TEngineCursor* cursor = Table->Handle();
  if (!cursor) return false;
  const std::vector<int> keys = cursor->KeyFields();
  return !keys.empty() && HasField(Table, cursor->Table().FieldDefs()[size_t(keys[0])].Name);
}

bool FindRecordByField(TDataSet* DataSet, const std::string& SearchValue, const std::string& FieldName,
                       bool CaseSensitive, int MatchType) {
  TField* field = DataSet->FindField(FieldName);
  if (field && !DataSet->IsEmpty()) {
    const std::string value = field->AsString();
    if (CaseSensitive ? value == SearchValue : AnsiLowerCase(value) == AnsiLowerCase(SearchValue)) return true;
  }
  return FindText(true, DataSet, FieldName, false, CaseSensitive, MatchType, SearchValue);
}

bool FindText(bool FromFirst, TDataSet* DataSet, const std::string& FieldName, bool UseLocate, bool CaseSensitive,
              int MatchType, const std::string& SearchText) {
  DataSet->CheckBrowseMode();
  TField* field = DataSet->FindField(FieldName);
  if (!field) {
    MessageDlg("Field " + FieldName + " not found.", mtWarning, TMsgDlgButtons{mbOK}, 0);
    return false;
  }
  DataSet->UpdateCursorPos();
  const std::string search = CaseSensitive ? SearchText : AnsiUpperCase(SearchText);
  const bool memo = IsMemoField(field);

  // The current index, when the field leads it.
  bool indexUsed = false;
  auto* table = dynamic_cast<TTable*>(DataSet);
  if (table && !memo && !HasQueryLines(DataSet)) {
    table->IndexDefs()->Update();
    if (table->IndexFieldCount() > 0 && CurrentIndexFieldExists(table)) {
      const bool leads = AnsiUpperCase(table->IndexFields(0)->FieldName()) == AnsiUpperCase(field->FieldName());
      const std::string value = CaseSensitive ? FieldValueText(field) : AnsiUpperCase(FieldValueText(field));
      const bool caseAgrees = CurrentIndexCaseSensitive(table) == CaseSensitive;
      // A date-time compares by its date, which its index cannot seek.
      if (MatchType == 0 && leads && (value != search || FromFirst) && field->DataType() != ftBoolean &&
          field->DataType() != ftDateTime && (!IsStringField(field) || caseAgrees)) {
        // A text the key field cannot hold is in no record.
        try {
          return FindKeyTexts(table, {search}, false);
        } catch (const EConvertError&) {
          return false;
        }
      }
      if (MatchType == 1 && leads && IsStringField(field) && caseAgrees) {
        indexUsed = true;
        if (FromFirst || !TextMatches(field->AsString(), search, 1, CaseSensitive)) {
          if (!FromFirst && SortsBefore(table, search, value)) return false;
          return FindBeginningByIndex(table, field, search, CaseSensitive);
        }
        // The current record begins with the text: only the next one can as well.
      }
    }
  }

  // The scan.
  const bool floatExact = MatchType == 0 && IsFloatField(field) && !search.empty();
  const auto valueMatches = [&](const std::string& value) {
    if (!floatExact) return TextMatches(value, search, MatchType, CaseSensitive);
    // The whole text must be a number: one whose beginning only is one matches nothing.
    double wanted = 0, have = 0;
    return !value.empty() && TryStrToFloat(search, wanted) && TryStrToFloat(value, have) && wanted == have;
  };
  TBookmark start = DataSet->GetBookmark();
  bool found = false, moved = false, disabled = false;
  const auto restore = [&] {
    DataSet->CursorPosChanged();
    if (disabled) DataSet->EnableControls();
    Screen->SetCursor(crDefault);
    if (!found && moved && start && DataSet->BookmarkValid(start)) DataSet->GotoBookmark(start);
    DataSet->FreeBookmark(start);
  };
  try {
    if (FromFirst) {
      moved = true;
      DataSet->First();
      DataSet->UpdateCursorPos();
    }
    // Marked by its control type (looked up once), or holding RTF: decided for each record,
    // since one record of a rich-text field may be empty or plain.
    const bool richMarked = memo && IsRichEditField(field, false);
    const auto memoMatches = [&] {
      return MemoMatches(field, search, richMarked || BlobHoldsRtf(field), CaseSensitive, MatchType);
    };
    Screen->SetCursor(crHourGlass);
    if (FromFirst && !DataSet->IsEmpty()) {
      found = memo ? memoMatches() : valueMatches(FieldValueText(field));
      if (!found) DataSet->UpdateCursorPos();
    }
    const bool nonEngine = IsNonEngineField(field);
    const bool locate = FromFirst && (MatchType == 0 || MatchType == 1) &&
                        (UseLocate || ((!GlobalIntl || GlobalIntl->ADO()->UseLocateWhenFindingValue()) &&
                                       InheritsFromName(DataSet, "TCustomADODataSet"))) &&
                        !memo && field->FieldKind() == fkData;
    if (!found && memo) {
      DataSet->DisableControls();
      disabled = true;
      for (moved = true, DataSet->Next(); !DataSet->Eof(); DataSet->Next())
        if (memoMatches()) {
          found = true;
          break;
        }
    } else if (!found) {
      if (nonEngine) {
        DataSet->DisableControls();
        disabled = true;
      }
      if (locate) {
        TLocateOptions options;
        if (!CaseSensitive) options.Include(loCaseInsensitive);
        if (MatchType == 1) options.Include(loPartialKey);
        found = DataSet->Locate(FieldName, Variant(SearchText), options);
      } else if (nonEngine || !dynamic_cast<TBDEDataSet*>(DataSet)) {
        moved = true;
        while (!DataSet->Eof()) {
          DataSet->Next();
          if (DataSet->Eof()) break;
          if (valueMatches(FieldValueText(field))) {
            found = true;
            break;
          }
          if (indexUsed) break;
        }
      } else {
        // Straight from the engine's cursor, without moving the data set until the hit.
        auto* engineSet = static_cast<TBDEDataSet*>(DataSet);
        TEngineCursor* cursor = engineSet->Handle();
        const size_t at = size_t(field->FieldNo() - 1);
        TEngineRecord record;
        while (cursor && cursor->Next(record)) {
          if (!engineSet->RecordFilterKeeps(record)) continue;
          const TEngineValue& v = record.Values.at(at);
          if (valueMatches(EngineIsNull(v) ? std::string() : EngineFieldText(field, v))) {
            found = true;
            break;
          }
          if (indexUsed) break;
        }
        if (found) {
          DataSet->CursorPosChanged();
          DataSet->GotoBookmark(&record.Bookmark);
        }
      }
    }
  } catch (...) {
    found = false;
    try {
      restore();
    } catch (...) {
    }
    throw;
  }
  restore();
  return found;
}
