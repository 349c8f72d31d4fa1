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
/// still try it again by itself.
class TEngineHealth : public QObject {
    Q_OBJECT
public:
    struct Health {
        bool lost = false;         ///< failed, and not seen working since
        bool retryPending = false; ///< the back end's own next attempt has not run yet
        uint64_t generation = 0;
    };

    using QObject::QObject;

    /// Follows a connection object of the back end; one that lacks the signal and slot this
    /// relies on (another Qt) is left alone.
    void Follow(QObject* engine, bool lost)
    {
        const QMetaObject* meta = engine->metaObject();
        if (meta->indexOfSignal("contextFailed()") < 0 || meta->indexOfMethod("prepare()") < 0)
            return;
        engines_.emplace_back(engine);
        connect(engine, SIGNAL(contextFailed()), this, SLOT(EngineFailed()));
        if (lost)
            MarkLost(engine);
    }

    /// Connects again where the back end gave up; once sinks were opened, only when a probe finds
    /// no connection (before that, the device list stays empty while it has none).
    void Revive(bool probe)
    {
        std::vector<QObject*> given;
        for (const QPointer<QObject>& e : engines_) {
            const Health& h = health_[e.data()];
            if (e && h.lost && !h.retryPending)
                given.push_back(e.data());
        }
        if (given.empty())
            return;
        if (probe && !ProbeFindsNoConnection()) {
            // Connected again by the back end's own attempt; one still pending says later.
            for (QObject* e : given)
                health_[e].lost = false;
            return;
        }
        for (QObject* e : given) {
            // Nothing of the back end's own is pending: a second attempt would leave two
            // connections behind one object.
            QMetaObject::invokeMethod(e, "prepare", Qt::DirectConnection);
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

    /// Whether opening a sink now finds no connection to the server (it fails at once then).
    /// Any other outcome (opened, refused for another reason, no device to try) is no proof.
    static bool ProbeFindsNoConnection()
    {
        const QAudioDevice output = QMediaDevices::defaultAudioOutput();
        if (output.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Int16);
        auto* buffer = new QBuffer;
        buffer->open(QIODevice::ReadOnly);
        auto* sink = new QAudioSink(output, format);
        sink->start(buffer);
        const bool none = sink->error() == QAudio::FatalError;
        sink->stop();
        // Qt's sink processes events when destroyed, which must not happen inside a request.
        sink->deleteLater();
        buffer->deleteLater();
        return none;
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
    auto* buffer = new QBuffer;
    bool opened = false;
    if (!output.isNull()) {
        buffer->open(QIODevice::ReadOnly);
        auto* sink = new QAudioSink(output, output.preferredFormat());
        sink->start(buffer);
        opened = sink->error() == QAudio::NoError;
        sink->stop();
        sink->deleteLater(); // see ProbeFindsNoConnection
    } else {
        buffer->open(QIODevice::WriteOnly);
        auto* source = new QAudioSource(input, input.preferredFormat());
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
    // watching both finds them.
    TCreationWatch watch;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    const QAudioDevice input =
        output.isNull() ? QMediaDevices::defaultAudioInput() : QAudioDevice();
    bool connected = false;
    if (!output.isNull() || !input.isNull()) {
        s.adopted = true;
        connected = OpenSilently(output, input);
    }
    for (QObject* engine : watch.Stop())
        s.health->Follow(engine, !connected);
}

} // namespace

namespace SoundServer {

void Attach()
{
    TState& s = State();
    if (s.health != nullptr)
        s.health->Revive(s.adopted);
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
