#include "metadata/CddbSource.h"

#include <QTimer>

#include "core/Settings.h"
#include "metadata/QueryCDDBThread.h"

TCddbSource::TCddbSource(QObject* parent) : IDiscLookup(parent) {}

TCddbSource::~TCddbSource()
{
    Abort();
}

void TCddbSource::Abort()
{
    done_ = nullptr;
    if (link_) {
        // The lookup may be anywhere, inside a network call too: it is let go, not waited for.
        link_->Stop();
        link_.reset();
    }
}

void TCddbSource::Find(const TDiscQuery& disc, Done done)
{
    Abort();
    matches_.clear();
    first_ = disc.Toc.FirstTrack;
    last_ = disc.Toc.LastTrack;
    link_ = std::make_shared<TCddbLookupLink>(this);
    done_ = std::move(done);
    TQueryCDDBThread::Start(first_, last_, disc.Handle, OptionsSetting().QueryCDDB, link_);
}

void TCddbSource::Names(size_t index, Done done)
{
    done_ = std::move(done);
    if (!link_ || index >= matches_.size()) {
        QTimer::singleShot(0, this, [this, link = link_] {
            if (link == link_)
                Finish({{}, QStringLiteral("no such match")});
        });
        return;
    }
    TQueryCDDBThread::StartRead(first_, last_, OptionsSetting().QueryCDDB, link_, matches_[index]);
}

void TCddbSource::Finish(const TDiscFound& found)
{
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(found);
}

bool TCddbSource::event(QEvent* event)
{
    if (event->type() != static_cast<QEvent::Type>(WM_CDDBSTATE))
        return IDiscLookup::event(event);
    const auto* state = dynamic_cast<const TCddbStateEvent*>(event);
    // An event already queued when the lookup was let go is no news any more.
    if (state == nullptr || !link_ || link_->Stopped())
        return true;
    TDiscFound found;
    if (state->State == TCddbStateEvent::kOver) {
        if (state->Result) {
            TDiscCandidate c;
            c.Names = *state->Result;
            found.Candidates.push_back(std::move(c));
        } else {
            found.Error = state->Failure.isEmpty() ? QStringLiteral("the server gave no names")
                                                   : state->Failure;
        }
    } else if (state->State == TCddbStateEvent::kChoose) {
        matches_ = state->Matches;
        for (const CddbMatch& m : matches_) {
            TDiscCandidate c;
            c.Title = m.Title;
            c.Id = m.Category + QLatin1Char(' ') + m.DiscId;
            found.Candidates.push_back(std::move(c));
        }
    } else if (state->State != TCddbStateEvent::kNoMatch) {
        return true;
    }
    Finish(found);
    return true;
}
