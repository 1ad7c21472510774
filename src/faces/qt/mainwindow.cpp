#include "mainwindow.h"

#include "application.h"
#include "keys.h"
#include "portdialog.h"
#include "text.h"
#include "window/windowdefs.h"
#include "windowfont.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace quorlink::qtface {

namespace {

QKeySequence keySequence(window::Shortcut shortcut)
{
    switch (shortcut) {
    case window::Shortcut::CtrlO:
        return QKeySequence(Qt::CTRL | Qt::Key_O);
    case window::Shortcut::CtrlS:
        return QKeySequence(Qt::CTRL | Qt::Key_S);
    case window::Shortcut::CtrlX:
        return QKeySequence(Qt::CTRL | Qt::Key_X);
    case window::Shortcut::F6:
        return QKeySequence(Qt::Key_F6);
    case window::Shortcut::F9:
        return QKeySequence(Qt::Key_F9);
    case window::Shortcut::None:
        break;
    }
    return QKeySequence();
}

// An application event filter that hands every LayoutRequest to `hold`.
class LayoutRequestFilter : public QObject
{
public:
    explicit LayoutRequestFilter(std::function<bool(QObject*)> hold) : m_hold(std::move(hold)) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return event->type() == QEvent::LayoutRequest && m_hold(watched);
    }

private:
    std::function<bool(QObject*)> m_hold;
};

// The status bar with its panels side by side from its left edge, without
// gaps, each as wide as the window's table says; the last takes the rest of
// the bar up to the size grip.  QStatusBar's own layout would put 2 pixels
// before the first panel and 6 between panels.
class PanelStatusBar : public QStatusBar
{
public:
    explicit PanelStatusBar(QWidget* parent) : QStatusBar(parent)
    {
        // The grip hides when the window is maximised; the last panel then
        // reaches the right edge.
        if (auto* grip = findChild<QSizeGrip*>())
            grip->installEventFilter(this);
    }

    void addPanel(QLabel* panel)
    {
        m_panels.push_back(panel);
        placePanels();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QStatusBar::resizeEvent(event);
        placePanels();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide ||
            event->type() == QEvent::Move)
            placePanels();
        return QStatusBar::eventFilter(watched, event);
    }

private:
    void placePanels()
    {
        const auto* grip = findChild<QSizeGrip*>();
        const int right = grip && grip->isVisible() ? grip->x() : width();
        // As QStatusBar places its items: 3 pixels from the top, 2 from the
        // bottom.
        const int top = 3;
        const int height = std::max(this->height() - 5, 0);
        int left = 0;
        for (std::size_t i = 0; i < m_panels.size(); ++i) {
            const int width = window::StatusBarPanels[i].width > 0
                                  ? window::StatusBarPanels[i].width
                                  : std::max(right - left, 0);
            m_panels[i]->setGeometry(left, top, width, height);
            left += width;
        }
    }

    std::vector<QLabel*> m_panels;
};

} // namespace

MainWindow::MainWindow(std::unique_ptr<settings::SettingsStore> store, QWidget* parent)
    : QMainWindow(parent), m_frameTimer([this] { m_form->frames().timerExpired(); })
{
    buildWindow();
    SetCom = new PortDialog(this);
    m_form = std::make_unique<window::TForm1>(*this, *Memo1, *Memo2, *this, SetCom->core(),
                                              std::move(store), applicationTitle());
    Memo1->setPacing(&m_form->frames());
    Memo2->setPacing(&m_form->frames());
    m_layoutFilter = std::make_unique<LayoutRequestFilter>(
        [this](QObject* widget) { return holdLayout(widget); });
    QCoreApplication::instance()->installEventFilter(m_layoutFilter.get());
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] { m_form->Memo1Change(); });
    m_form->FormCreate();
}

MainWindow::~MainWindow()
{
    QCoreApplication::instance()->removeEventFilter(m_layoutFilter.get());
}

void MainWindow::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toQString(window::DefaultCaption));
    setFont(windowFont());

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    auto addPage = [this](std::u16string_view caption, const QString& name) {
        auto* page = new QWidget(TabbedNotebook1);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new MemoPane(page);
        pane->setObjectName(name);
        pane->installEventFilter(this);
        layout->addWidget(pane);
        TabbedNotebook1->addTab(page, toQString(caption));
        return pane;
    };
    Memo1 = addPage(window::SourcePageCaption, QStringLiteral("Memo1"));
    Memo2 = addPage(window::ReceivedPageCaption, QStringLiteral("Memo2"));
    TabbedNotebook1->setCurrentIndex(0);
    // A click on a tab takes the focus, as on a tab control of the system;
    // the keys there are TForm1's first.
    TabbedNotebook1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    TabbedNotebook1->tabBar()->installEventFilter(this);
    setCentralWidget(TabbedNotebook1);

    auto* statusBar = new PanelStatusBar(this);
    StatusBar1 = statusBar;
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(window::StatusBarHeight);
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(window::StatusBarPanels[i].centred ? Qt::AlignCenter
                                                               : Qt::AlignLeft | Qt::AlignVCenter);
        statusBar->addPanel(panel);
        m_panels[i] = panel;
    }
    setStatusBar(StatusBar1);

    buildMenu();

    // The client area is what is laid out; the menu bar comes on top of it.
    resize(window::ClientWidth, window::ClientHeight + menuBar()->sizeHint().height());
}

void MainWindow::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const window::TopMenu& topMenu : window::MainMenu1) {
        QMenu* menu = bar->addMenu(toQString(topMenu.caption));
        const QString menuName =
            QString::fromLatin1(topMenu.name.data(), static_cast<qsizetype>(topMenu.name.size()));
        menu->setObjectName(menuName);
        menu->menuAction()->setObjectName(menuName);
        for (const window::MenuEntry& entry : topMenu.entries) {
            QAction* action =
                entry.separator ? menu->addSeparator() : menu->addAction(toQString(entry.caption));
            action->setObjectName(
                QString::fromLatin1(entry.name.data(), static_cast<qsizetype>(entry.name.size())));
            if (entry.separator)
                continue;
            action->setShortcut(keySequence(entry.shortcut));
            action->setShortcutContext(Qt::WindowShortcut);
            if (entry.item == window::MenuItem::SendEndOfFile)
                action->setCheckable(true);
            const window::MenuItem item = entry.item;
            connect(action, &QAction::triggered, this, [this, item] { m_form->Click(item); });
            m_actions[item] = action;
        }
    }
}

bool MainWindow::keyPress(window::WindowControl control, const QKeyEvent& event)
{
    if (const std::optional<window::Key> key = keyOf(event);
        key && m_form->KeyDown(control, *key, modifiersOf(event)))
        return true;
    const std::optional<char16_t> typed = typedCharacter(event);
    if (!typed)
        return false;
    char16_t key = *typed;
    m_form->KeyPress(control, key);
    return key == 0;
}

// ---- WindowFace

void MainWindow::showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                                std::u16string_view text)
{
    m_boxes.showMessageBox(icon, caption, text);
}

std::optional<std::filesystem::path> MainWindow::askSourceFileName()
{
    const std::optional<QString> fileName = dialogs().openFileName(this);
    if (!fileName)
        return std::nullopt;
    return toPath(*fileName);
}

std::optional<std::filesystem::path> MainWindow::askResultFileName()
{
    const std::optional<QString> fileName = dialogs().saveFileName(this);
    if (!fileName)
        return std::nullopt;
    return toPath(*fileName);
}

void MainWindow::setCaption(std::u16string_view caption)
{
    // "[*]" would be taken for the window-modified mark and dropped; doubled
    // it shows as itself.
    setWindowTitle(toQString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void MainWindow::setMenuItemEnabled(window::MenuItem item, bool enabled)
{
    m_actions.at(item)->setEnabled(enabled);
}

void MainWindow::setMenuItemChecked(window::MenuItem item, bool checked)
{
    m_actions.at(item)->setChecked(checked);
}

void MainWindow::processMessages()
{
    QCoreApplication::processEvents();
}

void MainWindow::showPendingChanges()
{
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        if (m_panelTextsHeld[i])
            m_panels[i]->setText(*std::exchange(m_panelTextsHeld[i], std::nullopt));
    }
    // The panes' views first: they mark what their appends changed.
    Memo1->updateView();
    Memo2->updateView();
    // A held request stays the widgets' only pending one (they post no
    // other until it is handled), so it must be sent again.
    for (const QPointer<QObject>& widget : m_layoutHeld) {
        if (widget)
            QCoreApplication::postEvent(widget, new QEvent(QEvent::LayoutRequest));
    }
    m_layoutHeld.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QEvent paint(QEvent::UpdateRequest);
    event(&paint);
}

void MainWindow::closeWindow()
{
    m_closing = true;
    close();
}

void MainWindow::setFocus(window::WindowControl control)
{
    switch (control) {
    case window::WindowControl::Form1:
        return QMainWindow::setFocus();
    case window::WindowControl::TabbedNotebook1:
        return TabbedNotebook1->tabBar()->setFocus();
    case window::WindowControl::Memo1:
        return Memo1->setFocus();
    case window::WindowControl::Memo2:
        return Memo2->setFocus();
    }
}

int MainWindow::shownPage() const
{
    return TabbedNotebook1->currentIndex();
}

void MainWindow::showPage(int page)
{
    TabbedNotebook1->setCurrentIndex(page);
}

window::WindowControl MainWindow::focusedControl() const
{
    const QWidget* focus = QApplication::focusWidget();
    if (focus == Memo1)
        return window::WindowControl::Memo1;
    if (focus == Memo2)
        return window::WindowControl::Memo2;
    if (focus == TabbedNotebook1->tabBar() || focus == TabbedNotebook1)
        return window::WindowControl::TabbedNotebook1;
    return window::WindowControl::Form1;
}

double MainWindow::refreshRate() const
{
    const QScreen* display = screen();
    return display ? display->refreshRate() : 0.0;
}

// ---- StatusPanels

void MainWindow::setPanelText(int index, std::u16string_view text)
{
    if (index < 0 || index >= static_cast<int>(m_panels.size()))
        return;
    const auto i = static_cast<std::size_t>(index);
    if (m_form && m_form->frames().holding()) {
        m_panelTextsHeld[i] = toQString(text);
        m_form->frames().changeHeld();
        return;
    }
    m_panelTextsHeld[i].reset();
    m_panels[i]->setText(toQString(text));
}

std::u16string MainWindow::panelText(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_panels.size()))
        return {};
    const auto i = static_cast<std::size_t>(index);
    return m_panelTextsHeld[i].value_or(m_panels[i]->text()).toStdU16String();
}

// ---- events

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing || m_form->CloseQuery()) {
        m_closing = true;
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The keys the focused control leaves come up here as well: the panes'
    // and the tabs' were reported on their way in (eventFilter).
    const QWidget* focus = QApplication::focusWidget();
    if ((focus == nullptr || focus == this) && keyPress(window::WindowControl::Form1, *event))
        return;
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::focusNextPrevChild(bool next)
{
    if (m_form && m_form->KeyDown(focusedControl(), window::Key::Tab, {!next, false, false}))
        return true;
    return QMainWindow::focusNextPrevChild(next);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabbedNotebook1->tabBar() && event->type() == QEvent::KeyPress &&
        keyPress(window::WindowControl::TabbedNotebook1, *static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == Memo1 || watched == Memo2) {
        if (event->type() == QEvent::ShortcutOverride) {
            // The editor claims Ctrl+X and others for itself; the menu's
            // shortcuts act first, so the editor must not override them.
            auto* key = static_cast<QKeyEvent*>(event);
            const QKeySequence pressed(key->keyCombination());
            for (const auto& [item, action] : m_actions) {
                if (action->isEnabled() && !action->shortcut().isEmpty() &&
                    action->shortcut() == pressed) {
                    event->ignore();
                    return true;
                }
            }
        } else if (event->type() == QEvent::KeyPress) {
            const auto control =
                watched == Memo1 ? window::WindowControl::Memo1 : window::WindowControl::Memo2;
            if (keyPress(control, *static_cast<QKeyEvent*>(event)))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest && m_form && m_form->frames().holding()) {
        m_form->frames().changeHeld();
        return true;
    }
    return QMainWindow::event(event);
}

bool MainWindow::holdLayout(QObject* widget)
{
    // Relayouts of this window (the status bar's, after each panel text).
    if (!m_form || !m_form->frames().holding() || !widget->isWidgetType() ||
        static_cast<QWidget*>(widget)->window() != this)
        return false;
    if (std::find(m_layoutHeld.begin(), m_layoutHeld.end(), widget) == m_layoutHeld.end())
        m_layoutHeld.emplace_back(widget);
    m_form->frames().changeHeld();
    return true;
}

} // namespace quorlink::qtface
