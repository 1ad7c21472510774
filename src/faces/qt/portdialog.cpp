#include "portdialog.h"

#include "keys.h"
#include "text.h"
#include "windowfont.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace quorlink::qtface {

namespace {

// A group box that can hold the focus itself (the buttons' arrow keys move
// it there) instead of passing it on to its first control.
class FocusableGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void focusInEvent(QFocusEvent* event) override { QWidget::focusInEvent(event); }
};

QRect toQRect(const window::Rect& rect)
{
    return QRect(rect.left, rect.top, rect.width, rect.height);
}

QString nameOf(const window::DialogComponent& component)
{
    return QString::fromLatin1(component.name.data(),
                               static_cast<qsizetype>(component.name.size()));
}

} // namespace

PortDialog::PortDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_timer([this] { m_core->EditTimeOut.TimerExpired(); })
{
    setObjectName(QStringLiteral("SetCom"));
    setWindowTitle(toQString(window::SetComCaption));
    setFont(windowFont());
    setFixedSize(window::SetComClientWidth, window::SetComClientHeight);
    setSizeGripEnabled(false);

    for (const window::DialogComponent& component : window::SetComComponents) {
        QWidget* parent = component.inGroupBox ? static_cast<QWidget*>(GroupBox1) : this;
        QWidget* widget = nullptr;
        QRect bounds = toQRect(component.bounds);
        switch (component.kind) {
        case window::ComponentKind::GroupBox:
            widget = GroupBox1 = new FocusableGroupBox(toQString(component.text), parent);
            GroupBox1->setFocusPolicy(Qt::NoFocus);
            break;
        case window::ComponentKind::Label: {
            auto* label = new QLabel(toQString(component.text), parent);
            // Wider than laid out only when the font needs it.
            bounds.setWidth(std::max(bounds.width(), label->sizeHint().width()));
            (Label1 ? (Label2 ? Label3 : Label2) : Label1) = label;
            widget = label;
            break;
        }
        case window::ComponentKind::ComboBox: {
            const bool ports = ComboBoxCom == nullptr;
            auto* box = new ComboBoxWidget(ports ? window::DialogControl::ComboBoxCom
                                                 : window::DialogControl::ComboBoxBaud,
                                           parent);
            (ports ? ComboBoxCom : ComboBoxBaud) = box;
            widget = box;
            break;
        }
        case window::ComponentKind::SpinEdit:
            widget = EditTimeOut = new SpinEditWidget(parent);
            break;
        case window::ComponentKind::Button: {
            auto* button = new QPushButton(toQString(component.text), this);
            (Button1 ? Button2 : Button1) = button;
            widget = button;
            break;
        }
        }
        widget->setObjectName(nameOf(component));
        widget->setGeometry(bounds);
    }
    // Which button is the default is TSetCom's to say as the focus moves,
    // not the buttons' own.
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    Button2->setDefault(true);

    m_core = std::make_unique<window::TSetCom>(*this, *EditTimeOut, m_clock, m_timer);
    const auto keyDownFrom = [this](window::DialogControl control) {
        return [this, control](window::Key key, window::Modifiers modifiers) {
            return m_core->KeyDown(control, key, modifiers);
        };
    };
    const auto keyPressFrom = [this](window::DialogControl control) {
        return [this, control](char16_t& key) { return m_core->KeyPress(control, key); };
    };
    ComboBoxCom->attach(&m_core->ComboBoxCom, keyDownFrom(window::DialogControl::ComboBoxCom),
                        keyPressFrom(window::DialogControl::ComboBoxCom));
    ComboBoxBaud->attach(&m_core->ComboBoxBaud, keyDownFrom(window::DialogControl::ComboBoxBaud),
                         keyPressFrom(window::DialogControl::ComboBoxBaud));
    EditTimeOut->attach(&m_core->EditTimeOut, keyDownFrom(window::DialogControl::EditTimeOut));

    Button1->installEventFilter(this);
    Button2->installEventFilter(this);
    GroupBox1->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == this)
            m_core->FocusChanged(focusedControl());
    });
    connect(Button1, &QPushButton::clicked, this,
            [this] { m_core->ButtonClick(window::DialogControl::Button1); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { m_core->ButtonClick(window::DialogControl::Button2); });
}

PortDialog::~PortDialog() = default;

QWidget* PortDialog::widgetOf(window::DialogControl control) const
{
    switch (control) {
    case window::DialogControl::GroupBox1:
        return GroupBox1;
    case window::DialogControl::ComboBoxCom:
        return ComboBoxCom;
    case window::DialogControl::ComboBoxBaud:
        return ComboBoxBaud;
    case window::DialogControl::EditTimeOut:
        return EditTimeOut;
    case window::DialogControl::Button1:
        return Button1;
    case window::DialogControl::Button2:
        break;
    }
    return Button2;
}

std::optional<window::DialogControl> PortDialog::focusedControl() const
{
    const QWidget* focus = focusWidget();
    for (const window::DialogControl control :
         {window::DialogControl::GroupBox1, window::DialogControl::ComboBoxCom,
          window::DialogControl::ComboBoxBaud, window::DialogControl::EditTimeOut,
          window::DialogControl::Button1, window::DialogControl::Button2}) {
        const QWidget* widget = widgetOf(control);
        // The list's line edit has the focus for the list.
        if (focus && (focus == widget ||
                      (control != window::DialogControl::GroupBox1 && widget->isAncestorOf(focus))))
            return control;
    }
    return std::nullopt;
}

void PortDialog::setFocus(window::DialogControl control, bool forward)
{
    // Before the dialog is shown, the focus it will have when it is.
    const Qt::FocusReason reason = !isVisible() ? Qt::ActiveWindowFocusReason
                                   : forward    ? Qt::TabFocusReason
                                                : Qt::BacktabFocusReason;
    widgetOf(control)->setFocus(reason);
}

void PortDialog::showDefaultButton(window::DialogControl button)
{
    Button1->setDefault(button == window::DialogControl::Button1);
    Button2->setDefault(button == window::DialogControl::Button2);
}

window::Point PortDialog::position() const
{
    return {pos().x(), pos().y()};
}

void PortDialog::move(window::Point topLeft)
{
    QDialog::move(topLeft.x, topLeft.y);
}

window::Point PortDialog::frameSize() const
{
    return {width(), height()};
}

window::Rect PortDialog::desktopArea() const
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* display = owner ? owner->screen() : screen();
    const QRect area = display ? display->availableVirtualGeometry() : QRect();
    return {area.x(), area.y(), area.width(), area.height()};
}

window::Rect PortDialog::ownerFrame() const
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return desktopArea();
    const QRect frame = owner->frameGeometry();
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

void PortDialog::setPortDescriptions(const std::vector<std::u16string>& descriptions)
{
    for (int i = 0; i < ComboBoxCom->count(); ++i) {
        const QString tip = static_cast<std::size_t>(i) < descriptions.size()
                                ? toQString(descriptions[static_cast<std::size_t>(i)])
                                : QString();
        ComboBoxCom->setItemData(i, tip.isEmpty() ? QVariant() : QVariant(tip), Qt::ToolTipRole);
    }
}

void PortDialog::accept()
{
    m_core->ButtonClick(window::DialogControl::Button2);
}

void PortDialog::reject()
{
    // The close box, Alt+F4, the window menu's close.
    m_core->CloseRequested();
}

void PortDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        char16_t key = window::EscChar;
        m_core->FormKeyPress(key);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool PortDialog::focusNextPrevChild(bool next)
{
    // Qt asks this for Tab and Shift+Tab, and when the focused control goes
    // away; the focus then moves as TSetCom says.
    const std::optional<window::DialogControl> focus = focusedControl();
    if (focus && m_core->KeyDown(*focus, window::Key::Tab, {!next, false, false}))
        return true;
    return QDialog::focusNextPrevChild(next);
}

bool PortDialog::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = static_cast<QWidget*>(watched);
    // Keys a control inside the group box leaves unhandled (Alt+Left in a
    // list) pass the group box on their way up: they are not its own.
    if (event->type() != QEvent::KeyPress || !widget->hasFocus())
        return QDialog::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const std::optional<window::Key> key = keyOf(*keyEvent);
    if (!key)
        return QDialog::eventFilter(watched, event);
    const window::DialogControl control = widget == GroupBox1 ? window::DialogControl::GroupBox1
                                          : widget == Button1 ? window::DialogControl::Button1
                                                              : window::DialogControl::Button2;
    if (m_core->KeyDown(control, *key, modifiersOf(*keyEvent)))
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace quorlink::qtface
