#include "app/CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Controls.h"
#include "app/Version.h"
#include "browser/EngineHardening.h"
#include "res/Images.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(
        tr("Info \xC3\xBC"
           "ber download"));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* banner = new QLabel(this);
    banner->setPixmap(ProductBanner(devicePixelRatioF()));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
    auto* address =
        new QLabel(tr("https://www.tarvex.de/   download service %1").arg(tvx::kVersion), this);
    auto* notice = new QLabel(tr("Tarvex Download Service. Free to use, at your own risk."), this);
    // The engine gets no security updates from the distribution: say which
    // one it is and how it runs.
    auto* engine = new QLabel(
        tr("Browser engine: %1, %2")
            .arg(EngineVersion(), PrepareBrowserEngine()
                                      ? tr("hardened")
                                      : tr("with its own defaults ([Browser] Hardened=0)")),
        this);
    engine->setObjectName(QStringLiteral("engineVersion"));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    layout->addWidget(banner, 0, 0, 1, 3);
    layout->addWidget(icon, 1, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(address, 1, 1, 1, 2);
    layout->addWidget(notice, 2, 1, 1, 2);
    layout->addWidget(engine, 3, 1, 1, 2);
    layout->addWidget(ok, 4, 2, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    Describe(this, {}, tr("The program's version and its browser engine"));
    Describe(ok, {}, tr("Closes this box"));
}
