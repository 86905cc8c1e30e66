#include "transfer/CFileDownloadDlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Controls.h"
#include "app/DesktopNotice.h"
#include "app/MessageBox.h"
#include "app/Translation.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "res/Images.h"
#include "session/CStatusView.h"

CFileDownloadDlg::CFileDownloadDlg(QWidget* parent, const tvx::HttpSettings& settings)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tarvex Download Service"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* top = new QHBoxLayout();
    m_animation = new CAnimateCtrl(this);
    auto* banner = new QLabel(this);
    banner->setPixmap(ProductBanner(devicePixelRatioF()));
    top->addWidget(m_animation);
    top->addSpacing(8);
    top->addWidget(banner);
    top->addStretch();
    layout->addLayout(top);

    m_group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(m_group);
    m_progress = new CProgressCtrl(m_group);
    m_progress->setFixedHeight(14);
    groupLayout->addWidget(m_progress);
    m_progressLine = new QLabel(m_group);
    groupLayout->addWidget(m_progressLine);
    m_group->setMinimumWidth(380);
    layout->addWidget(m_group);

    auto* bottom = new QHBoxLayout();
    auto* ok = new QPushButton(tr("OK download"), this);
    ok->setVisible(false);  // the dialog starts by itself
    ok->setAutoDefault(false);
    m_status = new QLabel(tr("PRESS OK FOR START"), this);
    m_status->setAlignment(Qt::AlignCenter);
    m_break = new QPushButton(tr("Break / Exit"), this);
    // Only a click, Esc or the close box break a download off, never Enter.
    m_break->setAutoDefault(false);
    bottom->addWidget(ok);
    bottom->addStretch();
    bottom->addWidget(m_status);
    bottom->addStretch();
    bottom->addWidget(m_break);
    layout->addLayout(bottom);
    connect(m_break, &QPushButton::clicked, this, &CFileDownloadDlg::reject);
    Describe(this, {}, tr("Downloads one file and shows how far it has come"));
    Describe(m_progress, tr("Download progress"), tr("How much of the file is on disk"));
    Describe(m_break, {},
             tr("Stops the download; what has arrived is kept and the next download resumes it"));

    const TickPacing pacing = ReadTickPacing();
    m_budgetMs = pacing.budgetMs;
    tvx::DownloadDialogUi& ui = *this;
    // The settings file's network settings, with what the caller adds for
    // this download (the browser's cookies and the page as Referer).
    tvx::HttpSettings http = ReadHttpSettings();
    http.referer = settings.referer;
    http.cookies = settings.cookies;
    m_download =
        std::make_unique<tvx::CFileDownload>(ui, http, tvx::CurrentDirectory(), pacing.paced);
    m_download->SetReadWait(pacing.readWaitMs);
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &CFileDownloadDlg::OnTimer);
}

CFileDownloadDlg::~CFileDownloadDlg() = default;

int CFileDownloadDlg::SetParameters(const std::string& text) {
    return m_download->SetParameters(text);
}

int CFileDownloadDlg::DoModal() {
    const auto began = std::chrono::steady_clock::now();
    int result;
    if (m_download->Start()) {
        if (m_started)
            m_started({});
        m_timer.start();
        result = exec();
    } else {
        if (m_started) {
            const std::string line = m_download->EndLogLine();
            m_started(m_download->Outcome() == tvx::DownloadOutcome::UpToDate
                          ? std::string()
                          : "tvx could not start it: " + line.substr(line.rfind(" : ") + 3));
        }
        result = m_download->Result();
    }
    ReportEnd(std::chrono::steady_clock::now() - began);
    return result;
}

void CFileDownloadDlg::OnTimer() {
    if (m_download->Tick(m_budgetMs) == tvx::CFileDownload::TickResult::Close) {
        EndWith(m_download->Result());
        return;
    }
    ShowProgressLine();
}

void CFileDownloadDlg::ShowProgressLine() {
    const tvx::CTransfer& transfer = m_download->Transfer();
    if (transfer.ContentLength() <= 0)
        return;  // not open yet
    const auto now = tvx::CProgressLine::Clock::now();
    if (!m_lineStarted) {
        m_lineStarted = true;
        m_line.Start(transfer.OnDisk(), now);
    }
    if (m_line.Due(now)) {
        m_progressLine->setText(
            CoreText(m_line.Text(transfer.OnDisk(), transfer.ContentLength(), now)) +
            ConnectionsText(transfer.ConnectionCount()));
    }
}

void CFileDownloadDlg::ReportEnd(std::chrono::steady_clock::duration took) {
    if (m_download->Outcome() == tvx::DownloadOutcome::Usage)
        return;  // nothing was asked for
    const std::string line = m_download->EndLogLine();
    WriteLog(line, true);
    const bool ok = m_download->Outcome() == tvx::DownloadOutcome::Complete;
    NoticeWorkEnded(took, ok ? tr("Download finished") : tr("Download ended"),
                    QString::fromStdString(tvx::DisplayText(line.substr(line.find(" : ") + 3))));
}

void CFileDownloadDlg::EndWith(int result) {
    m_timer.stop();
    m_download->Close(result);
    done(m_download->Result());
}

void CFileDownloadDlg::reject() {
    EndWith(tvx::CFileDownload::kResultBroken);
}

void CFileDownloadDlg::closeEvent(QCloseEvent* event) {
    EndWith(tvx::CFileDownload::kResultBroken);
    event->accept();
}

void CFileDownloadDlg::Notice(const std::string& text) {
    // A transfer that starts over says so in the log pane, not in a box the
    // user would have to answer.
    WriteLog(m_download->Parameters().address + ": " + text, true);
}

void CFileDownloadDlg::MessageBox(const std::string& text) {
    ShowMessageBox(text);
}
void CFileDownloadDlg::SetStatusText(const std::string& text) {
    m_status->setText(CoreText(text));
}
void CFileDownloadDlg::SetFileLine(const std::string& text) {
    m_group->setTitle(CoreText(text));
}
tvx::Progress& CFileDownloadDlg::FileProgress() {
    return *m_progress;
}
tvx::Animation& CFileDownloadDlg::RunningAnimation() {
    return *m_animation;
}
