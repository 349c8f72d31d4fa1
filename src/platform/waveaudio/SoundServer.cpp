#include "platform/waveaudio/SoundServer.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QBuffer>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

// Qt's object-creation hooks (the array tools such as debuggers of object trees use); declared
// here as Qt's private header declares it.
QT_BEGIN_NAMESPACE
extern Q_CORE_EXPORT quintptr qtHookData[];
QT_END_NAMESPACE

namespace {

constexpr int kHookDataSize = 1;
constexpr int kAddObjectHook = 3;
constexpr int kRemoveObjectHook = 4;
constexpr const char* kEngineClass = "QPulseAudioEngine";
// The back end tries again 3 s after its connection failed; ours looks after that attempt.
constexpr std::chrono::milliseconds kAfterRetry{3100};

/// Objects the UI thread creates while a watch runs (the back end's connections among them).
class TCreationWatch {
public:
    TCreationWatch()
    {
        if (qtHookData[kHookDataSize] <= kRemoveObjectHook || qtHookData[kAddObjectHook] != 0 ||
            qtHookData[kRemoveObjectHook] != 0)
            return; // another tool uses the hooks: find nothing rather than disturb it
        {
            std::lock_guard lock(Mutex());
            Thread() = std::this_thread::get_id();
            Created().clear();
        }
        SetHook(kRemoveObjectHook, reinterpret_cast<quintptr>(&Removed));
        SetHook(kAddObjectHook, reinterpret_cast<quintptr>(&Added));
        active_ = true;
    }
    ~TCreationWatch() { Stop(); }
    TCreationWatch(const TCreationWatch&) = delete;
    TCreationWatch& operator=(const TCreationWatch&) = delete;

    /// Ends the watch; the back end's connection objects created meanwhile that still live.
    std::vector<QObject*> Stop()
    {
        std::vector<QObject*> engines;
        if (!active_)
            return engines;
        active_ = false;
        SetHook(kAddObjectHook, 0);
        SetHook(kRemoveObjectHook, 0);
        std::lock_guard lock(Mutex());
        // Only this thread's objects are here, and this thread finished building them.
        for (QObject* o : Created()) {
            if (qstrcmp(o->metaObject()->className(), kEngineClass) == 0)
                engines.push_back(o);
        }
        Created().clear();
        return engines;
    }

private:
    // Other threads read the hooks whenever they create or destroy an object.
    static void SetHook(int index, quintptr value)
    {
        std::atomic_ref<quintptr>(qtHookData[index]).store(value, std::memory_order_release);
    }
    static std::mutex& Mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::thread::id& Thread()
    {
        static std::thread::id id;
        return id;
    }
    static std::set<QObject*>& Created()
    {
        static std::set<QObject*> s;
        return s;
    }
    // Called in every thread's QObject constructor and destructor while the watch runs.
    static void Added(QObject* o)
    {
        std::lock_guard lock(Mutex());
        if (std::this_thread::get_id() == Thread())
            Created().insert(o);
    }
    static void Removed(QObject* o)
    {
        std::lock_guard lock(Mutex());
        Created().erase(o);
    }

    bool active_ = false;
};

/// Follows each connection of the back end: whether it failed, and whether the back end will
/// still try it again by itself. Qt 6.4 keeps two: one lists the devices, the other carries the
/// sinks and sources.
class TEngineHealth : public QObject {
    Q_OBJECT
public:
    enum class TRole { Devices, Streams };
    struct Health {
        TRole role = TRole::Streams;
        bool lost = false;         ///< failed, and not seen working since
        bool retryPending = false; ///< the back end's own next attempt has not run yet
        uint64_t generation = 0;
    };

    using QObject::QObject;

    /// Follows a connection object of the back end; one that lacks the signal and slot this
    /// relies on (another Qt) is left alone.
    void Follow(QObject* engine, TRole role, bool lost)
    {
        const QMetaObject* meta = engine->metaObject();
        if (meta->indexOfSignal("contextFailed()") < 0 || meta->indexOfMethod("prepare()") < 0)
            return;
        engines_.emplace_back(engine);
        health_[engine].role = role;
        connect(engine, SIGNAL(contextFailed()), this, SLOT(EngineFailed()));
        if (lost)
            MarkLost(engine);
    }
    /// A connection found listing devices that also carries the streams (a Qt with one).
    void Share()
    {
        for (auto& [engine, h] : health_)
            h.role = TRole::Streams;
    }

    /// Connects again where the back end gave up, when a probe finds no connection. Nothing of
    /// the back end's own is then pending, and a second attempt on a working connection would
    /// leave two behind one object.
    void Revive()
    {
        for (const QPointer<QObject>& e : engines_) {
            Health& h = health_[e.data()];
            if (!e || !h.lost || h.retryPending)
                continue;
            const TProbe probe = h.role == TRole::Streams ? ProbeStreams() : ProbeDevices();
            if (probe == TProbe::NoConnection)
                QMetaObject::invokeMethod(e.data(), "prepare", Qt::DirectConnection);
            else if (probe == TProbe::Connected)
                h.lost = false; // connected again by the back end's own attempt
        }
    }

    SoundServer::TLink Link() const
    {
        bool lost = false;
        for (const auto& [engine, h] : health_) {
            if (h.retryPending)
                return SoundServer::TLink::Retrying;
            lost = lost || h.lost;
        }
        return lost ? SoundServer::TLink::Lost : SoundServer::TLink::Connected;
    }

private Q_SLOTS:
    void EngineFailed() { MarkLost(sender()); }

private:
    void MarkLost(QObject* engine)
    {
        Health& h = health_[engine];
        h.lost = true;
        h.retryPending = true;
        const uint64_t generation = ++h.generation;
        // Due after the back end's own timer, so it runs after that attempt, which signals
        // again if it failed on the way.
        QTimer::singleShot(kAfterRetry, this, [this, engine, generation] {
            Health& later = health_[engine];
            if (later.generation == generation)
                later.retryPending = false;
        });
    }

    enum class TProbe { Connected, NoConnection, Unknown };

    /// Opening a sink fails at once when the streams' connection is gone.
    static TProbe ProbeStreams()
    {
        const QAudioDevice output = QMediaDevices::defaultAudioOutput();
        if (output.isNull())
            return TProbe::Unknown; // nothing to try it with
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Int16);
        auto* buffer = new QBuffer(QCoreApplication::instance());
        buffer->open(QIODevice::ReadOnly);
        auto* sink = new QAudioSink(output, format, QCoreApplication::instance());
        sink->start(buffer);
        const QAudio::Error error = sink->error();
        sink->stop();
        // Qt's sink processes events when destroyed, which must not happen inside a request;
        // the application is their parent in case no event loop runs again.
        sink->deleteLater();
        buffer->deleteLater();
        if (error == QAudio::FatalError)
            return TProbe::NoConnection;
        return error == QAudio::NoError ? TProbe::Connected : TProbe::Unknown;
    }
    /// The devices' connection lists nothing while it has none; a list kept from before
    /// still names what a server that came back offers.
    static TProbe ProbeDevices()
    {
        return QMediaDevices::audioOutputs().isEmpty() && QMediaDevices::audioInputs().isEmpty()
                   ? TProbe::NoConnection
                   : TProbe::Connected;
    }

    std::vector<QPointer<QObject>> engines_;
    std::map<QObject*, Health> health_;
};

struct TState {
    bool adopted = false;
    QPointer<TEngineHealth> health;
};

TState& State()
{
    static TState state;
    return state;
}

/// Opens and closes a silent sink (or source) on this thread; false when it could not open.
bool OpenSilently(const QAudioDevice& output, const QAudioDevice& input)
{
    auto* buffer = new QBuffer(QCoreApplication::instance());
    bool opened = false;
    if (!output.isNull()) {
        buffer->open(QIODevice::ReadOnly);
        auto* sink = new QAudioSink(output, output.preferredFormat(), QCoreApplication::instance());
        sink->start(buffer);
        opened = sink->error() == QAudio::NoError;
        sink->stop();
        sink->deleteLater(); // see ProbeStreams
    } else {
        buffer->open(QIODevice::WriteOnly);
        auto* source =
            new QAudioSource(input, input.preferredFormat(), QCoreApplication::instance());
        source->start(buffer);
        opened = source->error() == QAudio::NoError;
        source->stop();
        source->deleteLater();
    }
    buffer->deleteLater();
    return opened;
}

void Adopt(TState& s)
{
    if (s.health == nullptr)
        s.health = new TEngineHealth(QCoreApplication::instance()); // on this thread
    // The back end's connections are created by the first device query and the first open;
    // watching each finds them.
    using TRole = TEngineHealth::TRole;
    TCreationWatch devicesWatch;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    const QAudioDevice input =
        output.isNull() ? QMediaDevices::defaultAudioInput() : QAudioDevice();
    const std::vector<QObject*> devices = devicesWatch.Stop();
    const bool listed = !output.isNull() || !input.isNull();
    for (QObject* engine : devices)
        s.health->Follow(engine, TRole::Devices, !listed);
    if (!listed)
        return;
    s.adopted = true;
    TCreationWatch streamsWatch;
    const bool connected = OpenSilently(output, input);
    const std::vector<QObject*> streams = streamsWatch.Stop();
    for (QObject* engine : streams)
        s.health->Follow(engine, TRole::Streams, !connected);
    if (streams.empty() && connected)
        s.health->Share();
}

} // namespace

namespace SoundServer {

void Attach()
{
    TState& s = State();
    if (s.health != nullptr)
        s.health->Revive();
    if (!s.adopted)
        Adopt(s);
}

TLink Link()
{
    const TState& s = State();
    return s.health == nullptr ? TLink::Connected : s.health->Link();
}

QString ErrorText(QAudio::Error error)
{
    switch (error) {
    case QAudio::OpenError:
        return QStringLiteral("The sound device could not be opened.");
    case QAudio::IOError:
        return QStringLiteral("The sound device stopped working.");
    case QAudio::UnderrunError:
        return QStringLiteral("The sound device ran out of data.");
    case QAudio::FatalError:
        return QStringLiteral("The sound system is not available.");
    case QAudio::NoError:
        break;
    }
    return QStringLiteral("The sound device failed.");
}

QString StalledText()
{
    return QStringLiteral("The sound output stopped playing.");
}

} // namespace SoundServer

#include "SoundServer.moc"
