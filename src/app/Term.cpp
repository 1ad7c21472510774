#include "Term.h"

#include "UnitSetCom.h"
#include "application.h"
#include "dialogs.h"
#include "inputwait.h"
#include "serial/baudrates.h"
#include "transfer/textfile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <functional>

using namespace quorlink;

namespace {

QString fromU16(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::filesystem::path toPath(const QString& fileName)
{
#ifdef _WIN32
    return std::filesystem::path(fileName.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
#endif
}

// Tahoma 8 pt where the system has it, else the system's sans-serif at 8 pt.
QFont windowFont()
{
    QFont font = QFontDatabase::families().contains(QStringLiteral("Tahoma"))
                     ? QFont(QStringLiteral("Tahoma"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    return font;
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
// gaps: 50 pixels each for panels 0 to 2, the rest of the bar up to the size
// grip for panel 3.  QStatusBar's own layout would put 2 pixels before the
// first panel and 6 between panels.
class PanelStatusBar : public QStatusBar
{
public:
    explicit PanelStatusBar(QWidget* parent) : QStatusBar(parent)
    {
        // The grip hides when the window is maximised; panel 3 then reaches
        // the right edge.
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
    static constexpr int FixedPanelWidth = 50;

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
            const bool last = i + 1 == m_panels.size();
            const int width = last ? std::max(right - left, 0) : FixedPanelWidth;
            m_panels[i]->setGeometry(left, top, width, height);
            left += width;
        }
    }

    std::vector<QLabel*> m_panels;
};

} // namespace

TForm1::TForm1(std::unique_ptr<settings::SettingsStore> store, QWidget* parent)
    : QMainWindow(parent), m_store(std::move(store)), m_link(*this),
      m_codePage(transfer::CodePage::system())
{
    buildWindow();
    setPanelText(0, u"0");
    setPanelText(1, u"0");
    StopRequested = false;
    loadSettings();
    SetCom = new TSetCom(this);
    m_layoutFilter = std::make_unique<LayoutRequestFilter>(
        [this](QObject* widget) { return holdLayout(widget); });
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { releaseHeldFrame(); });
}

TForm1::~TForm1() = default;

void TForm1::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Terminal"));
    setFont(windowFont());

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    auto addPage = [this](const QString& caption, const QString& name) {
        auto* page = new QWidget(TabbedNotebook1);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new app::MemoPane(page);
        pane->setObjectName(name);
        pane->installEventFilter(this);
        layout->addWidget(pane);
        TabbedNotebook1->addTab(page, caption);
        return pane;
    };
    Memo1 = addPage(QStringLiteral("Zdrojová data"), QStringLiteral("Memo1"));
    Memo2 = addPage(QStringLiteral("Přijatá data"), QStringLiteral("Memo2"));
    TabbedNotebook1->setCurrentIndex(0);
    setCentralWidget(TabbedNotebook1);
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] { Memo1Change(); });

    auto* statusBar = new PanelStatusBar(this);
    StatusBar1 = statusBar;
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(24);
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(i < 3 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        statusBar->addPanel(panel);
        m_panels[i] = panel;
    }
    setStatusBar(StatusBar1);

    buildMenu();

    // Client area 635 x 216; the menu bar comes on top of it.
    resize(635, 216 + menuBar()->sizeHint().height());
    Memo1->setFocus();
}

void TForm1::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    auto addMenu = [bar](const QString& caption, const QString& name) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        return menu;
    };
    auto addItem = [this](QMenu* menu, const QString& caption, const QString& name,
                          const QKeySequence& shortcut, void (TForm1::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { app::runHandler([this, handler] { (this->*handler)(); }); });
        return action;
    };

    Soubor1 = addMenu(QStringLiteral("Soubor"), QStringLiteral("Soubor1"));
    Otevtzdroj1 = addItem(Soubor1, QStringLiteral("Otevřít zdroj"), QStringLiteral("Otevtzdroj1"),
                          QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::Otevtzdroj1Click);
    Uloitvsledek1 =
        addItem(Soubor1, QStringLiteral("Uložit výsledek"), QStringLiteral("Uloitvsledek1"),
                QKeySequence(Qt::CTRL | Qt::Key_S), &TForm1::Uloitvsledek1Click);
    N1 = Soubor1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Konec1 = addItem(Soubor1, QStringLiteral("Konec"), QStringLiteral("Konec1"),
                     QKeySequence(Qt::CTRL | Qt::Key_X), &TForm1::Konec1Click);

    Funkce1 = addMenu(QStringLiteral("Funkce"), QStringLiteral("Funkce1"));
    Odeslat1 = addItem(Funkce1, QStringLiteral("Odeslat"), QStringLiteral("Odeslat1"),
                       QKeySequence(Qt::Key_F6), &TForm1::Odeslat1Click);
    Odeslat1->setEnabled(false);
    ClearSource = addItem(Funkce1, QStringLiteral("Smazat zdrojová data"),
                          QStringLiteral("ClearSource"), QKeySequence(), &TForm1::ClearSourceClick);
    ClearReceived =
        addItem(Funkce1, QStringLiteral("Smazat přijatá data"), QStringLiteral("ClearReceived"),
                QKeySequence(), &TForm1::ClearReceivedClick);

    Nastaven1 = addMenu(QStringLiteral("Nastavení"), QStringLiteral("Nastaven1"));
    Port1 = addItem(Nastaven1, QStringLiteral("Port"), QStringLiteral("Port1"),
                    QKeySequence(Qt::Key_F9), &TForm1::Port1Click);
    // The checkable action inverts its own check mark when triggered, so
    // the click needs no handler of its own.
    SendEndOfFile = Nastaven1->addAction(QStringLiteral("Poslat znaky konce souboru [0,CR,LF]"));
    SendEndOfFile->setObjectName(QStringLiteral("SendEndOfFile"));
    SendEndOfFile->setCheckable(true);
    SendEndOfFile->setChecked(false);
}

void TForm1::loadSettings()
{
    const settings::StoredSettings stored = m_store->LoadSettings();
    if (stored.sendEndFile)
        SendEndOfFile->setChecked(*stored.sendEndFile);
    TimeOut = stored.port.TimeOut;
    BaudRateIndex = stored.port.BaudRateIndex;
    ComPortIndex = stored.port.ComPortIndex;
    for (const auto& [number, device] : stored.ports)
        m_link.portTable().setDevice(number, device);
    if (!stored.codePage.empty()) {
        // An unknown name keeps the system's code page.
        if (auto named = transfer::CodePage::named(stored.codePage))
            m_codePage = *named;
    }
    if (stored.portStored) {
        const bool opened =
            m_link.OpenPort(ComPortIndex, serial::baudRateAt(BaudRateIndex).value_or(0));
        m_link.ShowPortState(opened, ComPortIndex);
    }
}

// ---- handlers

void TForm1::Otevtzdroj1Click()
{
    const std::optional<QString> fileName = app::dialogs().openFileName(this);
    if (!fileName)
        return;
    const std::u16string text = transfer::loadSourceFile(toPath(*fileName), m_codePage);
    if (text != Memo1->text())
        Memo1->setText(text);
    Memo1Change();
    // "[*]" would be taken for the window-modified mark and dropped; doubled
    // it shows as itself.
    setWindowTitle(QDir::toNativeSeparators(QFileInfo(*fileName).absoluteFilePath())
                       .replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void TForm1::Uloitvsledek1Click()
{
    const std::optional<QString> fileName = app::dialogs().saveFileName(this);
    if (!fileName)
        return;
    transfer::saveResultFile(toPath(*fileName), Memo2->text(), m_codePage);
}

void TForm1::Konec1Click()
{
    m_link.ClosePort();
    close();
}

void TForm1::Odeslat1Click()
{
    if (!m_runs.running()) {
        const QScreen* display = screen();
        const qreal rate = display ? display->refreshRate() : 0.0;
        m_frameNs = static_cast<std::int64_t>(1e9 / (rate >= 1.0 ? rate : 60.0));
    }
    // Also when a handler inside the run throws: the held frame is still
    // shown once the outermost run is over, and a window closed during the
    // run closes.
    struct RunScope
    {
        TForm1& form;
        explicit RunScope(TForm1& f) : form(f)
        {
            if (!form.m_runs.running())
                QCoreApplication::instance()->installEventFilter(form.m_layoutFilter.get());
            form.m_runs.enter();
        }
        ~RunScope()
        {
            const bool closeNow = form.m_runs.leave();
            if (form.m_runs.running())
                return;
            QCoreApplication::instance()->removeEventFilter(form.m_layoutFilter.get());
            form.releaseHeldFrame();
            if (closeNow)
                form.close();
        }
    } scope(*this);
    transfer::runTransfer(*this);
}

void TForm1::ClearSourceClick()
{
    Memo1->clear();
    Memo1Change();
}

void TForm1::ClearReceivedClick()
{
    Memo2->clear();
}

void TForm1::Port1Click()
{
    QStringList devices;
    for (std::int32_t port = 1; port <= 16; ++port)
        devices << QString::fromStdString(serial::PortTable::describeDevice(
            m_link.portTable().devicePath(port).value_or(std::string())));
    SetCom->setPortDescriptions(devices);

    SetCom->setBaudItemIndex(BaudRateIndex);
    SetCom->setComItemIndex(ComPortIndex - 1);
    SetCom->setTimeOutValue(TimeOut);
    if (SetCom->ShowModal() != TSetCom::ResultOk)
        return;
    BaudRateIndex = SetCom->baudItemIndex();
    ComPortIndex = SetCom->comItemIndex() + 1;
    TimeOut = SetCom->timeOutValue();
    // A store that fails throws here: the error is shown and the port stays.
    m_store->StorePortSettings({TimeOut, BaudRateIndex, ComPortIndex});
    const bool opened =
        m_link.OpenPort(ComPortIndex, serial::baudRateAt(BaudRateIndex).value_or(0));
    m_link.ShowPortState(opened, ComPortIndex);
}

void TForm1::SendEndOfFileClick()
{
    SendEndOfFile->trigger();
}

void TForm1::Memo1Change()
{
    setPanelText(0, QString::number(Memo1->lineCount()).toStdU16String());
}

void TForm1::FormKeyPress(int key)
{
    if (key == Qt::Key_Escape)
        StopRequested = true;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closed during a run: the window stays, current, until the run has
    // completed its exchanges; it closes then.
    if (!m_runs.requestEnd()) {
        event->ignore();
        return;
    }
    // FormClose: the window closes even when the option cannot be stored.
    app::runHandler([this] { m_store->StoreSendEndFile(SendEndOfFile->isChecked()); });
    event->accept();
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    // Keys of the tab bar also bubble up here; only those meant for the
    // window itself count.
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus == this)
        FormKeyPress(event->key());
    QMainWindow::keyPressEvent(event);
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        if (!frameDue(m_lastPaint)) {
            m_paintHeld = true;
            releaseLater(m_lastPaint);
            return true;
        }
        m_paintHeld = false;
        m_lastPaint.start();
    }
    return QMainWindow::event(event);
}

bool TForm1::frameDue(const QElapsedTimer& last) const
{
    return m_showingFrame || !m_runs.running() || !last.isValid() ||
           last.nsecsElapsed() >= m_frameNs;
}

bool TForm1::holdLayout(QObject* widget)
{
    // Relayouts of this window (the status bar's, after each panel text).
    if (!widget->isWidgetType() || static_cast<QWidget*>(widget)->window() != this)
        return false;
    if (!frameDue(m_lastLayout)) {
        if (std::find(m_layoutHeld.begin(), m_layoutHeld.end(), widget) == m_layoutHeld.end())
            m_layoutHeld.emplace_back(widget);
        releaseLater(m_lastLayout);
        return true;
    }
    m_lastLayout.start();
    return false;
}

void TForm1::releaseLater(const QElapsedTimer& last)
{
    if (m_frameTimer.isActive())
        return;
    const std::int64_t leftNs = std::max<std::int64_t>(m_frameNs - last.nsecsElapsed(), 0);
    m_frameTimer.start(static_cast<int>((leftNs + 999'999) / 1'000'000));
}

void TForm1::releaseHeldFrame()
{
    m_frameTimer.stop();
    // A held request stays the widgets' only pending one (they post no
    // other until it is handled), so it must be sent again.
    for (const QPointer<QObject>& widget : m_layoutHeld) {
        if (widget)
            QCoreApplication::postEvent(widget, new QEvent(QEvent::LayoutRequest));
    }
    m_layoutHeld.clear();
    if (m_paintHeld) {
        m_paintHeld = false;
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 || watched == Memo2) {
        if (event->type() == QEvent::ShortcutOverride) {
            // The editor claims Ctrl+X and others for itself; the menu's
            // shortcuts act first, so the editor must not override them.
            auto* key = static_cast<QKeyEvent*>(event);
            const QKeySequence pressed(key->keyCombination());
            for (QAction* action : {Otevtzdroj1, Uloitvsledek1, Konec1, Odeslat1, Port1}) {
                if (action->isEnabled() && action->shortcut() == pressed) {
                    event->ignore();
                    return true;
                }
            }
        } else if (event->type() == QEvent::KeyPress) {
            FormKeyPress(static_cast<QKeyEvent*>(event)->key());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- RunHost, StatusPanels, PortStateView

transfer::Pane& TForm1::sourcePane()
{
    return *Memo1;
}
transfer::Pane& TForm1::receivedPane()
{
    return *Memo2;
}

bool TForm1::sendEndOfFile() const
{
    return SendEndOfFile->isChecked();
}

void TForm1::processMessages()
{
    if ((m_paintHeld && frameDue(m_lastPaint)) || (!m_layoutHeld.empty() && frameDue(m_lastLayout)))
        releaseHeldFrame();
    QCoreApplication::processEvents();
}

void TForm1::awaitingReply()
{
    // How long a reply may take to start arriving and still count as one
    // that is already coming.  A silent device's wait grows by this much.
    constexpr std::chrono::microseconds ReplyComing{1000};
    // A device that answers at once: the held frame waits for its time, and
    // a fast run shows no more frames than the screen does.  Any other
    // exchange may wait up to the time-out: what was set before it is shown
    // now, while the device works.
    if (TimeOut > 0 && app::inputArrives(m_link.hCom().nativeHandle(), ReplyComing))
        return;
    showFrameNow();
}

void TForm1::showFrameNow()
{
    m_showingFrame = true;
    m_frameTimer.stop();
    // The panes' views first: they mark what their appends changed.
    Memo1->updateView();
    Memo2->updateView();
    for (const QPointer<QObject>& widget : m_layoutHeld) {
        if (widget)
            QCoreApplication::postEvent(widget, new QEvent(QEvent::LayoutRequest));
    }
    m_layoutHeld.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    m_paintHeld = false;
    QEvent paint(QEvent::UpdateRequest);
    event(&paint);
    m_showingFrame = false;
}

void TForm1::setPanelText(int index, std::u16string_view text)
{
    if (index >= 0 && index < static_cast<int>(m_panels.size()))
        m_panels[static_cast<std::size_t>(index)]->setText(fromU16(text));
}

std::u16string TForm1::panelText(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_panels.size()))
        return {};
    return m_panels[static_cast<std::size_t>(index)]->text().toStdU16String();
}

void TForm1::showOpenFailure()
{
    app::dialogs().information(app::boxOwner(), QStringLiteral("GetLastError2"),
                               QStringLiteral("Nelze otevrit COM"));
}

void TForm1::showPortState(std::u16string_view text, bool sendEnabled)
{
    setPanelText(3, text);
    Odeslat1->setEnabled(sendEnabled);
}
