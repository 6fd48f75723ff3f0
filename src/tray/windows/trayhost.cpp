#include "tray/trayhost.h"

namespace {
// The taskbar's notification area is always there; Qt adds the icon again when Explorer
// restarts.
class TaskbarHost final : public TrayHost
{
public:
    using TrayHost::TrayHost;
    bool isAvailable() const override { return true; }
    Mode mode() const override { return Mode::XEmbed; }
};
} // namespace

std::unique_ptr<TrayHost> createTrayHost()
{
    return std::make_unique<TaskbarHost>();
}
