#pragma once

#include "MainThread.h"

#include <chrono>
#include <deque>
#include <map>
#include <mutex>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The hand-over to the main thread on Windows: a hidden message window. A post queues the task
// and posts a message to the window; the window's procedure runs the queued tasks in order, also
// inside a modal dialog's or a menu's loop. Delayed tasks wait in a list ordered by their due
// time (equal times in posting order) behind one window timer that is set to the earliest.
// Installs itself for its whole life; made and destroyed on the main thread.
class Win32MainThread : public MainThread::Executor {
public:
    Win32MainThread();
    ~Win32MainThread() override;
    Win32MainThread(const Win32MainThread&) = delete;
    Win32MainThread& operator=(const Win32MainThread&) = delete;

    void post(MainThread::Task task) override;
    void postDelayed(std::chrono::milliseconds delay, MainThread::Task task) override;

    HWND fenster() const { return m_fenster; }

private:
    using Uhr = std::chrono::steady_clock;
    static LRESULT CALLBACK fensterProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void aufgabenAbarbeiten();
    void faelligeAbarbeiten();
    // Sets the window timer to the earliest delayed task (main thread).
    void zeitgeberStellen();

    HWND m_fenster = nullptr;
    std::mutex m_mutex;
    std::deque<MainThread::Task> m_aufgaben;
    std::multimap<Uhr::time_point, MainThread::Task> m_spaeter;
};
