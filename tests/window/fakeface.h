#pragma once

// A face without any widget: records what the window's behaviour shows and
// answers what it asks, so the behaviour can be driven as a user would.

#include "window/Term.h"

#include "transfer/pane.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorlink::window::testing {

struct Box
{
    BoxIcon icon;
    std::u16string caption;
    std::u16string text;
};

class FakePanels : public StatusPanels
{
public:
    void setPanelText(int index, std::u16string_view text) override { texts[index] = text; }
    std::u16string panelText(int index) const override
    {
        const auto it = texts.find(index);
        return it == texts.end() ? std::u16string() : it->second;
    }
    std::map<int, std::u16string> texts;
};

class FakeClock : public Clock
{
public:
    std::int64_t nowMs() const override { return now; }
    std::int64_t now = 1000;
};

class FakeTimer : public Timer
{
public:
    void start(std::int64_t delayMs) override { due = delayMs; }
    void stop() override { due.reset(); }
    std::optional<std::int64_t> due;
};

class FakeWindowFace : public WindowFace
{
public:
    void showMessageBox(BoxIcon icon, std::u16string_view caption,
                        std::u16string_view text) override
    {
        boxes.push_back({icon, std::u16string(caption), std::u16string(text)});
    }
    std::optional<std::filesystem::path> askSourceFileName() override { return next(openAnswers); }
    std::optional<std::filesystem::path> askResultFileName() override { return next(saveAnswers); }
    void setCaption(std::u16string_view text) override { caption = text; }
    void setMenuItemEnabled(MenuItem item, bool on) override { enabled[item] = on; }
    void setMenuItemChecked(MenuItem item, bool on) override { checked[item] = on; }
    // Runs what a test scripted for the n-th call, counting from 1.
    void processMessages() override
    {
        ++pumps;
        if (const auto it = script.find(pumps); it != script.end())
            it->second();
    }
    void showPendingChanges() override { ++shownNow; }
    void closeWindow() override { ++closes; }
    void setFocus(WindowControl control) override { focus = control; }
    int shownPage() const override { return page; }
    void showPage(int shown) override { page = shown; }
    double refreshRate() const override { return refresh; }
    const Clock& frameClock() const override { return clock; }
    Timer& frameTimer() override { return timer; }

    std::vector<Box> boxes;
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::u16string caption = u"Terminal";
    std::map<MenuItem, bool> enabled;
    std::map<MenuItem, bool> checked;
    std::map<int, std::function<void()>> script;
    int pumps = 0;
    int closes = 0;
    int shownNow = 0;
    std::optional<WindowControl> focus;
    int page = 0;
    double refresh = 0.0;
    FakeClock clock;
    FakeTimer timer;

private:
    static std::optional<std::filesystem::path>
    next(std::deque<std::optional<std::filesystem::path>>& answers)
    {
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class FakeSpinFace : public SpinEditFace
{
public:
    std::u16string fieldText() const override { return shown; }
    void setFieldText(std::u16string_view text) override { shown = text; }
    void selectAll() override { ++selectAlls; }
    bool hasFocus() const override { return focused; }
    void takeFocus() override { focused = true; }
    void beep() override { ++beeps; }
    char16_t decimalSeparator() const override { return u','; }

    std::u16string shown;
    bool focused = false;
    int selectAlls = 0;
    int beeps = 0;
};

class FakeComboFace : public ComboBoxFace
{
public:
    void showChoice(int itemIndex, std::u16string_view text, int selStart, int selLength) override
    {
        index = itemIndex;
        shown = text;
        start = selStart;
        length = selLength;
    }
    bool droppedDown() const override { return open; }
    void closeDropDown() override { open = false; }
    void showItems(const std::vector<std::u16string>& entries) override { items = entries; }

    std::vector<std::u16string> items;
    int index = -1;
    std::u16string shown;
    int start = 0;
    int length = 0;
    bool open = false;
};

// The port dialog's face.  Its modal loop runs `whileShown` (the operator's
// actions) and returns what the dialog ended with; nothing ended it: 2.
class FakeSetComFace : public SetComFace
{
public:
    int runModal() override
    {
        ++showings;
        result.reset();
        if (whileShown)
            whileShown();
        return result.value_or(2);
    }
    void endModal(int value) override { result = value; }
    std::optional<DialogControl> focusedControl() const override { return focus; }
    void setFocus(DialogControl control, bool forwards) override
    {
        focus = control;
        forward = forwards;
    }
    void showDefaultButton(DialogControl button) override { defaultButton = button; }
    Point position() const override { return at; }
    void move(Point topLeft) override { at = topLeft; }
    Point frameSize() const override { return {258, 320}; }
    Rect ownerFrame() const override { return owner; }
    Rect desktopArea() const override { return desktop; }

    std::function<void()> whileShown;
    std::optional<int> result;
    std::optional<DialogControl> focus;
    bool forward = true;
    std::optional<DialogControl> defaultButton;
    Point at;
    Rect owner{100, 100, 651, 275};
    Rect desktop{0, 0, 1920, 1080};
    int showings = 0;
};

// An in-memory settings store with what a test puts in it.
class MemoryStore : public settings::SettingsStore
{
public:
    struct Values
    {
        bool keyExisted = false;
        std::optional<settings::PortSettings> port;
        std::optional<bool> sendEndFile;
        std::map<std::int32_t, std::string> ports;
        std::string codePage;
        // The name of the value whose write fails, if any.
        std::string failingValue;
    };
    explicit MemoryStore(Values& values) : m_values(values) {}

    settings::StoredSettings LoadSettings() override
    {
        settings::StoredSettings stored;
        stored.keyExisted = m_values.keyExisted;
        stored.portStored = m_values.port.has_value();
        stored.port = m_values.port.value_or(settings::PortSettings{});
        stored.sendEndFile = m_values.sendEndFile;
        stored.ports = m_values.ports;
        stored.codePage = m_values.codePage;
        return stored;
    }
    void StorePortSettings(const settings::PortSettings& port) override
    {
        if (m_values.failingValue == "TimeOut")
            throw settings::SettingsError("Failed to set data for 'TimeOut'");
        m_values.keyExisted = true;
        m_values.port = port;
    }
    void StoreSendEndFile(bool value) override
    {
        if (m_values.failingValue == "SendEndFile")
            throw settings::SettingsError("Failed to set data for 'SendEndFile'");
        m_values.keyExisted = true;
        m_values.sendEndFile = value;
    }
    void StorePortDevice(std::int32_t portNumber, const std::string& device) override
    {
        m_values.ports.emplace(portNumber, device);
    }

private:
    Values& m_values;
};

// The window and its dialog on fake faces, as the program starts them.
struct FakeWindow
{
    explicit FakeWindow(MemoryStore::Values& values)
        : setCom(setComFace, spinFace, clock, timer),
          form(face, memo1, memo2, panels, setCom, std::make_unique<MemoryStore>(values),
               u"Quorlink")
    {
        setCom.ComboBoxCom.attach(&comFace);
        setCom.ComboBoxBaud.attach(&baudFace);
        // The machine's own serial ports stay out of the tests: none unless
        // a test gives a tree.
        form.setDeviceTree({{}, {}});
    }

    FakeWindowFace face;
    FakeSetComFace setComFace;
    FakeSpinFace spinFace;
    FakeComboFace comFace;
    FakeComboFace baudFace;
    FakeClock clock;
    FakeTimer timer;
    transfer::MemoryPane memo1;
    transfer::MemoryPane memo2;
    FakePanels panels;
    TSetCom setCom;
    TForm1 form;
};

} // namespace quorlink::window::testing
