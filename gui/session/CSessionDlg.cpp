#include "session/CSessionDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Controls.h"
#include "app/DesktopNotice.h"
#include "app/MessageBox.h"
#include "app/Translation.h"
#include "app/Settings.h"
#include "platform/Text.h"
#include "res/Images.h"
#include "session/CStatusView.h"
#include "session/WorkList.h"

namespace {
QGroupBox* BarGroup(CProgressCtrl*& bar, QWidget* parent) {
    auto* group = new QGroupBox(parent);
    auto* layout = new QVBoxLayout(group);
    bar = new CProgressCtrl(group);
    bar->setFixedHeight(14);
    layout->addWidget(bar);
    group->setMinimumWidth(380);
    return group;
}
}  // namespace

CSessionDlg::CSessionDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Load Internetfiles - Please ! First connect the Internet"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* top = new QHBoxLayout();
    m_animation = new CAnimateCtrl(this);
    auto* logo = new QLabel(this);
    logo->setPixmap(ProductBanner(devicePixelRatioF()));
    top->addWidget(m_animation);
    top->addSpacing(8);
    top->addWidget(logo);
    top->addStretch();
    layout->addLayout(top);
    m_upperGroup = BarGroup(m_upper, this);
    m_lowerGroup = BarGroup(m_lower, this);
    layout->addWidget(m_upperGroup);
    layout->addWidget(m_lowerGroup);
    m_progressLine = new QLabel(m_lowerGroup);
    m_lowerGroup->layout()->addWidget(m_progressLine);
    auto* bottom = new QHBoxLayout();
    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setDefault(true);
    // Enter starts the session and nothing else: once OK is disabled no
    // other button may take the default and turn Enter into a cancel.
    m_ok->setAutoDefault(false);
    m_phase = new QLabel(tr("PRESS OK FOR START"), this);
    m_phase->setAlignment(Qt::AlignCenter);
    m_cancel = new QPushButton(tr("Abbrechen"), this);
    m_cancel->setAutoDefault(false);
    bottom->addWidget(m_ok);
    bottom->addStretch();
    bottom->addWidget(m_phase);
    bottom->addStretch();
    bottom->addWidget(m_cancel);
    layout->addLayout(bottom);
    connect(m_ok, &QPushButton::clicked, this, &CSessionDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSessionDlg::reject);
    Describe(this, {},
             tr("Checks the checked links against their servers and downloads what is new, "
                "changed or incomplete"));
    Describe(m_upper, tr("Current link"),
             tr("How far the check has come, then how much of the file being downloaded is "
                "on disk"));
    Describe(m_lower, tr("Whole session"), tr("How much of the session is done"));
    Describe(m_ok, {}, tr("Starts the session"));
    Describe(m_cancel, {},
             tr("Stops the session; a download broken off resumes in the next session"));

    const TickPacing pacing = ReadTickPacing();
    m_budgetMs = pacing.budgetMs;
    tvx::SessionDialogUi& ui = *this;
    m_session = std::make_unique<tvx::CSession>(ui, ReadHttpSettings(), tvx::g_startDirectory,
                                                pacing.paced, tvx::kWorkListFileName);
    m_session->SetReadWait(pacing.readWaitMs);
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &CSessionDlg::OnTimer);
    m_session->OnInitDialog();
}

CSessionDlg::~CSessionDlg() = default;

int CSessionDlg::DoModal() {
    // Placed near the upper left of the window it belongs to.
    if (QWidget* owner = parentWidget())
        move(owner->mapToGlobal(QPoint(10, 150)));
    return exec();
}

void CSessionDlg::WriteLog(const std::string& text, bool lineEnd) {
    ::WriteLog(text, lineEnd);
}

void CSessionDlg::accept() {
    if (!m_ok->isEnabled())
        return;
    m_began = std::chrono::steady_clock::now();
    m_session->OnOK();
}

void CSessionDlg::OnTimer() {
    m_session->OnTimer(m_budgetMs);
    if (m_session->GetState() != tvx::CSession::State::Downloading)
        return;
    const tvx::SessionTotals& totals = m_session->Totals();
    const auto now = tvx::CProgressLine::Clock::now();
    if (!m_lineStarted) {
        m_lineStarted = true;
        m_line.Start(totals.running, now);
    }
    if (m_line.Due(now)) {
        m_progressLine->setText(CoreText(m_line.Text(totals.running, totals.expected, now)) +
                                ConnectionsText(m_session->ConnectionCount()));
    }
}

void CSessionDlg::reject() {
    m_session->OnCancel();
}

void CSessionDlg::closeEvent(QCloseEvent* event) {
    m_session->OnClose();
    event->accept();
}

void CSessionDlg::Write(const std::string& text, bool lineEnd) {
    WriteLog(text, lineEnd);
}
void CSessionDlg::MessageBox(const std::string& text) {
    ShowMessageBox(text, MessageButtons::Ok, this);
}
void CSessionDlg::SetPhaseCaption(const std::string& text) {
    m_phase->setText(CoreText(text));
}
void CSessionDlg::SetUpperCaption(const std::string& text) {
    m_upperGroup->setTitle(CoreText(text));
}
void CSessionDlg::SetLowerCaption(const std::string& text) {
    m_lowerGroup->setTitle(CoreText(text));
}
tvx::Progress& CSessionDlg::UpperBar() {
    return *m_upper;
}
tvx::Progress& CSessionDlg::LowerBar() {
    return *m_lower;
}
tvx::Animation& CSessionDlg::RunningAnimation() {
    return *m_animation;
}
void CSessionDlg::EnableOk(bool enable) {
    m_ok->setEnabled(enable);
}
void CSessionDlg::Refresh() {
    // Paints and lays out the dialog (and lets its animation move) without
    // taking any input: the check phase runs to its end inside OK.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
void CSessionDlg::StartTimer() {
    m_timer.start();
}
void CSessionDlg::StopTimer() {
    m_timer.stop();
}
void CSessionDlg::EndDialog(int result) {
    if (m_began != std::chrono::steady_clock::time_point{}) {
        const tvx::SessionTotals& totals = m_session->Totals();
        const QString how = result == tvx::CSession::kResultBroken ? tr("broken off")
                            : m_session->Errors() != 0
                                ? tr("%n errors", nullptr, m_session->Errors())
                                : tr("no errors");
        NoticeWorkEnded(std::chrono::steady_clock::now() - m_began, tr("Download session ended"),
                        tr("%1 of %2 bytes, %3")
                            .arg(static_cast<long long>(totals.running))
                            .arg(static_cast<long long>(totals.expected))
                            .arg(how));
    }
    done(result);
}
