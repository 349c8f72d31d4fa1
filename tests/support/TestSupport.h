#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// A temporary folder that is also the program's folder for the lifetime of the object.
class ProgramDirScope {
public:
    ProgramDirScope();
    ~ProgramDirScope();
    ProgramDirScope(const ProgramDirScope&) = delete;
    ProgramDirScope& operator=(const ProgramDirScope&) = delete;

    /// The folder, ending in "/".
    QString Path() const;
    QString File(const QString& name) const { return Path() + name; }

private:
    QTemporaryDir dir_;
};

/// Writes an audio CD image name.bin + name.cue with tracks of the given lengths in sectors into
/// the program folder's "discs", where the CD layer lists it as a drive. Fails the test if not.
void MakeProgramDisc(const ProgramDirScope& dir, const char* name,
                     const std::vector<int64_t>& sectors);

/// Runs the event loop until pred() holds or the timeout passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

/// Processes pending events for a little while (for posted events to arrive).
void PumpEvents(std::chrono::milliseconds duration = std::chrono::milliseconds(50));

QByteArray ReadWholeFile(const QString& path);
void WriteWholeFile(const QString& path, const QByteArray& data);

class QLabel;
class QWidget;

/// True when the label draws its text as it stands: it renders pixel for pixel as it does with
/// its format forced to plain text. Markup fed to it (headings, colours, images, "&amp;")
/// shows the difference.
bool DrawsAsPlainText(QLabel* label);

/// Runs act once on each modal widget that becomes the active one (by polling) until trigger()
/// returns; trigger opens them (a modal exec returns only when its widget closes).
void WhileModal(const std::function<void()>& trigger, const std::function<void(QWidget&)>& act);

/// The folder holding the built program and its tools (the build's bin/).
QString BuiltBinDir();
/// tests/fixtures in the source tree, ending in "/".
QString FixturesDir();

#include <ostream>

/// Readable QString output in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
