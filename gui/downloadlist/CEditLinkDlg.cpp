#include "downloadlist/CEditLinkDlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/MessageBox.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/ListCommands.h"
#include "res/Pictures.h"

namespace {

constexpr int kFieldMax = 127;
constexpr int kPictureButtons = 8;

QString FromLocal8(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal8(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QLineEdit* AddField(QVBoxLayout* layout, const QString& caption, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    auto* inner = new QVBoxLayout(group);
    auto* edit = new QLineEdit(group);
    edit->setMaxLength(kFieldMax);
    edit->setMinimumWidth(520);
    inner->addWidget(edit);
    layout->addWidget(group);
    return edit;
}

}  // namespace

CEditLinkDlg::CEditLinkDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("EDIT a Link for the TreeControl"));
    setWindowIcon(AppIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_editAddress = AddField(
        layout, QStringLiteral("URL: p.e    http://www.example.com/pub/tools/setup.zip"), this);
    m_editPath = AddField(layout,
                          QStringLiteral("HDD: p.e    downloads\\tools\\setup.zip  or  "
                                         "c:\\tarvex_service\\downloads\\setup.zip"),
                          this);
    m_editText = AddField(
        layout, QStringLiteral("TREE LIST TEXT: p.e    Setup of the tools, version 1.2"), this);

    auto* pictures = new QHBoxLayout();
    m_pictures = new QButtonGroup(this);
    for (int k = 0; k < kPictureButtons; ++k) {
        auto* image = new QLabel(this);
        image->setPixmap(ListPicture(k));
        auto* button = new QRadioButton(this);
        button->setAccessibleName(QStringLiteral("Picture %1").arg(k));
        m_pictures->addButton(button, k);
        pictures->addWidget(image);
        pictures->addWidget(button);
        pictures->addSpacing(12);
    }
    pictures->addStretch();
    layout->addLayout(pictures);
    connect(m_pictures, &QButtonGroup::idClicked, this, [this](int k) { m_nPicture = k; });

    auto* bottom = new QHBoxLayout();
    auto* logo = new QLabel(this);
    logo->setPixmap(ProductBanner());
    bottom->addWidget(logo);
    bottom->addStretch();
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_ok);
    layout->addLayout(bottom);
    connect(m_ok, &QPushButton::clicked, this, &CEditLinkDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CEditLinkDlg::reject);

    // The keyboard starts on OK, then Cancel, then the three fields.
    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_editAddress);
    setTabOrder(m_editAddress, m_editPath);
    setTabOrder(m_editPath, m_editText);
    setTabOrder(m_editText, m_pictures->button(0));
}

void CEditLinkDlg::OnInitDialog() {
    const tvx::LinkRecord& record = tvx::g_editRecord;
    m_nPicture = record.picture;
    if (record.kind == tvx::LinkRecord::kLink) {
        m_strPath = FromLocal8(record.Path());
        m_strAddress = FromLocal8(record.Address());
    } else {
        // A folder has no address and no path; the fields show their
        // initial examples, disabled.
        m_editAddress->setEnabled(false);
        m_editPath->setEnabled(false);
    }
    m_strText = FromLocal8(record.Text());
    // A picture without a button (8, or a hand-edited 9) selects none and is
    // kept unless the user picks one.
    m_pictures->setExclusive(false);
    for (QAbstractButton* button : m_pictures->buttons())
        button->setChecked(false);
    m_pictures->setExclusive(true);
    if (QAbstractButton* button = m_pictures->button(m_nPicture))
        button->setChecked(true);
    m_editAddress->setText(m_strAddress);
    m_editPath->setText(m_strPath);
    m_editText->setText(m_strText);
    m_ok->setFocus();
}

int CEditLinkDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CEditLinkDlg::ClickPicture(int picture) {
    if (QAbstractButton* button = m_pictures->button(picture))
        button->click();
}

void CEditLinkDlg::accept() {
    m_strAddress = m_editAddress->text().left(kFieldMax);
    m_strPath = m_editPath->text().left(kFieldMax);
    m_strText = m_editText->text().left(kFieldMax);
    // The list file separates its fields with commas and has no escape for
    // them: an address or path with a comma would come back split.
    if (tvx::g_editRecord.kind == tvx::LinkRecord::kLink &&
        (m_strAddress.contains(QLatin1Char(',')) || m_strPath.contains(QLatin1Char(',')))) {
        ShowMessageBox(
            "An address or a path cannot hold a comma: the download list separates "
            "its fields with commas.",
            MessageButtons::Ok, this);
        (m_strAddress.contains(QLatin1Char(',')) ? m_editAddress : m_editPath)->setFocus();
        return;
    }
    tvx::LinkRecord& record = tvx::g_editRecord;
    record.picture = static_cast<std::uint8_t>(m_nPicture);
    record.SetPath(ToLocal8(m_strPath));
    record.SetText(ToLocal8(m_strText));
    record.SetAddress(ToLocal8(m_strAddress));
    QDialog::accept();
}
