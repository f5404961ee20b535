#include "Win32MainThread.h"

#include <stdexcept>
#include <utility>

namespace {

constexpr UINT kAufgabe = WM_APP + 1;      // a task was queued
constexpr UINT kZeitgeberNeu = WM_APP + 2; // a delayed task was queued from another thread
constexpr UINT_PTR kZeitgeber = 1;
const wchar_t* const kKlasse = L"TreffluxMainThread";

} // namespace

Win32MainThread::Win32MainThread() {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    WNDCLASSW klasse{};
    klasse.lpfnWndProc = &Win32MainThread::fensterProzedur;
    klasse.hInstance = instanz;
    klasse.lpszClassName = kKlasse;
    ::RegisterClassW(&klasse); // fails harmlessly when already registered
    m_fenster = ::CreateWindowExW(0, kKlasse, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instanz, this);
    if (!m_fenster)
        throw std::runtime_error("Das Nachrichtenfenster des Programms kann nicht angelegt werden.");
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    MainThread::install(this);
}

Win32MainThread::~Win32MainThread() {
    MainThread::install(nullptr);
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, 0);
    ::DestroyWindow(m_fenster);
}

void Win32MainThread::post(MainThread::Task task) {
    {
        std::lock_guard lock(m_mutex);
        m_aufgaben.push_back(std::move(task));
    }
    // Should the message queue be full, the task still runs with the next one that arrives.
    ::PostMessageW(m_fenster, kAufgabe, 0, 0);
}

void Win32MainThread::postDelayed(std::chrono::milliseconds delay, MainThread::Task task) {
    {
        std::lock_guard lock(m_mutex);
        m_spaeter.emplace(Uhr::now() + delay, std::move(task));
    }
    // A window timer belongs to the window's thread.
    if (MainThread::isMainThread())
        zeitgeberStellen();
    else
        ::PostMessageW(m_fenster, kZeitgeberNeu, 0, 0);
}

void Win32MainThread::aufgabenAbarbeiten() {
    for (;;) {
        MainThread::Task task;
        {
            std::lock_guard lock(m_mutex);
            if (m_aufgaben.empty())
                return;
            // Taken out first: a task that opens a modal dialog lets the next tasks run inside it.
            task = std::move(m_aufgaben.front());
            m_aufgaben.pop_front();
        }
        task();
    }
}

void Win32MainThread::faelligeAbarbeiten() {
    for (;;) {
        MainThread::Task task;
        {
            std::lock_guard lock(m_mutex);
            if (m_spaeter.empty() || m_spaeter.begin()->first > Uhr::now())
                break;
            task = std::move(m_spaeter.begin()->second);
            m_spaeter.erase(m_spaeter.begin());
        }
        task();
    }
    zeitgeberStellen();
}

void Win32MainThread::zeitgeberStellen() {
    Uhr::time_point naechste;
    {
        std::lock_guard lock(m_mutex);
        if (m_spaeter.empty()) {
            ::KillTimer(m_fenster, kZeitgeber);
            return;
        }
        naechste = m_spaeter.begin()->first;
    }
    // Rounded up: a timer that fires a little early finds nothing due and is set again.
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(naechste - Uhr::now()).count();
    ::SetTimer(m_fenster, kZeitgeber, rest > 0 ? static_cast<UINT>(rest) : USER_TIMER_MINIMUM, nullptr);
}

LRESULT CALLBACK Win32MainThread::fensterProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32MainThread*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (msg) {
        case kAufgabe:
            self->aufgabenAbarbeiten();
            return 0;
        case kZeitgeberNeu:
            self->zeitgeberStellen();
            return 0;
        case WM_TIMER:
            if (wParam == kZeitgeber) {
                self->faelligeAbarbeiten();
                return 0;
            }
            break;
        default:
            break;
        }
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}
