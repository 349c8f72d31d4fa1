#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QDialog>

#include "metadata/CddbRecord.h"
#include "metadata/DiscLookup.h"
#include "platform/cddb/CddbTypes.h"

class QLabel;
class QPushButton;
class TCddbSource;

/// The wait window "Query CDDB...": runs the CDDB source while it is shown. "Stop" lets go of
/// the lookup and closes at once; a lookup let go of changes nothing. No match shows why
/// nothing was found and turns the button into "Close"; names found are applied, a failure is
/// reported, and either closes with the result Accepted ("yes"). Several matches: the user
/// picks the one that is the disc and that one is read; declining the choice is a Stop.
class TfrmStopQuery : public QDialog {
    Q_OBJECT
public:
    TfrmStopQuery(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle);
    ~TfrmStopQuery() override;

    /// Applies a lookup's result (UI thread).
    std::function<void(const TDiscNames&)> ApplyResult;
    /// Shows why a lookup found no names: "CDDB lookup failed: <reason>" (UI thread).
    std::function<void(const QString&)> ReportFailure;

    QLabel* lbQuery = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* btStop = nullptr;

    void FormShow();
    void btStopClick();

    /// Stop also covers Escape and the window manager's close.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LetGo();
    void Found(const TDiscFound& found);
    void Choose();

    const uint8_t first_;
    const uint8_t last_;
    const int handle_;
    TCddbSource* source_;
    bool started_ = false;
    bool stopped_ = false;
};
