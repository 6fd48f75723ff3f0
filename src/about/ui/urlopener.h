#pragma once

class QUrl;

// Hands an address to the desktop (browser, mail composer); replaceable in tests.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};

class DesktopUrlOpener final : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
