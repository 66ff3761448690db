#include "fieldtypes.h"

const char* FieldTypeName(TFieldType Type) {
  static const char* const names[FieldTypeCount] = {
      "ftUnknown",   "ftString",      "ftSmallint",  "ftInteger",   "ftWord",
      "ftBoolean",   "ftFloat",       "ftCurrency",  "ftBCD",       "ftDate",
      "ftTime",      "ftDateTime",    "ftBytes",     "ftVarBytes",  "ftAutoInc",
      "ftBlob",      "ftMemo",        "ftGraphic",   "ftFmtMemo",   "ftParadoxOle",
      "ftDBaseOle",  "ftTypedBinary", "ftCursor",    "ftFixedChar", "ftWideString",
      "ftLargeint",  "ftADT",         "ftArray",     "ftReference", "ftDataSet",
      "ftOraBlob",   "ftOraClob",     "ftVariant",   "ftInterface", "ftIDispatch",
      "ftGuid"};
  int i = int(Type);
  return i >= 0 && i < FieldTypeCount ? names[i] : names[0];
}

bool IsBlobFieldType(TFieldType Type) {
  switch (Type) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob: return true;
    default: return false;
  }
}
