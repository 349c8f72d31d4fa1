#pragma once

#include <QAudio>
#include <QString>

/// The link to the sound server that Qt's multimedia back end keeps.
///
/// Qt's PulseAudio back end (6.4) holds its server connections in objects that belong to the
/// thread which first used them: the news that the server died, and each attempt to connect
/// again, run through that thread's event loop. When that thread was a worker that has ended
/// (the first CD play, say), a dead server is never noticed: a play waits for good, and nothing
/// plays or records until the program restarts. And when an attempt to connect again finds no
/// server at all, the back end gives up for good.
namespace SoundServer {

/// UI thread, before each play or recording, and before any worker opens a sink or source.
/// The first call that finds a sound device makes the connections belong to this thread (it
/// opens and closes a silent sink or source). Later calls connect again when the server went
/// away and nothing is left trying to reach it, so a server that came back is used.
void Attach();

/// What is known of the back end's connections: Connected (none known lost), Retrying (the back
/// end's own attempt to connect again is pending), Lost (it gave up; the next Attach connects
/// again, and marks them Connected once a sink opens).
enum class TLink { Connected, Retrying, Lost };
TLink Link();

/// What a sink or source error means for the user ("The sound system is not available.").
QString ErrorText(QAudio::Error error);
/// A sink or source that stopped moving sound without reporting an error.
QString StalledText();

} // namespace SoundServer
