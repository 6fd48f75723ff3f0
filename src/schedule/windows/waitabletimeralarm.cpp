#include "schedule/alarm.h"

#include <QLoggingCategory>
#include <QWinEventNotifier>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

Q_LOGGING_CATEGORY(lcAlarm, "quorvel.alarm")

namespace {

constexpr wchar_t windowClass[] = L"QuorvelClockEvents";
// 100 ns steps from 1601 to 1970.
constexpr qint64 unixEpochIn100ns = 116444736000000000LL;

// An absolute waitable timer follows the system time, also when it is set; Windows tells of a
// set clock by WM_TIMECHANGE to the top-level windows, so a hidden one of ours listens.
class WaitableTimerAlarm final : public Alarm
{
public:
    WaitableTimerAlarm() : m_timer(::CreateWaitableTimerW(nullptr, FALSE, nullptr))
    {
        if (!m_timer) {
            qCWarning(lcAlarm) << "no waitable timer: error" << ::GetLastError();
            return;
        }
        m_notifier = std::make_unique<QWinEventNotifier>(m_timer);
        connect(m_notifier.get(), &QWinEventNotifier::activated, this, &Alarm::rang);

        WNDCLASSW wc{};
        wc.lpfnWndProc = &WaitableTimerAlarm::windowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = windowClass;
        ::RegisterClassW(&wc);
        m_window = ::CreateWindowExW(0, windowClass, L"Quorvel", WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, wc.hInstance, nullptr);
        if (m_window)
            ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~WaitableTimerAlarm() override
    {
        if (m_window)
            ::DestroyWindow(m_window);
        m_notifier.reset();
        if (m_timer)
            ::CloseHandle(m_timer);
    }
    WaitableTimerAlarm(const WaitableTimerAlarm &) = delete;
    WaitableTimerAlarm &operator=(const WaitableTimerAlarm &) = delete;

    void arm(const QDateTime &when) override
    {
        if (!m_timer)
            return;
        LARGE_INTEGER due;
        // Positive: absolute UTC; the smallest positive value is long past and rings at once.
        due.QuadPart = std::max<qint64>(1, unixEpochIn100ns + when.toMSecsSinceEpoch() * 10'000);
        if (!::SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE))
            qCWarning(lcAlarm) << "cannot arm: error" << ::GetLastError();
        m_notifier->setEnabled(true);
    }

    void disarm() override
    {
        if (m_timer)
            ::CancelWaitableTimer(m_timer);
    }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_TIMECHANGE) {
            if (auto *self = reinterpret_cast<WaitableTimerAlarm *>(
                    ::GetWindowLongPtrW(window, GWLP_USERDATA)))
                QMetaObject::invokeMethod(self, &Alarm::clockChanged, Qt::QueuedConnection);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HANDLE m_timer;
    std::unique_ptr<QWinEventNotifier> m_notifier;
    HWND m_window = nullptr;
};

} // namespace

std::unique_ptr<Alarm> createAlarm()
{
    return std::make_unique<WaitableTimerAlarm>();
}
