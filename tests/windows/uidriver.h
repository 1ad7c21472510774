#pragma once

// Drives quorlink.exe the way a person does, from another process: real key
// presses and mouse clicks through SendInput (the system's input queue, as a
// keyboard and a mouse deliver them), and what the person sees read back
// from the windows.  Every wait is bounded and fails with what it waited for.

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace uitest {

using namespace std::chrono_literals;

// Waits until `done` holds, polling every 10 ms, at most `limit`.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms);

// The program under test, started with CreateProcess and ended when this
// object goes (closed if it still runs, terminated after 5 s).
class Program
{
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the program from QUORLINK_EXE (a Windows path) with
    // `workingDirectory`; false when it could not be started.
    bool start(const std::wstring& workingDirectory = {});
    // Waits for the program's visible top-level window of `windowClass`
    // ("#32770" for a message box or a common dialog).
    HWND waitForWindow(const wchar_t* windowClass, std::chrono::milliseconds limit = 10000ms);
    bool hasExited(std::chrono::milliseconds limit);
    DWORD processId() const { return m_info.dwProcessId; }
    HANDLE process() const { return m_info.hProcess; }

private:
    PROCESS_INFORMATION m_info{};
};

// Window texts and rectangles.
std::wstring windowText(HWND window);
std::wstring className(HWND window);
// The child of `parent` with the control id `id`, or of the class and text.
HWND findChild(HWND parent, const wchar_t* windowClass, const wchar_t* text = nullptr);
std::vector<HWND> children(HWND parent, const wchar_t* windowClass);
// `window`'s rectangle in the client coordinates of `parent`.
RECT rectIn(HWND window, HWND parent);
SIZE clientSize(HWND window);

// Texts of another process's common controls, read through its memory.
std::wstring statusText(HWND statusBar, int part);
std::vector<int> statusParts(HWND statusBar);
std::wstring tabText(HWND tabs, int index);
// The display area of a tab control's pages, and a tab's own rectangle, in
// its client coordinates.
RECT tabPage(HWND tabs);
RECT tabItem(HWND tabs, int index);

// Input.  The target window is brought to the foreground first.
bool bringToFront(HWND window);
void pressKey(WORD virtualKey, const std::vector<WORD>& modifiers = {});
void typeText(const std::wstring& text);
// A left click at a point of `window`'s client area.
void click(HWND window, POINT clientPoint);
// The pointer moved to a point of `window`'s client area, and the left
// button pressed or released there.
void moveMouse(HWND window, POINT clientPoint);
void leftButton(HWND window, POINT clientPoint, bool down);
// The close box of `window`'s frame on the screen, found by asking the
// window what lies where (it answers only while it handles messages).
std::optional<POINT> closeBoxOf(HWND window);
// A left click at a point of the screen.
void clickAt(POINT screen);
// A click on the close box of `window`'s frame; false when it has none.
bool clickCloseBox(HWND window);

// Runs a function of the probe DLL (uiprobe.h) inside `process` on
// `request`, which it reads back filled; false when that failed.
bool runProbe(HANDLE process, const char* function, void* request, std::size_t size);

// The program's settings in the registry of the current user.
void deleteSettingsKey();
bool settingsKeyExists();
std::optional<DWORD> settingsValue(const wchar_t* name);
void storeSettings(std::initializer_list<std::pair<const wchar_t*, DWORD>> values);

// Files, whole.
std::string readFile(const std::wstring& path);
// The size of the file at `path`, looked up without opening it (a file held
// open cannot be replaced by the program meanwhile); -1 when there is none.
long long fileSize(const std::wstring& path);
void writeFile(const std::wstring& path, const std::string& bytes);
// A new empty folder under the user's temporary folder.
std::wstring newFolder();

} // namespace uitest
