#pragma once

#include <memory>

#include <QDialog>

#include "recorder/RecordLogic.h"

class IWaveAudioDevice;
class QAction;
class QLabel;
class QMenu;
class QSlider;
class QTimer;
class TAfStartButton;
class TMediaTransport;

/// The sound recorder window: records from the sound card into a WAV file, plays it back and
/// saves it (also as MP3). Thin over TRecordLogic, which decides everything.
class TfrmRecord : public QDialog {
    Q_OBJECT
public:
    /// device: the wave-audio device to drive (the sound card's when null).
    TfrmRecord(QWidget* owner, TRecorderHost host,
               std::unique_ptr<IWaveAudioDevice> device = nullptr);
    ~TfrmRecord() override;

    TRecordLogic& Logic() { return *logic_; }
    IWaveAudioDevice& Device() { return *device_; }

    TMediaTransport* MediaPlayer1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* lbPosition = nullptr;
    QLabel* lbLength = nullptr;
    QLabel* lbState = nullptr;
    QLabel* panRecordTime = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TimerRecord = nullptr;
    TAfStartButton* AfStartButton1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* miNew = nullptr;
    QAction* miOpen = nullptr;
    QAction* actSave = nullptr;
    QAction* actSaveAs = nullptr;
    QAction* actUndo = nullptr;
    QAction* miRecordingControl = nullptr;
    QAction* miSaveMp3 = nullptr;
    QAction* miExit = nullptr;
    QLabel* lWeb = nullptr;

public Q_SLOTS:
    /// Escape, the close box and "&Exit" all come here: the recorder may keep the window open.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateMenu();
    void ShowState();
    /// Runs a handler; anything it raises goes to the general error handler.
    void Run(const std::function<void()>& handler);

    std::unique_ptr<IWaveAudioDevice> device_;
    std::unique_ptr<TRecordLogic> logic_;
    bool closed_ = false;
    bool shown_ = false;
};
