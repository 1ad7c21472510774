#include "uidriver.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace uitest {

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

Program::~Program()
{
    if (!m_info.hProcess)
        return;
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
        EnumWindows(
            [](HWND window, LPARAM id) CALLBACK -> BOOL {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == static_cast<DWORD>(id))
                    PostMessageW(window, WM_CLOSE, 0, 0);
                return TRUE;
            },
            static_cast<LPARAM>(m_info.dwProcessId));
        if (WaitForSingleObject(m_info.hProcess, 5000) == WAIT_TIMEOUT)
            TerminateProcess(m_info.hProcess, 99);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

bool Program::start(const std::wstring& workingDirectory)
{
    const wchar_t* exe = _wgetenv(L"QUORLINK_EXE");
    if (!exe)
        return false;
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                          &m_info) != FALSE;
}

HWND Program::waitForWindow(const wchar_t* windowClass, std::chrono::milliseconds limit)
{
    struct Search
    {
        DWORD process;
        const wchar_t* windowClass;
        HWND found;
    } search{m_info.dwProcessId, windowClass, nullptr};
    waitFor(
        [&] {
            EnumWindows(
                [](HWND window, LPARAM data) CALLBACK -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    DWORD owner = 0;
                    GetWindowThreadProcessId(window, &owner);
                    if (owner == s->process && IsWindowVisible(window) &&
                        className(window) == s->windowClass) {
                        s->found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limit);
    return search.found;
}

bool Program::hasExited(std::chrono::milliseconds limit)
{
    return WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

std::wstring windowText(HWND window)
{
    wchar_t text[1024] = {};
    // WM_GETTEXT is carried across processes; GetWindowText would read
    // only the caption the system keeps.
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

std::vector<HWND> children(HWND parent, const wchar_t* windowClass)
{
    std::vector<HWND> found;
    for (HWND child = FindWindowExW(parent, nullptr, windowClass, nullptr); child;
         child = FindWindowExW(parent, child, windowClass, nullptr))
        found.push_back(child);
    return found;
}

HWND findChild(HWND parent, const wchar_t* windowClass, const wchar_t* text)
{
    for (HWND child : children(parent, windowClass)) {
        if (!text || windowText(child) == text)
            return child;
    }
    return nullptr;
}

RECT rectIn(HWND window, HWND parent)
{
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE clientSize(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

namespace {

// A block of memory in the process that owns `window`, for the messages of
// the common controls that carry pointers (Windows does not copy them
// between processes).
class RemoteBuffer
{
public:
    RemoteBuffer(HWND window, std::size_t size) : m_size(size)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        m_process =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (m_process)
            m_address =
                VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (m_address)
            VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
        if (m_process)
            CloseHandle(m_process);
    }
    void* address() const { return m_address; }
    void write(const void* data, std::size_t size, std::size_t offset = 0)
    {
        WriteProcessMemory(m_process, static_cast<char*>(m_address) + offset, data, size, nullptr);
    }
    void read(void* data, std::size_t size, std::size_t offset = 0)
    {
        ReadProcessMemory(m_process, static_cast<char*>(m_address) + offset, data, size, nullptr);
    }

private:
    HANDLE m_process = nullptr;
    void* m_address = nullptr;
    std::size_t m_size;
};

} // namespace

std::wstring statusText(HWND statusBar, int part)
{
    RemoteBuffer buffer(statusBar, 4096);
    const LRESULT result = SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part),
                                        reinterpret_cast<LPARAM>(buffer.address()));
    std::wstring text(LOWORD(result), L'\0');
    buffer.read(text.data(), text.size() * sizeof(wchar_t));
    return text;
}

std::vector<int> statusParts(HWND statusBar)
{
    RemoteBuffer buffer(statusBar, 64 * sizeof(int));
    const auto count = static_cast<int>(
        SendMessageW(statusBar, SB_GETPARTS, 64, reinterpret_cast<LPARAM>(buffer.address())));
    std::vector<int> edges(static_cast<std::size_t>(count));
    buffer.read(edges.data(), edges.size() * sizeof(int));
    return edges;
}

RECT tabPage(HWND tabs)
{
    RECT r{};
    GetClientRect(tabs, &r);
    RemoteBuffer buffer(tabs, sizeof r);
    buffer.write(&r, sizeof r);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(buffer.address()));
    buffer.read(&r, sizeof r);
    return r;
}

RECT tabItem(HWND tabs, int index)
{
    RECT r{};
    RemoteBuffer buffer(tabs, sizeof r);
    SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(buffer.address()));
    buffer.read(&r, sizeof r);
    return r;
}

std::wstring tabText(HWND tabs, int index)
{
    RemoteBuffer buffer(tabs, sizeof(TCITEMW) + 512 * sizeof(wchar_t));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.address()) + sizeof item);
    item.cchTextMax = 511;
    buffer.write(&item, sizeof item);
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(buffer.address()));
    wchar_t text[512] = {};
    buffer.read(text, sizeof text - sizeof(wchar_t), sizeof item);
    return text;
}

bool bringToFront(HWND window)
{
    if (GetForegroundWindow() == window)
        return true;
    SetForegroundWindow(window);
    return waitFor([window] { return GetForegroundWindow() == window; }, 3000ms);
}

namespace {

INPUT keyInput(WORD virtualKey, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    switch (virtualKey) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        break;
    default:
        break;
    }
    return input;
}

void send(std::vector<INPUT>& inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

} // namespace

void pressKey(WORD virtualKey, const std::vector<WORD>& modifiers)
{
    std::vector<INPUT> inputs;
    for (WORD modifier : modifiers)
        inputs.push_back(keyInput(modifier, false));
    inputs.push_back(keyInput(virtualKey, false));
    inputs.push_back(keyInput(virtualKey, true));
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        inputs.push_back(keyInput(*it, true));
    send(inputs);
}

void typeText(const std::wstring& text)
{
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (bool up : {false, true}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = static_cast<WORD>(c);
            input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(input);
        }
    }
    send(inputs);
}

namespace {

// Mouse input at a point of the screen: a move, then `buttons`.
void mouseAt(POINT screen, std::initializer_list<DWORD> buttons)
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(1 + buttons.size());
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(screen.x, 65536, width) + 1;
        input.mi.dy = MulDiv(screen.y, 65536, height) + 1;
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    std::size_t i = 1;
    for (const DWORD button : buttons)
        inputs[i++].mi.dwFlags |= button;
    send(inputs);
}

POINT onScreen(HWND window, POINT clientPoint)
{
    ClientToScreen(window, &clientPoint);
    return clientPoint;
}

} // namespace

void click(HWND window, POINT clientPoint)
{
    mouseAt(onScreen(window, clientPoint), {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

void moveMouse(HWND window, POINT clientPoint)
{
    mouseAt(onScreen(window, clientPoint), {});
}

void leftButton(HWND window, POINT clientPoint, bool down)
{
    mouseAt(onScreen(window, clientPoint),
            {static_cast<DWORD>(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP)});
}

std::optional<POINT> closeBoxOf(HWND window)
{
    RECT frame{};
    GetWindowRect(window, &frame);
    POINT clientTop{0, 0};
    ClientToScreen(window, &clientTop);
    // Along the middle of the caption, from the right edge inwards.
    const int y = (frame.top + clientTop.y) / 2;
    for (int x = frame.right - 1; x > frame.right - 100; --x) {
        DWORD_PTR hit = 0;
        SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000,
                            &hit);
        if (hit == HTCLOSE)
            return POINT{x - 2, y};
    }
    return std::nullopt;
}

void clickAt(POINT screen)
{
    mouseAt(screen, {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

bool clickCloseBox(HWND window)
{
    const std::optional<POINT> box = closeBoxOf(window);
    if (box)
        clickAt(*box);
    return box.has_value();
}

namespace {

// The probe DLL beside the test program.
std::wstring probePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path);
    result.resize(result.find_last_of(L"\\/") + 1);
    return result + L"uiprobe.dll";
}

// Runs `function` at `address` in `process` with `argument`; its result.
bool runRemote(HANDLE process, void* address, void* argument, DWORD& result)
{
    HANDLE thread =
        CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(address),
                           argument, 0, nullptr);
    if (!thread)
        return false;
    const bool done = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    return done;
}

HMODULE remoteModule(HANDLE process, const std::wstring& path)
{
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL))
        return nullptr;
    for (DWORD i = 0; i < needed / sizeof(HMODULE); ++i) {
        wchar_t name[MAX_PATH] = {};
        GetModuleFileNameExW(process, modules[i], name, MAX_PATH);
        if (_wcsicmp(name, path.c_str()) == 0)
            return modules[i];
    }
    return nullptr;
}

} // namespace

bool runProbe(HANDLE process, const char* function, void* request, std::size_t size)
{
    const std::wstring path = probePath();
    static HMODULE local = LoadLibraryW(path.c_str());
    if (!local)
        return false;
    HMODULE remote = remoteModule(process, path);
    if (!remote) {
        const std::size_t bytes = (path.size() + 1) * sizeof(wchar_t);
        void* name =
            VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        WriteProcessMemory(process, name, path.c_str(), bytes, nullptr);
        DWORD ignored = 0;
        auto* loadLibrary =
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "LoadLibraryW"));
        runRemote(process, loadLibrary, name, ignored);
        VirtualFreeEx(process, name, 0, MEM_RELEASE);
        remote = remoteModule(process, path);
        if (!remote)
            return false;
    }
    auto* localFunction = reinterpret_cast<char*>(GetProcAddress(local, function));
    if (!localFunction)
        return false;
    void* address =
        reinterpret_cast<char*>(remote) + (localFunction - reinterpret_cast<char*>(local));
    void* data = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(process, data, request, size, nullptr);
    DWORD result = 0;
    const bool ran = runRemote(process, address, data, result);
    ReadProcessMemory(process, data, request, size, nullptr);
    VirtualFreeEx(process, data, 0, MEM_RELEASE);
    return ran;
}

void deleteSettingsKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brindova\\Quorlink");
}

bool settingsKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Brindova\\Quorlink", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::optional<DWORD> settingsValue(const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Brindova\\Quorlink", name, RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void storeSettings(std::initializer_list<std::pair<const wchar_t*, DWORD>> values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Brindova\\Quorlink", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const auto& [name, value] : values)
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    RegCloseKey(key);
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long long fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) |
                                  data.nFileSizeLow);
}

void writeFile(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::wstring newFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    for (unsigned n = GetTickCount();; ++n) {
        const std::wstring folder = std::wstring(temp) + L"quorlink-ui-" + std::to_wstring(n);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
    }
}

} // namespace uitest
