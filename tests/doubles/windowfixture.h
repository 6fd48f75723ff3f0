#pragma once

// A main window wired to test doubles and to settings in a temporary directory.

#include "app/mian.h"
#include "fakes.h"
#include "settings/moduleini.h"

#include <QTemporaryDir>

#include <memory>

struct WindowFixture
{
    explicit WindowFixture(TrayBackend::Mode trayMode = TrayBackend::Mode::XEmbed,
                           bool trayAvailable = true)
        : tray(trayMode, trayAvailable), settings(programDir.path(), userConfigDir.path())
    {
    }

    // The window as designed, before its load handler has run.
    Mian &create()
    {
        window = std::make_unique<Mian>(
            MianServices{clock, power, sound, tray, fileChooser, urlOpener, settings});
        return *window;
    }
    Mian &load()
    {
        create().Form_Load();
        return *window;
    }

    template<typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    QTemporaryDir programDir;
    QTemporaryDir userConfigDir;
    FakeClock clock;
    FakePowerControl power;
    FakeSoundOutput sound;
    FakeTray tray;
    FakeFileChooser fileChooser;
    FakeUrlOpener urlOpener;
    Moduleini settings;
    std::unique_ptr<Mian> window;
};
