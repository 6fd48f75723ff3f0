// How soon after each wall-clock second the clock field shows it. Runs the real window with the
// real clock for a number of ticks (60 unless given) and prints the lag of every caption change
// after its second began, then median and maximum. Not a test: a measurement.

#include "app/mian.h"
#include "fakes.h"
#include "schedule/clock.h"
#include "schedule/longtime.h"
#include "schedule/secondtimer.h"
#include "settings/moduleini.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    SystemClock clock;
    FakePowerControl power;
    FakeSoundOutput sound;
    FakeTray tray;
    FakeFileChooser chooser;
    FakeUrlOpener opener;
    QTemporaryDir dir;
    Moduleini settings(dir.path(), dir.path());
    Mian window({clock, power, sound, tray, chooser, opener, settings});
    window.Form_Load();
    window.show();

    auto *field = window.findChild<QPushButton *>(QStringLiteral("Commandc1"));
    auto *timer = window.findChild<SecondTimer *>(QStringLiteral("sysTimer"));
    QList<int> lags;
    int wrong = 0;
    // Connected after the window's own handler, so it sees the caption just set.
    QObject::connect(timer, &SecondTimer::timeout, &app, [&] {
        const QTime now = QTime::currentTime();
        if (field->text() != longTimeString(now))
            ++wrong;
        lags << now.msec();
        std::printf("tick %2lld: %s, %3d ms after the second began\n", qlonglong(lags.size()),
                    qPrintable(field->text()), now.msec());
        if (lags.size() == ticks)
            app.quit();
    });
    app.exec();

    std::sort(lags.begin(), lags.end());
    std::printf("caption lag over %d ticks: median %d ms, max %d ms, wrong second %d\n", ticks,
                lags.at(lags.size() / 2), lags.last(), wrong);
    return wrong == 0 ? 0 : 1;
}
