#pragma once
// The link editor: edits one record of the download list, the address, local
// path, list text and picture of a link or the name and picture of a folder.
// It works on the program-wide edit record; the caller copies that back into
// the table only when the dialog ends with OK. Fields take up to kLinkTextMax
// characters (more when a stored text is longer); texts are shown and kept as
// ListText.h says.

#include <QDialog>
#include <QString>
#include <string>

class QButtonGroup;
class QLineEdit;
class QPushButton;

class CEditLinkDlg : public QDialog {
    Q_OBJECT
public:
    explicit CEditLinkDlg(QWidget* parent = nullptr);

    // Fills the controls from the edit record (shown folder or link).
    void OnInitDialog();
    // Shows the dialog modally; QDialog::Accepted when OK ended it.
    int DoModal();

    QLineEdit* AddressEdit() const { return m_editAddress; }
    QLineEdit* PathEdit() const { return m_editPath; }
    QLineEdit* TextEdit() const { return m_editText; }
    QPushButton* OkButton() const { return m_ok; }
    int Picture() const { return m_nPicture; }
    void ClickPicture(int picture);

public slots:
    void accept() override;  // OK: the texts and the picture go into the edit record

private:
    int m_nPicture = 0;
    QLineEdit* m_editAddress = nullptr;
    QLineEdit* m_editPath = nullptr;
    QLineEdit* m_editText = nullptr;
    QString m_strPath = QStringLiteral("c:\\tarvex_service\\downloads\\");
    QString m_strText;
    QString m_strAddress = QStringLiteral("http:\\www.");
    // The stored bytes of the three texts as the dialog opened them; a field
    // the user leaves unchanged gives these back.
    std::string m_bytesAddress, m_bytesPath, m_bytesText;
    QButtonGroup* m_pictures = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
