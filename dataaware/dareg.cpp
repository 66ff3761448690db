#include "dareg.h"

#include <utility>

#include "dastrings.h"
#include "ocl.h"
#include "published.h"

TdaODDataSet::TdaODDataSet(TComponent* AOwner)
    : TODQuery(AOwner), FControlType(std::make_unique<TStringList>()), FPictureMasks(std::make_unique<TStringList>()) {}

// The lists go first, then the query (members before the base).
TdaODDataSet::~TdaODDataSet() = default;

void TdaODDataSet::SetControlType(TStrings* Value) { AssignLines(*FControlType, Value); }
void TdaODDataSet::SetPictureMasks(TStrings* Value) { AssignLines(*FPictureMasks, Value); }

std::string TdaODDataSet::DatabaseName() const {
  THdbc* dbc = hDbc();
  return dbc != nullptr ? dbc->Name() : std::string();
}

void TdaODDataSet::SetDatabaseName(const std::string& Value) {
  // While a form loads, the connection may not have been read yet.
  if (ComponentState().Contains(csLoading)) {
    FStreamedDatabaseName = Value;
    FDatabaseNamePending = true;
    return;
  }
  ResolveDatabaseName(Value);
}

void TdaODDataSet::ResolveDatabaseName(const std::string& Value) {
  TComponent* owner = Owner();
  if (owner == nullptr) return;
  if (auto* dbc = dynamic_cast<THdbc*>(owner->FindComponent(Value))) SetHdbc(dbc);
}

void TdaODDataSet::Loaded() {
  // Before the inherited step, which opens a query streamed as active.
  if (FDatabaseNamePending) {
    FDatabaseNamePending = false;
    ResolveDatabaseName(std::exchange(FStreamedDatabaseName, std::string()));
  }
  TODQuery::Loaded();
}

void TdaODDataSet::DoBeforePost() {
  TODQuery::DoBeforePost();
  if (FValidateWithMask) ValidateMasks(this, OnInvalidValue);
}

namespace {

// Added to TODQuery's published properties, after them. Events are code, not streamed.
[[maybe_unused]] const bool DataSetPublished = [] {
  using D = TdaODDataSet;
  const char* const cls = "TdaODDataSet";
  RegisterPublishedClass(cls, "TODQuery");
  PublishProperty(cls, "ControlType", &D::ControlType, &D::SetControlType);
  PublishProperty(cls, "PictureMasks", &D::PictureMasks, &D::SetPictureMasks);
  PublishProperty(cls, "ValidateWithMask", &D::ValidateWithMask, &D::SetValidateWithMask);
  PublishProperty(cls, "DatabaseName", &D::DatabaseName, &D::SetDatabaseName);
  return true;
}();

}  // namespace
