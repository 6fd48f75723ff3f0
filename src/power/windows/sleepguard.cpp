#include "power/sleepguard.h"

#include <windows.h>

namespace {
// ES_SYSTEM_REQUIRED holds off sleep on idle only: the display still turns off, and a sleep
// the user asks for goes ahead. It belongs to the calling thread, which is always the UI's.
class ExecutionStateGuard final : public SleepGuard
{
public:
    using SleepGuard::SleepGuard;
    ~ExecutionStateGuard() override { hold(false); }
    void hold(bool on) override
    {
        ::SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
    }
};
} // namespace

std::unique_ptr<SleepGuard> createSleepGuard()
{
    return std::make_unique<ExecutionStateGuard>();
}
