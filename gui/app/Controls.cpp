#include "app/Controls.h"

#include <algorithm>

#include "app/Settings.h"
#include "platform/Profile.h"
#include "res/Images.h"

TickPacing ReadTickPacing() {
    TickPacing pacing;
    pacing.budgetMs = std::max(
        0, tvx::GetPrivateProfileInt("Transfer", "TickBudgetMs", 15, tvx::SettingsFilePath()));
    pacing.paced = pacing.budgetMs == 0;
    pacing.readWaitMs = pacing.paced ? 10 : std::min(pacing.budgetMs, 50);
    return pacing;
}

tvx::HttpSettings ReadHttpSettings() {
    tvx::HttpSettings settings;
    tvx::LoadTransferSettings(settings, tvx::SettingsFilePath());
    return settings;
}

CProgressCtrl::CProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
}

CAnimateCtrl::CAnimateCtrl(QWidget* parent)
    : QLabel(parent), m_frames(AnimationFrames(devicePixelRatioF())) {
    m_timer.setInterval(267);  // 266,667 microseconds a frame
    connect(&m_timer, &QTimer::timeout, this,
            [this] { ShowFrame((m_frame + 1) % m_frames.size()); });
    if (!m_frames.isEmpty())
        setFixedSize(m_frames.front().deviceIndependentSize().toSize());
    ShowFrame(0);
}

void CAnimateCtrl::ShowFrame(int frame) {
    m_frame = frame;
    if (frame >= 0 && frame < m_frames.size())
        setPixmap(m_frames[frame]);
}

void CAnimateCtrl::Play() {
    ShowFrame(0);
    m_timer.start();
}

void CAnimateCtrl::Stop() {
    m_timer.stop();
    ShowFrame(0);
}

void Describe(QWidget* control, const QString& name, const QString& description) {
    if (!name.isEmpty())
        control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}
