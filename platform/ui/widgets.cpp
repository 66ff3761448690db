#include "widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>

#include "forms.h"
#include "uiqt.h"

namespace {

bool Printable(char32_t c) { return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0); }

// Ctrl and Ctrl+Shift combinations are the line edit's shortcuts (cut, copy, select all, undo),
// never typed characters, whatever text the platform attaches to them; AltGr (Ctrl+Alt) types.
bool IsShortcut(const QKeyEvent* e) {
  const Qt::KeyboardModifiers m = e->modifiers() & ~Qt::KeypadModifier;
  return m == Qt::ControlModifier || m == (Qt::ControlModifier | Qt::ShiftModifier);
}

// Characters before the UTF-16 position Pos of S.
int CharsBefore(const QString& S, int Pos) { return int(S.left(Pos).toUcs4().size()); }
// UTF-16 position of the character position Chars of S.
int QtPos(const QString& S, int Chars) {
  int pos = 0;
  for (int n = 0; n < Chars && pos < S.size(); ++n) pos += (S.at(pos).isHighSurrogate() && pos + 1 < S.size()) ? 2 : 1;
  return pos;
}

// The line edit of an edit control: printable keys go through the control's key filter; with
// FilterPaste, pasted text goes through it too, character by character.
class TEditWidget : public QLineEdit {
public:
  TCustomEdit* Edit = nullptr;
  bool FilterPaste = false;

protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (!Edit || !Edit->Hooked()) return QLineEdit::keyPressEvent(e);
    if (FilterPaste && e->matches(QKeySequence::Paste)) {
      if (!isReadOnly()) Paste(QApplication::clipboard()->text());
      e->accept();
      return;
    }
    const QList<uint> typed = e->text().toUcs4();
    if (typed.isEmpty() || !std::all_of(typed.begin(), typed.end(), [](uint c) { return Printable(c); }) ||
        isReadOnly() || IsShortcut(e))
      return QLineEdit::keyPressEvent(e);
    if (typed.size() == 1) {
      char32_t k = 0;
      UiDispatch(Edit, [&] { k = Edit->FilterKey(typed[0]); });
      if (k == typed[0])
        QLineEdit::keyPressEvent(e);
      else if (k != 0 && Edit->Hooked())
        insert(QString::fromUcs4(&k, 1));
    } else {
      Paste(e->text());
    }
    e->accept();
  }
  void contextMenuEvent(QContextMenuEvent* e) override {
    if (!FilterPaste) return QLineEdit::contextMenuEvent(e);
    QMenu* menu = createStandardContextMenu();
    for (QAction* a : menu->actions())
      if (a->objectName() == QLatin1String("edit-paste")) {
        a->disconnect();
        connect(a, &QAction::triggered, this, [this] { Paste(QApplication::clipboard()->text()); });
      }
    menu->exec(e->globalPos());
    delete menu;
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (FilterPaste && e->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
      if (!isReadOnly()) Paste(QApplication::clipboard()->text(QClipboard::Selection));
      e->accept();
      return;
    }
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && Edit && Edit->Hooked())
      UiDispatch(Edit, [this] {
        if (Edit->OnClick) Edit->OnClick(Edit);
      });
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    QLineEdit::mouseDoubleClickEvent(e);
    if (Edit && Edit->Hooked())
      UiDispatch(Edit, [this] {
        if (Edit->OnDblClick) Edit->OnDblClick(Edit);
      });
  }

private:
  void Paste(const QString& text) {
    if (Edit && Edit->Hooked()) UiDispatch(Edit, [&] { Edit->PasteText(StdStr(text)); });
  }
};

class TBevelWidget : public QWidget {
public:
  TBevel* Bevel = nullptr;

protected:
  void paintEvent(QPaintEvent*) override {
    if (!Bevel) return;
    QPainter p(this);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const QColor first = Bevel->Style() == bsLowered ? shadow : light;
    const QColor second = Bevel->Style() == bsLowered ? light : shadow;
    const int w = width(), h = height();
    auto hline = [&](int y, const QColor& c) { p.setPen(c); p.drawLine(0, y, w - 1, y); };
    auto vline = [&](int x, const QColor& c) { p.setPen(c); p.drawLine(x, 0, x, h - 1); };
    switch (Bevel->Shape()) {
      case bsBox:
        hline(0, first), vline(0, first), hline(h - 1, second), vline(w - 1, second);
        break;
      case bsFrame:
        p.setPen(first), p.drawRect(0, 0, w - 2, h - 2);
        p.setPen(second), p.drawRect(1, 1, w - 2, h - 2);
        break;
      case bsTopLine: hline(0, first), hline(1, second); break;
      case bsBottomLine: hline(h - 2, first), hline(h - 1, second); break;
      case bsLeftLine: vline(0, first), vline(1, second); break;
      case bsRightLine: vline(w - 2, first), vline(w - 1, second); break;
      case bsSpacer: break;
    }
  }
};

class TGaugeWidget : public QWidget {
public:
  TGauge* Gauge = nullptr;

protected:
  void paintEvent(QPaintEvent*) override {
    if (!Gauge) return;
    QPainter p(this);
    const QRect all = rect();
    const QRect inner = all.adjusted(1, 1, -1, -1);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(all.adjusted(0, 0, -1, -1));
    const int filled = inner.width() * Gauge->PercentDone() / 100;
    const QRect done(inner.left(), inner.top(), filled, inner.height());
    const QRect rest(inner.left() + filled, inner.top(), inner.width() - filled, inner.height());
    p.fillRect(rest, Qt::white);
    p.fillRect(done, Qt::black);
    if (!Gauge->ShowText()) return;
    const QString text = QString::number(Gauge->PercentDone()) + QLatin1Char('%');
    p.setClipRect(rest);
    p.setPen(Qt::black);
    p.drawText(inner, Qt::AlignCenter, text);
    p.setClipRect(done);
    p.setPen(Qt::white);
    p.drawText(inner, Qt::AlignCenter, text);
  }
};

Qt::Alignment QtHorizontal(TAlignment a) {
  switch (a) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

}  // namespace

// --- TCustomEdit ---------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<TEditWidget>(), true) {
  auto* w = static_cast<TEditWidget*>(Widget());
  w->Edit = this;
  SetBounds(0, 0, 121, 21);
  QObject::connect(w, &QLineEdit::textChanged, w, [this] {
    if (Hooked()) UiDispatch(this, [this] {
        if (OnChange) OnChange(this);
      });
  });
}

QLineEdit* TCustomEdit::LineEdit() const { return static_cast<QLineEdit*>(Widget()); }

std::string TCustomEdit::Text() const { return StdStr(LineEdit()->text()); }
void TCustomEdit::SetText(const std::string& Value) { LineEdit()->setText(QStr(Value)); }
bool TCustomEdit::ReadOnly() const { return LineEdit()->isReadOnly(); }
void TCustomEdit::SetReadOnly(bool Value) { LineEdit()->setReadOnly(Value); }

void TCustomEdit::SetMaxLength(int Value) {
  FMaxLength = std::max(0, Value);
  LineEdit()->setMaxLength(FMaxLength ? FMaxLength : 32767);
}

void TCustomEdit::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  LineEdit()->setAlignment(QtHorizontal(Value) | Qt::AlignVCenter);
}

void TCustomEdit::SelectAll() { LineEdit()->selectAll(); }

int TCustomEdit::SelStart() const {
  QLineEdit* e = LineEdit();
  const int pos = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
  return CharsBefore(e->text(), pos);
}

int TCustomEdit::SelLength() const {
  QLineEdit* e = LineEdit();
  if (!e->hasSelectedText()) return 0;
  return CharsBefore(e->text(), e->selectionEnd()) - CharsBefore(e->text(), e->selectionStart());
}

void TCustomEdit::SetSelStart(int Value) {
  QLineEdit* e = LineEdit();
  e->setCursorPosition(QtPos(e->text(), std::max(0, Value)));
}

void TCustomEdit::SetSelLength(int Value) {
  QLineEdit* e = LineEdit();
  const int start = SelStart();
  const QString t = e->text();
  const int a = QtPos(t, start), b = QtPos(t, start + std::max(0, Value));
  e->setSelection(a, b - a);
}

void TCustomEdit::DoEnter() {
  if (FAutoSelect) SelectAll();
  TWinControl::DoEnter();
}

void TCustomEdit::KeyPress(char32_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

char32_t TCustomEdit::FilterKey(char32_t Key) {
  KeyPress(Key);
  return Key;
}

void TCustomEdit::PasteText(const std::string& Text) {
  const std::u32string chars = QStr(Text).toStdU32String();
  for (char32_t c : chars) {
    if (!Printable(c)) continue;
    const char32_t k = FilterKey(c);
    if (k != 0 && Hooked()) LineEdit()->insert(QString::fromUcs4(&k, 1));
  }
}

void TCustomEdit::SetFilterPaste(bool Value) {
  auto* w = static_cast<TEditWidget*>(Widget());
  w->FilterPaste = Value;
  w->setAcceptDrops(!Value);
  w->setAttribute(Qt::WA_InputMethodEnabled, !Value);
}

// --- TMemo ---------------------------------------------------------------------------------

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<QPlainTextEdit>(), true) {
  TextEdit()->setTabChangesFocus(true);
  SetBounds(0, 0, 185, 89);
  QObject::connect(TextEdit(), &QPlainTextEdit::textChanged, TextEdit(), [this] {
    if (Hooked()) UiDispatch(this, [this] {
        if (OnChange) OnChange(this);
      });
  });
}

QPlainTextEdit* TMemo::TextEdit() const { return static_cast<QPlainTextEdit*>(Widget()); }
std::string TMemo::Text() const { return StdStr(TextEdit()->toPlainText()); }
void TMemo::SetText(const std::string& Value) { TextEdit()->setPlainText(QStr(Value)); }
bool TMemo::ReadOnly() const { return TextEdit()->isReadOnly(); }
void TMemo::SetReadOnly(bool Value) { TextEdit()->setReadOnly(Value); }
void TMemo::SetWordWrap(bool Value) {
  FWordWrap = Value;
  TextEdit()->setLineWrapMode(Value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

// --- TLabel --------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, UiNewWidget<QLabel>()) {
  auto* l = static_cast<QLabel*>(Widget());
  l->setTextFormat(Qt::PlainText);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  TControl::SetBounds(0, 0, 65, 13);
  AdjustBounds();
}

void TLabel::SetCaption(const std::string& Value) {
  FCaption = Value;
  static_cast<QLabel*>(Widget())->setText(QStr(Value));
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  static_cast<QLabel*>(Widget())->setAlignment(QtHorizontal(Value) | Qt::AlignTop);
  AdjustBounds();
}

void TLabel::SetWordWrap(bool Value) {
  FWordWrap = Value;
  static_cast<QLabel*>(Widget())->setWordWrap(Value);
  AdjustBounds();
}

void TLabel::SetAutoSize(bool Value) {
  FAutoSize = Value;
  AdjustBounds();
}

void TLabel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  AdjustBounds();
}

void TLabel::FontChanged() { AdjustBounds(); }

void TLabel::AdjustBounds() {
  // An empty caption keeps the placed bounds, so that the edge the alignment keeps survives
  // until the caption comes.
  if (!FAutoSize || FAdjusting || FCaption.empty()) return;
  FAdjusting = true;
  const QFontMetrics fm(Widget()->font());
  const QString text = QStr(FCaption);
  int w = Width(), h;
  if (FWordWrap) {
    h = fm.boundingRect(QRect(0, 0, std::max(1, w), 100000), Qt::TextWordWrap | Qt::AlignLeft, text).height();
  } else {
    w = std::max(fm.horizontalAdvance(text), 1);
    h = fm.height();
  }
  h = std::max(h, fm.height());
  const int left = FAlignment == taRightJustify ? Left() + Width() - w : Left();
  TControl::SetBounds(left, Top(), w, h);
  FAdjusting = false;
}

// --- TButton -------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<QPushButton>(), true) {
  auto* b = static_cast<QPushButton*>(Widget());
  b->setAutoDefault(false);
  SetBounds(0, 0, 75, 25);
  QObject::connect(b, &QPushButton::clicked, b, [this] {
    if (Hooked()) UiDispatch(this, [this] { Click(); });
  });
}

void TButton::SetCaption(const std::string& Value) {
  FCaption = Value;
  static_cast<QPushButton*>(Widget())->setText(QStr(Value));
}

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  static_cast<QPushButton*>(Widget())->setDefault(Value);
}

void TButton::Click() {
  if (FModalResult != mrNone)
    if (TForm* f = GetParentForm()) f->SetModalResult(FModalResult);
  if (OnClick) OnClick(this);
}

// --- TBevel --------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TControl(AOwner, UiNewWidget<TBevelWidget>()) {
  static_cast<TBevelWidget*>(Widget())->Bevel = this;
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape Value) {
  FShape = Value;
  Widget()->update();
}

void TBevel::SetStyle(TBevelStyle Value) {
  FStyle = Value;
  Widget()->update();
}

// --- TImage --------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TControl(AOwner, UiNewWidget<QLabel>()) {
  static_cast<QLabel*>(Widget())->setAlignment(Qt::AlignCenter);
  SetBounds(0, 0, 105, 105);
}

void TImage::SetStandardIcon(TMsgDlgType IconType) {
  QStyle::StandardPixmap sp;
  switch (IconType) {
    case mtWarning: sp = QStyle::SP_MessageBoxWarning; break;
    case mtError: sp = QStyle::SP_MessageBoxCritical; break;
    case mtInformation: sp = QStyle::SP_MessageBoxInformation; break;
    case mtConfirmation: sp = QStyle::SP_MessageBoxQuestion; break;
    default:
      static_cast<QLabel*>(Widget())->clear();
      FEmpty = true;
      return;
  }
  const int size = std::min(Width(), Height());
  const QPixmap pm = Widget()->style()->standardIcon(sp).pixmap(size > 0 ? size : 32);
  static_cast<QLabel*>(Widget())->setPixmap(pm);
  FEmpty = pm.isNull();
}

// --- TGauge --------------------------------------------------------------------------------

TGauge::TGauge(TComponent* AOwner) : TControl(AOwner, UiNewWidget<TGaugeWidget>()) {
  static_cast<TGaugeWidget*>(Widget())->Gauge = this;
  SetBounds(0, 0, 100, 100);
}

void TGauge::SetProgress(int Value) {
  FProgress = std::clamp(Value, FMinValue, std::max(FMinValue, FMaxValue));
  Repaint();
}

void TGauge::SetMinValue(int Value) {
  FMinValue = Value;
  if (FMaxValue < FMinValue) FMaxValue = FMinValue;
  SetProgress(FProgress);
}

void TGauge::SetMaxValue(int Value) {
  FMaxValue = Value;
  if (FMinValue > FMaxValue) FMinValue = FMaxValue;
  SetProgress(FProgress);
}

int TGauge::PercentDone() const {
  const long long range = (long long)FMaxValue - FMinValue;
  if (range <= 0) return 0;
  return int(((long long)FProgress - FMinValue) * 100 / range);
}

void TGauge::SetShowText(bool Value) {
  FShowText = Value;
  Repaint();
}

// --- TTabSheet / TPageControl --------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<QWidget>(), false) {}

TTabSheet::~TTabSheet() {
  Unhook();
  if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::SetCaption(const std::string& Value) {
  FCaption = Value;
  if (FPageControl) {
    auto* tabs = static_cast<QTabWidget*>(FPageControl->Widget());
    tabs->setTabText(tabs->indexOf(Widget()), QStr(Value));
  }
}

void TTabSheet::SetPageControl(TPageControl* Value) { SetParent(Value); }

void TTabSheet::PlaceWidget(TWinControl* OldParent) {
  if (FPageControl) FPageControl->RemovePage(this);
  if (auto* pc = dynamic_cast<TPageControl*>(Parent())) {
    pc->InsertPage(this);
  } else {
    TWinControl::PlaceWidget(OldParent);
  }
}

void TTabSheet::ApplyVisible() {
  if (!FPageControl) TWinControl::ApplyVisible();
}

int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  const auto& pages = FPageControl->FPages;
  return int(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<QTabWidget>(), true) {
  auto* tabs = static_cast<QTabWidget*>(Widget());
  SetBounds(0, 0, 289, 193);
  QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [this](int) {
    if (Hooked() && !FUpdating) UiDispatch(this, [this] {
        if (OnChange) OnChange(this);
      });
  });
}

TPageControl::~TPageControl() {
  Unhook();
  for (TTabSheet* p : FPages) p->FPageControl = nullptr;
  FPages.clear();
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FUpdating = true;
  FPages.push_back(Page);
  Page->FPageControl = this;
  static_cast<QTabWidget*>(Widget())->addTab(Page->Widget(), QStr(Page->Caption()));
  FUpdating = false;
}

void TPageControl::RemovePage(TTabSheet* Page) {
  FUpdating = true;
  auto* tabs = static_cast<QTabWidget*>(Widget());
  const int i = tabs->indexOf(Page->Widget());
  if (i >= 0) tabs->removeTab(i);
  Page->Widget()->setParent(nullptr);
  std::erase(FPages, Page);
  Page->FPageControl = nullptr;
  FUpdating = false;
}

TTabSheet* TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FPages[size_t(Index)];
}

TTabSheet* TPageControl::ActivePage() const {
  QWidget* w = static_cast<QTabWidget*>(Widget())->currentWidget();
  for (TTabSheet* p : FPages)
    if (p->Widget() == w) return p;
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Value) {
  if (Value && Value->FPageControl != this) return;
  FUpdating = true;
  if (Value) static_cast<QTabWidget*>(Widget())->setCurrentWidget(Value->Widget());
  FUpdating = false;
}

int TPageControl::ActivePageIndex() const {
  TTabSheet* p = ActivePage();
  return p ? p->PageIndex() : -1;
}

void TPageControl::SetActivePageIndex(int Value) {
  if (Value >= 0 && Value < PageCount()) SetActivePage(FPages[size_t(Value)]);
}
