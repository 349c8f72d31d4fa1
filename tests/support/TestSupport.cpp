#include "support/TestSupport.h"

#include <algorithm>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include "core/AppPaths.h"
#include "core/FileUtil.h"
#include "makedisc/DiscImageWriter.h"

#include <gtest/gtest.h>

ProgramDirScope::ProgramDirScope()
{
    SetProgramDirForTests(dir_.path());
}

ProgramDirScope::~ProgramDirScope()
{
    SetProgramDirForTests(QString());
}

QString ProgramDirScope::Path() const
{
    return IncludeTrailingSlash(dir_.path());
}

void MakeProgramDisc(const ProgramDirScope& dir, const char* name,
                     const std::vector<int64_t>& sectors)
{
    const QString discs = dir.File(QStringLiteral("discs"));
    QDir().mkpath(discs);
    std::string error;
    ASSERT_TRUE(
        makedisc::WriteDiscImage(QFile::encodeName(discs).toStdString(), name, sectors, {}, &error))
        << error;
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout.count())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void PumpEvents(std::chrono::milliseconds duration)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    } while (t.elapsed() < duration.count());
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void WriteWholeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

QString BuiltBinDir()
{
    return IncludeTrailingSlash(
        qEnvironmentVariable("PLATTERLY_BIN_DIR", QStringLiteral(PLATTERLY_DEFAULT_BIN_DIR)));
}

QString FixturesDir()
{
    return IncludeTrailingSlash(qEnvironmentVariable(
               "PLATTERLY_SOURCE_DIR", QStringLiteral(PLATTERLY_DEFAULT_SOURCE_DIR))) +
           QStringLiteral("tests/fixtures/");
}

bool DrawsAsPlainText(QLabel* label)
{
    // The same label, drawn once more with its format forced to plain text.
    const QImage shown = label->grab().toImage();
    const Qt::TextFormat format = label->textFormat();
    label->setTextFormat(Qt::PlainText);
    const QImage plain = label->grab().toImage();
    label->setTextFormat(format);
    return shown == plain;
}

void WhileModal(const std::function<void()>& trigger, const std::function<void(QWidget&)>& act)
{
    QTimer probe;
    std::vector<QPointer<QWidget>> seen; // a window under a closed one is not new again
    QObject::connect(&probe, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr ||
            std::any_of(seen.begin(), seen.end(), [&](const auto& w) { return w == modal; }))
            return;
        seen.emplace_back(modal);
        act(*modal);
    });
    probe.start(1);
    trigger();
    probe.stop();
}
