#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QString>

#include "metadata/DiscLookup.h"

class TMainController;
class TMusicBrainzLookup;

/// Takes a lookup of the loaded disc from the question to the service to the names in the
/// list: several candidates go to the user (the one chosen before is offered first, and taken
/// without asking when the lookup runs by itself), names the user typed are replaced only when
/// the user says so (a lookup that runs by itself never replaces any names), and the cover of
/// the names' release is fetched and kept for the disc. Whatever the service answers, the
/// names go only to the disc they were asked for. Questions, choices and the names wait while
/// another modal window is open (a job, a dialog) and come when it closes. UI thread.
class TDiscLookupRunner : public QObject {
    Q_OBJECT
public:
    /// source: the service to ask; the runner takes it as its child.
    TDiscLookupRunner(TMainController& controller, IDiscLookup* source, QObject* parent = nullptr);
    ~TDiscLookupRunner() override;

    /// Lets the user choose among candidates; the index chosen, or -1. preselected: the one
    /// chosen before for this disc, or -1.
    std::function<int(const std::vector<TDiscCandidate>&, int preselected)> Choose;
    /// Whether a window of the program's may be shown now; when not, the run waits for Resume.
    std::function<bool()> MayInterrupt;

    /// A disc's list was loaded: a run for another disc ends, and a disc without names is
    /// looked up by itself, once the event loop runs again, when [MusicBrainz] AutoLookup is on.
    void DiscLoaded();
    /// The window has been drawn: lookups by themselves may start from now on (the first one
    /// costs the UI thread the set-up of the secure connection, which start-up does not wait
    /// for).
    void WindowUp();
    /// The user's command: looks the loaded disc up whatever names it has.
    void StartByUser();
    /// Carries on with a step that waited for a modal window to close.
    void Resume();
    /// Ends the run: nothing of it is applied any more.
    void Abort();
    bool Running() const { return running_; }
    /// A step waits for a modal window to close.
    bool Waiting() const { return pending_ != nullptr; }

Q_SIGNALS:
    void RunningChanged(bool running);
    /// The cover kept for the loaded disc was saved or removed.
    void CoverChanged();

private:
    void Start(bool automatic);
    void StartAutomatic();
    void Found(const TDiscFound& found);
    void Use(size_t index);
    void Apply(const TDiscNames& names);
    void FetchCover(const QString& url);
    void WhenFree(std::function<void()> step);
    /// The list still holds the disc the run is for.
    bool Current() const;
    void End();
    QString SourceName() const;

    TMainController& controller_;
    IDiscLookup* source_;
    TMusicBrainzLookup* covers_;
    QString key_;
    bool automatic_ = false;
    bool running_ = false;
    bool windowUp_ = false;
    std::function<void()> pending_;
};
