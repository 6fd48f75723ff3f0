#include "windowssettings.h"

#include <QCoreApplication>
#include <QDir>

#include <map>
#include <memory>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace {

class AnsiCodec final : public IniCodec
{
public:
    explicit AnsiCodec(UINT codePage) : m_codePage(codePage) {}

    QString decode(QByteArrayView bytes) const override
    {
        if (bytes.isEmpty())
            return {};
        const int size = int(bytes.size());
        const int length = ::MultiByteToWideChar(m_codePage, 0, bytes.data(), size, nullptr, 0);
        std::wstring text(std::size_t(std::max(length, 0)), L'\0');
        ::MultiByteToWideChar(m_codePage, 0, bytes.data(), size, text.data(), length);
        return QString::fromStdWString(text);
    }

    std::optional<QByteArray> encode(QStringView text) const override
    {
        if (text.isEmpty())
            return QByteArray();
        const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
        const int size = int(text.size());
        // No best fit: a character the code page lacks must not turn into a look-alike, which
        // would name another file.
        BOOL lossy = FALSE;
        const int length = ::WideCharToMultiByte(m_codePage, WC_NO_BEST_FIT_CHARS, wide, size,
                                                 nullptr, 0, nullptr, &lossy);
        if (length <= 0 || lossy)
            return std::nullopt;
        QByteArray bytes(length, '\0');
        ::WideCharToMultiByte(m_codePage, WC_NO_BEST_FIT_CHARS, wide, size, bytes.data(), length,
                              nullptr, &lossy);
        if (lossy)
            return std::nullopt;
        return bytes;
    }

private:
    UINT m_codePage;
};

QString roamingAppData()
{
    wchar_t *path = nullptr;
    QString folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)))
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    ::CoTaskMemFree(path);
    return folder;
}

} // namespace

const IniCodec &ansiCodec(unsigned codePage)
{
    if (codePage == CP_ACP)
        codePage = ::GetACP();
    // UTF-8 as the system code page ("Beta: Unicode UTF-8 for worldwide language support").
    if (codePage == CP_UTF8)
        return IniCodec::utf8();
    // Built once per code page and kept: documents hold on to their codec.
    static std::map<unsigned, std::unique_ptr<AnsiCodec>> codecs;
    std::unique_ptr<AnsiCodec> &codec = codecs[codePage];
    if (!codec)
        codec = std::make_unique<AnsiCodec>(codePage);
    return *codec;
}

QString shortPathName(const QString &path)
{
    const std::wstring longPath = QDir::toNativeSeparators(path).toStdWString();
    const DWORD length = ::GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (length == 0)
        return {};
    std::wstring shortPath(length, L'\0');
    const DWORD written = ::GetShortPathNameW(longPath.c_str(), shortPath.data(), length);
    if (written == 0 || written >= length)
        return {};
    shortPath.resize(written);
    const QString name = QString::fromStdWString(shortPath);
    // A volume without short names hands the long name back.
    return name.compare(QDir::toNativeSeparators(path), Qt::CaseInsensitive) == 0 ? QString()
                                                                                  : name;
}

bool canCreateFilesIn(const QString &folder)
{
    const std::wstring probe =
        QDir::toNativeSeparators(folder +
                                 QStringLiteral("/.quorvel-%1.tmp").arg(::GetCurrentProcessId()))
            .toStdWString();
    const HANDLE file = ::CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

SettingsSystem windowsSettings(unsigned codePage)
{
    // The program's own folder wherever it can be written, as the ANSI profile functions did.
    return {&ansiCodec(codePage), [](const QString &) { return false; }, &canCreateFilesIn,
            &shortPathName};
}

Moduleini programSettings()
{
    const QString appData = roamingAppData();
    return Moduleini(QCoreApplication::applicationDirPath(),
                     appData.isEmpty() ? QString() : appData + QStringLiteral("/Quorvel"),
                     windowsSettings());
}
