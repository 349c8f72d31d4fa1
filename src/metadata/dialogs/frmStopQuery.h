#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QDialog>

#include "metadata/CddbRecord.h"
#include "platform/cddb/CddbTypes.h"

class QLabel;
class QPushButton;
class TCddbLookupLink;

/// The wait window "Query CDDB...": runs the lookup while it is shown. "Stop" lets go of the
/// lookup and closes at once; a lookup let go of changes nothing. State 6 shows why nothing
/// was found and turns the button into "Close"; state 7 applies what was found, or reports why
/// nothing was, and closes with the result Accepted ("yes"). State 8 (several matches) asks
/// the user which one is the disc and reads that one; declining the choice is a Stop.
class TfrmStopQuery : public QDialog {
    Q_OBJECT
public:
    TfrmStopQuery(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle);
    ~TfrmStopQuery() override;

    /// Applies a lookup's result (UI thread).
    std::function<void(const TCddbResult&)> ApplyResult;
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
    bool event(QEvent* event) override;

private:
    void LetGo();
    void Choose(const std::vector<CddbMatch>& matches);

    const uint8_t first_;
    const uint8_t last_;
    const int handle_;
    std::shared_ptr<TCddbLookupLink> link_;
};
