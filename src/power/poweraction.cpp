#include "poweraction.h"

namespace PowerActions {

static_assert([] {
    for (std::size_t i = 0; i < all.size(); ++i)
        if (static_cast<std::size_t>(all[i].action) != i)
            return false;
    return true;
}());

QString caption(PowerAction action)
{
    return QString::fromUtf8(info(action).caption);
}

QString keyword(PowerAction action)
{
    return QString::fromLatin1(info(action).keyword);
}

QString logName(PowerAction action)
{
    return QString::fromLatin1(info(action).logName);
}

std::optional<PowerAction> fromKeyword(QStringView keyword)
{
    for (const Info &a : all)
        if (keyword == QLatin1String(a.keyword))
            return a.action;
    return std::nullopt;
}

std::optional<PowerAction> fromCaption(QStringView caption)
{
    for (const Info &a : all)
        if (caption == QString::fromUtf8(a.caption))
            return a.action;
    return std::nullopt;
}

} // namespace PowerActions
