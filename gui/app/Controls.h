#pragma once
// Small widgets that show the core's progress and animation.

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "transfer/HttpRequest.h"
#include "transfer/Owner.h"

// How the download dialogs pace their 20 ms ticks. "[Transfer] TickBudgetMs"
// in the settings file (15 when missing) makes each tick read for that long:
// the window stays responsive and the transfer runs as fast as the network
// allows. TickBudgetMs=0 makes each tick one 1024-byte read (about 50 KB/s).
struct TickPacing {
    int budgetMs = 0;     // > 0: read for that long per tick; 0: one read
    bool paced = true;    // network reads of 1024 bytes
    int readWaitMs = 10;  // how long one read waits for data
};
TickPacing ReadTickPacing();

// The network settings of the settings file's "[Transfer]" section.
tvx::HttpSettings ReadHttpSettings();

// What a screen reader says of a control: its name (kept as the control
// gives it when empty) and a description of what it does.
void Describe(QWidget* control, const QString& name, const QString& description);

// A progress bar the transfer engine can set.
class CProgressCtrl : public QProgressBar, public tvx::Progress {
    Q_OBJECT
public:
    explicit CProgressCtrl(QWidget* parent = nullptr);
    void SetRange(int low, int high) override { setRange(low, high); }
    void SetPos(int pos) override { setValue(pos); }
};

// The running animation: seven frames shown at 3.75 frames a second.
class CAnimateCtrl : public QLabel, public tvx::Animation {
    Q_OBJECT
public:
    explicit CAnimateCtrl(QWidget* parent = nullptr);
    void Play() override;  // from the first frame, repeating
    void Stop() override;  // stopped on the first frame
    bool IsPlaying() const { return m_timer.isActive(); }

private:
    void ShowFrame(int frame);
    QList<QPixmap> m_frames;
    QTimer m_timer;
    int m_frame = 0;
};
