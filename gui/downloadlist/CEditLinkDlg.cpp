#include "downloadlist/CEditLinkDlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Controls.h"
#include "app/MessageBox.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/ListCommands.h"
#include "downloadlist/ListText.h"
#include "res/Images.h"

namespace {

constexpr int kPictureButtons = 8;

// Shows a stored text in a field with room for kLinkTextMax characters, or
// for all of it when it is longer: setting a text never cuts it.
void ShowField(QLineEdit* edit, const QString& text) {
    edit->setMaxLength(std::max(tvx::kLinkTextMax, static_cast<int>(text.size())));
    edit->setText(text);
}

QLineEdit* AddField(QVBoxLayout* layout, const QString& caption, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    auto* inner = new QVBoxLayout(group);
    auto* edit = new QLineEdit(group);
    edit->setMaxLength(tvx::kLinkTextMax);
    edit->setMinimumWidth(520);
    inner->addWidget(edit);
    layout->addWidget(group);
    return edit;
}

}  // namespace

CEditLinkDlg::CEditLinkDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("EDIT a Link for the TreeControl"));
    setWindowIcon(AppIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_editAddress =
        AddField(layout, tr("URL: p.e    http://www.example.com/pub/tools/setup.zip"), this);
    m_editPath = AddField(layout,
                          tr("HDD: p.e    downloads\\tools\\setup.zip  or  "
                             "c:\\tarvex_service\\downloads\\setup.zip"),
                          this);
    m_editText =
        AddField(layout, tr("TREE LIST TEXT: p.e    Setup of the tools, version 1.2"), this);

    auto* pictures = new QHBoxLayout();
    m_pictures = new QButtonGroup(this);
    for (int k = 0; k < kPictureButtons; ++k) {
        auto* image = new QLabel(this);
        image->setPixmap(ListIcon(k).pixmap(kListIconSize, devicePixelRatioF()));
        auto* button = new QRadioButton(this);
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
    logo->setPixmap(ProductBanner(devicePixelRatioF()));
    bottom->addWidget(logo);
    bottom->addStretch();
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setDefault(true);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_ok);
    layout->addLayout(bottom);
    connect(m_ok, &QPushButton::clicked, this, &CEditLinkDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CEditLinkDlg::reject);

    // The keyboard starts on OK (see OnInitDialog); Tab then goes through
    // the dialog as it reads: the three fields, the pictures, Cancel, OK.
    setTabOrder(m_editAddress, m_editPath);
    setTabOrder(m_editPath, m_editText);
    setTabOrder(m_editText, m_pictures->button(0));
    for (int k = 1; k < kPictureButtons; ++k)
        setTabOrder(m_pictures->button(k - 1), m_pictures->button(k));
    setTabOrder(m_pictures->button(kPictureButtons - 1), m_cancel);
    setTabOrder(m_cancel, m_ok);

    Describe(this, {},
             tr("A link of the download list: the file's address on the web, where it is kept "
                "on disk, and the text and picture the list shows for it"));
    Describe(m_editAddress, tr("Address"),
             tr("The file's address on the web, whole or below the list's web address"));
    Describe(m_editPath, tr("Path on disk"),
             tr("Where the file is kept, below the list's download folder or as a whole path"));
    Describe(m_editText, tr("Text"), tr("The text the download list shows for the link"));
    const QString pictureNames[kPictureButtons] = {
        tr("Folder"),  tr("Floppy disk"),     tr("Information sign"), tr("Book"),
        tr("Page of text"), tr("Archive"), tr("Program"),          tr("Web page")};
    for (int k = 0; k < kPictureButtons; ++k)
        Describe(m_pictures->button(k), pictureNames[k],
                 tr("The picture the download list shows for the link"));
    Describe(m_cancel, {}, tr("Closes the editor and leaves the link as it was"));
    Describe(m_ok, {}, tr("Keeps what the fields say and closes the editor"));
}

void CEditLinkDlg::OnInitDialog() {
    const tvx::LinkRecord& record = tvx::g_editRecord;
    m_nPicture = record.picture;
    if (record.kind == tvx::LinkRecord::kLink) {
        m_bytesAddress = record.Address();
        m_bytesPath = record.Path();
        m_strPath = ShownText(m_bytesPath);
        m_strAddress = ShownText(m_bytesAddress);
    } else {
        // A folder has no address and no path; the fields show their
        // initial examples, disabled.
        m_editAddress->setEnabled(false);
        m_editPath->setEnabled(false);
        m_bytesAddress = m_strAddress.toStdString();
        m_bytesPath = m_strPath.toStdString();
    }
    m_bytesText = record.Text();
    m_strText = ShownText(m_bytesText);
    // A picture without a button (8, or a hand-edited 9) selects none and is
    // kept unless the user picks one.
    m_pictures->setExclusive(false);
    for (QAbstractButton* button : m_pictures->buttons())
        button->setChecked(false);
    m_pictures->setExclusive(true);
    if (QAbstractButton* button = m_pictures->button(m_nPicture))
        button->setChecked(true);
    ShowField(m_editAddress, m_strAddress);
    ShowField(m_editPath, m_strPath);
    ShowField(m_editText, m_strText);
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
    m_strAddress = m_editAddress->text();
    m_strPath = m_editPath->text();
    m_strText = m_editText->text();
    // The list file separates its fields with commas and has no escape for
    // them: an address or path with a comma would come back split.
    if (tvx::g_editRecord.kind == tvx::LinkRecord::kLink &&
        (m_strAddress.contains(QLatin1Char(',')) || m_strPath.contains(QLatin1Char(',')))) {
        ShowMessageBox(tr("An address or a path cannot hold a comma: the download list separates "
                          "its fields with commas.")
                           .toStdString(),
                       MessageButtons::Ok, this);
        (m_strAddress.contains(QLatin1Char(',')) ? m_editAddress : m_editPath)->setFocus();
        return;
    }
    tvx::LinkRecord& record = tvx::g_editRecord;
    record.picture = static_cast<std::uint8_t>(m_nPicture);
    // A field left as it was shown keeps the bytes that were read; a changed
    // one is stored as UTF-8, line breaks and other controls made spaces.
    record.SetPath(KeptOrEdited(m_strPath, m_bytesPath));
    record.SetText(KeptOrEdited(m_strText, m_bytesText));
    record.SetAddress(KeptOrEdited(m_strAddress, m_bytesAddress));
    QDialog::accept();
}
