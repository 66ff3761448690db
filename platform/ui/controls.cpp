#include "controls.h"

#include <QEvent>
#include <QFont>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <unordered_map>

#include "forms.h"
#include "uiqt.h"

namespace {

std::unordered_map<const QWidget*, TControl*>& WidgetMap() {
  static auto* map = new std::unordered_map<const QWidget*, TControl*>;
  return *map;
}

}  // namespace

// Keeps the stored bounds in step with the widget and passes size and font changes on.
class TControlFilter : public QObject {
public:
  bool eventFilter(QObject* obj, QEvent* ev) override {
    const QEvent::Type t = ev->type();
    if (t != QEvent::Resize && t != QEvent::Move && t != QEvent::FontChange) return false;
    auto it = WidgetMap().find(static_cast<QWidget*>(obj));
    if (it == WidgetMap().end()) return false;
    TControl* c = it->second;
    if (!c->Hooked()) return false;
    if (t == QEvent::FontChange) {
      UiDispatch(c, [c] { c->FontChanged(); });
      return false;
    }
    const QRect g = c->FWidget->geometry();
    c->FLeft = g.x();
    c->FTop = g.y();
    c->FWidth = g.width();
    c->FHeight = g.height();
    if (t == QEvent::Resize) UiDispatch(c, [c] { c->Resized(); });
    return false;
  }
  static TControlFilter* Instance() {
    static auto* f = new TControlFilter;
    return f;
  }
};

// --- TFont ---------------------------------------------------------------------------------

std::string TFont::Name() const { return StdStr(FControl->Widget()->font().family()); }
void TFont::SetName(const std::string& Value) {
  QFont f = FControl->Widget()->font();
  f.setFamily(QStr(Value));
  FControl->Widget()->setFont(f);
}
int TFont::Size() const { return FControl->Widget()->font().pointSize(); }
void TFont::SetSize(int Value) {
  QFont f = FControl->Widget()->font();
  f.setPointSize(Value);
  FControl->Widget()->setFont(f);
}
bool TFont::Bold() const { return FControl->Widget()->font().bold(); }
void TFont::SetBold(bool Value) {
  QFont f = FControl->Widget()->font();
  f.setBold(Value);
  FControl->Widget()->setFont(f);
}

// --- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner, QWidget* W) : TComponent(AOwner), FWidget(W) {
  EnsureQtApplication();
  WidgetMap()[W] = this;
  W->installEventFilter(TControlFilter::Instance());
  const QRect g = W->geometry();
  FWidth = g.width();
  FHeight = g.height();
}

TControl::~TControl() {
  Unhook();
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
  delete FWidget;
}

void TControl::Unhook() {
  if (!FHooked) return;
  FHooked = false;
  Destroying();
  WidgetMap().erase(FWidget);
  FWidget->removeEventFilter(TControlFilter::Instance());
  FWidget->disconnect();
}

TControl* TControl::FromWidget(const QWidget* W) {
  auto& map = WidgetMap();
  for (; W; W = W->parentWidget()) {
    auto it = map.find(W);
    if (it != map.end()) return it->second;
  }
  return nullptr;
}

TForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetParent(TWinControl* Value) {
  if (Value == FParent) return;
  for (TWinControl* p = Value; p; p = p->FParent)
    if (p == this) throw EInvalidOperation("A control cannot have itself as its parent");
  TWinControl* old = FParent;
  if (old) old->RemoveControl(this);
  FParent = Value;
  if (Value) Value->AddControl(this);
  PlaceWidget(old);
}

void TControl::PlaceWidget(TWinControl* OldParent) {
  FWidget->setParent(FParent ? FParent->FWidget : nullptr);
  FWidget->setGeometry(FLeft, FTop, FWidth, FHeight);
  ApplyVisible();
  if (FParent && FAlign == alClient) FParent->Resized();
  if (TForm* f = GetParentForm(); f && f->Visible()) f->UpdateTabChain();
}

void TControl::ApplyVisible() {
  if (FParent) FWidget->setVisible(FVisible);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max(0, AWidth);
  FHeight = std::max(0, AHeight);
  FWidget->setGeometry(FLeft, FTop, FWidth, FHeight);
}

void TControl::SetAlign(TAlign Value) {
  FAlign = Value;
  if (FParent) FParent->Resized();
}

void TControl::SetEnabled(bool Value) {
  FEnabled = Value;
  FWidget->setEnabled(Value);
}

void TControl::SetVisible(bool Value) {
  FVisible = Value;
  ApplyVisible();
}

void TControl::Repaint() {
  if (FWidget->isVisible()) FWidget->repaint();
}

// --- TWinControl ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner, QWidget* W, bool TabStop)
    : TControl(AOwner, W), FTabStop(TabStop) {
  if (!TabStop && (W->focusPolicy() & Qt::TabFocus))
    W->setFocusPolicy(Qt::FocusPolicy(W->focusPolicy() & ~Qt::TabFocus));
}

TWinControl::~TWinControl() {
  Unhook();
  // The controls placed in this one go first, before the widget that holds theirs.
  while (!FControls.empty()) delete FControls.back();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FControls[size_t(Index)];
}

void TWinControl::AddControl(TControl* C) {
  FControls.push_back(C);
  if (auto* w = dynamic_cast<TWinControl*>(C)) FTabList.push_back(w);
}

void TWinControl::RemoveControl(TControl* C) {
  std::erase(FControls, C);
  // C may be half destroyed: compare addresses only.
  std::erase_if(FTabList, [C](TWinControl* w) { return static_cast<TControl*>(w) == C; });
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : int(it - list.begin());
}

void TWinControl::SetTabOrder(int Value) {
  TWinControl* p = Parent();
  if (!p) return;
  auto& list = p->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  Value = std::clamp(Value, 0, int(list.size()));
  list.insert(list.begin() + Value, this);
  if (TForm* f = GetParentForm(); f && f->Visible()) f->UpdateTabChain();
}

void TWinControl::SetTabStop(bool Value) {
  FTabStop = Value;
  QWidget* w = Widget();
  if (Value)
    w->setFocusPolicy(Qt::FocusPolicy(w->focusPolicy() | Qt::TabFocus));
  else
    w->setFocusPolicy(Qt::FocusPolicy(w->focusPolicy() & ~Qt::TabFocus));
}

void TWinControl::CollectTabChain(std::vector<QWidget*>& Chain) const {
  for (TWinControl* c : FTabList) {
    if (c->Widget()->focusPolicy() & Qt::TabFocus) Chain.push_back(c->Widget());
    c->CollectTabChain(Chain);
  }
}

TWinControl* TWinControl::FirstInTabOrder() const {
  for (TWinControl* c : FTabList) {
    if (TWinControl* inner = c->FirstInTabOrder()) return inner;
    if (c->FTabStop && c->CanFocus()) return c;
  }
  return nullptr;
}

bool TWinControl::CanFocus() const {
  const TControl* c = this;
  for (; c && !dynamic_cast<const TForm*>(c); c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  if (!c) return false;
  if (c == this) return true;
  // Hidden by its container too (a page that is not the active one).
  return Widget()->focusPolicy() != Qt::NoFocus && Widget()->isVisibleTo(c->Widget());
}

bool TWinControl::Focused() const { return Widget()->hasFocus(); }

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  TForm* f = GetParentForm();
  if (f && f != this)
    f->SetActiveControl(this);
  else
    Widget()->setFocus(Qt::OtherFocusReason);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::Resized() {
  const QRect r = Widget()->contentsRect();
  for (TControl* c : FControls)
    if (c->Align() == alClient) c->SetBounds(r.x(), r.y(), r.width(), r.height());
}
