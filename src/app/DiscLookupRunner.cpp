#include "app/DiscLookupRunner.h"

#include <QTimer>
#include <QUrl>

#include "app/CoverStore.h"
#include "app/MainController.h"
#include "core/ErrorHandler.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "metadata/MusicBrainzLookup.h"

TDiscLookupRunner::TDiscLookupRunner(TMainController& controller, IDiscLookup* source,
                                     QObject* parent)
    : QObject(parent), controller_(controller), source_(source),
      covers_(new TMusicBrainzLookup(this))
{
    source_->setParent(this);
    connect(&controller_, &TMainController::ListLoaded, this, &TDiscLookupRunner::DiscLoaded);
}

TDiscLookupRunner::~TDiscLookupRunner()
{
    source_->Abort();
    covers_->Abort();
}

QString TDiscLookupRunner::SourceName() const
{
    return source_->Source() == TNamesSource::Cddb ? QStringLiteral("CDDB")
                                                   : QStringLiteral("MusicBrainz");
}

bool TDiscLookupRunner::Current() const
{
    return controller_.HasDisc() && controller_.LoadedDiscKey() == key_;
}

void TDiscLookupRunner::End()
{
    pending_ = nullptr;
    if (!running_)
        return;
    running_ = false;
    Q_EMIT RunningChanged(false);
}

void TDiscLookupRunner::Abort()
{
    source_->Abort();
    covers_->Abort();
    End();
}

void TDiscLookupRunner::DiscLoaded()
{
    if (running_ && !Current())
        Abort();
    if (!windowUp_)
        return; // the start-up's disc is looked up once the window is on the screen
    QTimer::singleShot(0, this, [this] { GuardedCall([this] { StartAutomatic(); }); });
}

void TDiscLookupRunner::WindowUp()
{
    if (windowUp_)
        return;
    windowUp_ = true;
    StartAutomatic();
}

void TDiscLookupRunner::StartAutomatic()
{
    if (!running_ && OptionsSetting().MusicBrainz.AutoLookup && controller_.HasDisc() &&
        controller_.NamesSource() == TNamesSource::None)
        Start(true);
}

void TDiscLookupRunner::StartByUser()
{
    Start(false);
}

void TDiscLookupRunner::Start(bool automatic)
{
    Abort();
    const std::optional<TDiscQuery> disc = controller_.LoadedDiscQuery();
    if (!disc) {
        if (!automatic)
            ShowError(QStringLiteral("Error while reading TOC information!"));
        return;
    }
    key_ = disc->Key;
    automatic_ = automatic;
    running_ = true;
    Q_EMIT RunningChanged(true);
    source_->Find(*disc, [this](const TDiscFound& found) { GuardedCall([&] { Found(found); }); });
}

void TDiscLookupRunner::WhenFree(std::function<void()> step)
{
    if (MayInterrupt && !MayInterrupt()) {
        pending_ = std::move(step);
        return;
    }
    step();
}

void TDiscLookupRunner::Resume()
{
    if (!pending_ || (MayInterrupt && !MayInterrupt()))
        return;
    const std::function<void()> step = std::move(pending_);
    pending_ = nullptr;
    GuardedCall([&] { step(); });
}

void TDiscLookupRunner::Found(const TDiscFound& found)
{
    if (!Current()) {
        End();
        return;
    }
    if (!found.Error.isEmpty()) {
        controller_.SetStatusText(SourceName() + QStringLiteral(" lookup failed: ") + found.Error);
        End();
        return;
    }
    if (found.Candidates.empty()) {
        // Not knowing a disc is no failure; only the user's command says so.
        if (!automatic_)
            controller_.SetStatusText(SourceName() +
                                      QStringLiteral(" has no names for this disc."));
        End();
        return;
    }
    if (found.Candidates.size() == 1) {
        Use(0);
        return;
    }
    int remembered = -1;
    const QString chosenBefore = OptionsSetting().CDInfo.MbReleaseId;
    for (size_t i = 0; i < found.Candidates.size() && !chosenBefore.isEmpty(); ++i)
        if (found.Candidates[i].Id == chosenBefore)
            remembered = static_cast<int>(i);
    if (automatic_ && remembered >= 0) {
        Use(static_cast<size_t>(remembered));
        return;
    }
    WhenFree([this, candidates = found.Candidates, remembered] {
        const int chosen = Current() && Choose ? Choose(candidates, remembered) : -1;
        // The window may have closed, or the disc left, while the user chose.
        if (chosen < 0 || static_cast<size_t>(chosen) >= candidates.size() || !running_ ||
            !Current()) {
            End();
            return;
        }
        Use(static_cast<size_t>(chosen));
    });
}

void TDiscLookupRunner::Use(size_t index)
{
    source_->Names(index, [this](const TDiscFound& found) {
        GuardedCall([&] {
            if (!Current()) {
                End();
            } else if (!found.Error.isEmpty() || found.Candidates.empty() ||
                       !found.Candidates.front().Names) {
                controller_.SetStatusText(SourceName() + QStringLiteral(" lookup failed: ") +
                                          found.Error);
                End();
            } else {
                Apply(*found.Candidates.front().Names);
            }
        });
    });
}

void TDiscLookupRunner::Apply(const TDiscNames& names)
{
    WhenFree([this, names] {
        if (!Current()) {
            End();
            return;
        }
        // A lookup of its own never replaces names, whatever gave them meanwhile; the user's
        // command asks before it replaces names the user typed.
        const TNamesSource now = controller_.NamesSource();
        if (automatic_ && now != TNamesSource::None) {
            End();
            return;
        }
        if (!automatic_ && now == TNamesSource::Typed &&
            (AskYesNo(QStringLiteral("Replace the names typed for this disc with the names "
                                     "from %1?")
                          .arg(SourceName()),
                      MbIcon::Question, MbAnswer::No) != MbAnswer::Yes ||
             !running_ || !Current())) {
            End();
            return;
        }
        if (!controller_.ApplyNames(names, key_)) {
            End();
            return;
        }
        if (names.CoverUrl.isEmpty()) {
            RemoveCover(key_);
            Q_EMIT CoverChanged();
            End();
            return;
        }
        FetchCover(names.CoverUrl);
    });
}

void TDiscLookupRunner::FetchCover(const QString& url)
{
    covers_->FetchCoverAt(QUrl(url), [this](const TCoverArt& cover) {
        GuardedCall([&] {
            if (Current()) {
                if (!cover.Error.isEmpty())
                    controller_.SetStatusText(QStringLiteral("Cover art could not be fetched: ") +
                                              cover.Error);
                else if (cover.Image.isEmpty())
                    RemoveCover(key_); // the release has none: nothing to show, nothing wrong
                else if (!SaveCover(key_, cover.Image, cover.Extension))
                    controller_.SetStatusText(
                        QStringLiteral("Cover art could not be saved in the program's folder."));
                Q_EMIT CoverChanged();
            }
            End();
        });
    });
}
