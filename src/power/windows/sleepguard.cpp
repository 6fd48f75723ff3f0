#include "power/sleepguard.h"

#include <QMetaObject>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

constexpr wchar_t windowClass[] = L"QuorvelPowerEvents";

// ES_SYSTEM_REQUIRED holds off sleep on idle only: the display still turns off, and a sleep
// the user asks for goes ahead. It belongs to the calling thread, which is always the UI's.
// The wake-up arrives as WM_POWERBROADCAST, which Windows sends to top-level windows only (not
// to message-only ones), so a hidden window of our own listens for it.
class ExecutionStateGuard final : public SleepGuard
{
public:
    ExecutionStateGuard()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ExecutionStateGuard::windowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = windowClass;
        ::RegisterClassW(&wc); // fails harmlessly when registered already
        m_window = ::CreateWindowExW(0, windowClass, L"Quorvel", WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, wc.hInstance, nullptr);
        if (m_window)
            ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ExecutionStateGuard() override
    {
        hold(false);
        if (m_window)
            ::DestroyWindow(m_window);
    }
    ExecutionStateGuard(const ExecutionStateGuard &) = delete;
    ExecutionStateGuard &operator=(const ExecutionStateGuard &) = delete;

    void hold(bool on) override
    {
        ::SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
    }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        // Once per wake-up, whether or not the user is at the machine.
        if (message == WM_POWERBROADCAST && wParam == PBT_APMRESUMEAUTOMATIC) {
            auto *self =
                reinterpret_cast<ExecutionStateGuard *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self)
                QMetaObject::invokeMethod(
                    self, [self] { Q_EMIT self->resumed(); }, Qt::QueuedConnection);
            return TRUE;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
};

} // namespace

std::unique_ptr<SleepGuard> createSleepGuard()
{
    return std::make_unique<ExecutionStateGuard>();
}
