#pragma once
// The about box: the product banner, the icon, the product's address and
// version, and the maker's notice.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
