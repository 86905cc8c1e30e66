#include "transfer/CEngineDownloadDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <cstdio>

#include "app/Controls.h"
#include "res/Images.h"

CEngineDownloadDlg::CEngineDownloadDlg(QWebEngineDownloadRequest* download, const QString& path,
                                       QWidget* parent)
    : QDialog(parent), m_download(download), m_path(path) {
    setWindowTitle(QStringLiteral("Tarvex Download Service"));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* banner = new QLabel(this);
    banner->setPixmap(ProductBanner(devicePixelRatioF()));
    layout->addWidget(banner);
    m_group = new QGroupBox(tr("Download: %1").arg(QFileInfo(path).fileName()), this);
    auto* groupLayout = new QVBoxLayout(m_group);
    m_progress = new CProgressCtrl(m_group);
    m_progress->setFixedHeight(14);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    groupLayout->addWidget(m_progress);
    m_group->setMinimumWidth(380);
    layout->addWidget(m_group);
    auto* bottom = new QHBoxLayout();
    m_status = new QLabel(tr("DownLoding"), this);
    m_close = new QPushButton(tr("Break / Exit"), this);
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_close);
    layout->addLayout(bottom);
    connect(m_close, &QPushButton::clicked, this, &CEngineDownloadDlg::reject);
    Describe(this, {}, tr("Downloads a file the browser was asked for"));
    Describe(m_progress, tr("Download progress"), tr("How much of the file has arrived"));
    Describe(m_close, {}, tr("Stops the download and closes this box"));
}

CEngineDownloadDlg::~CEngineDownloadDlg() {
    if (m_outcome == Outcome::Running && !m_partPath.isEmpty()) {
        if (m_download != nullptr) {
            disconnect(m_download, nullptr, this, nullptr);
            m_download->cancel();
        }
        QFile::remove(m_partPath);
    }
}

void CEngineDownloadDlg::Start() {
    if (m_download == nullptr) {
        End(Outcome::Failed, tr("Error: the download is gone"));
        return;
    }
    const QFileInfo target(m_path);
    const QString partName = target.fileName() + QStringLiteral(".part");
    QFile::remove(target.dir().filePath(partName));  // a part left by an earlier attempt
    m_download->setDownloadDirectory(target.absolutePath());
    m_download->setDownloadFileName(partName);
    connect(m_download, &QWebEngineDownloadRequest::receivedBytesChanged, this,
            &CEngineDownloadDlg::OnProgress);
    connect(m_download, &QWebEngineDownloadRequest::totalBytesChanged, this,
            &CEngineDownloadDlg::OnProgress);
    connect(m_download, &QWebEngineDownloadRequest::stateChanged, this,
            &CEngineDownloadDlg::OnStateChanged);
    m_download->accept();
    // The engine may name the part differently when the name is taken.
    m_partPath = QDir(m_download->downloadDirectory()).filePath(m_download->downloadFileName());
    OnStateChanged();
}

void CEngineDownloadDlg::OnProgress() {
    if (m_download == nullptr || m_outcome != Outcome::Running)
        return;
    const qint64 total = m_download->totalBytes();
    const qint64 received = m_download->receivedBytes();
    if (total > 0) {
        m_progress->setValue(static_cast<int>(received * 100 / total));
        m_group->setTitle(tr("Download: %1 Byte %2").arg(total).arg(QFileInfo(m_path).fileName()));
    }
}

void CEngineDownloadDlg::OnStateChanged() {
    if (m_download == nullptr || m_outcome != Outcome::Running)
        return;
    switch (m_download->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted: {
            // rename() replaces an existing file in one step.
            const QByteArray from = QFile::encodeName(m_partPath);
            const QByteArray to = QFile::encodeName(m_path);
            if (std::rename(from.constData(), to.constData()) != 0) {
                QFile::remove(m_partPath);
                End(Outcome::Failed, tr("Error: cannot write %1").arg(m_path));
                break;
            }
            m_progress->setValue(100);
            End(Outcome::Saved, tr("Saved: %1 Byte %2").arg(QFileInfo(m_path).size()).arg(m_path));
            break;
        }
        case QWebEngineDownloadRequest::DownloadCancelled:
        case QWebEngineDownloadRequest::DownloadInterrupted:
            QFile::remove(m_partPath);
            End(Outcome::Failed, tr("Error: %1").arg(m_download->interruptReasonString()));
            break;
        default:
            OnProgress();
            break;
    }
}

void CEngineDownloadDlg::End(Outcome outcome, const QString& text) {
    m_outcome = outcome;
    m_status->setText(text);
    m_close->setText(tr("Close"));
    emit Ended(outcome);
}

void CEngineDownloadDlg::reject() {
    if (m_outcome == Outcome::Running) {
        m_outcome = Outcome::Broken;
        if (m_download != nullptr)
            m_download->cancel();
        QFile::remove(m_partPath);
        emit Ended(Outcome::Broken);
    }
    QDialog::reject();
}
