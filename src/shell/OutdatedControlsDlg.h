#pragma once
// "VELTO MAIL 98 - IMPORTANT": the toolkit the program runs on is too old.
#include <QDialog>

namespace velto {

class COutdatedControlsDlg : public QDialog {
    Q_OBJECT
public:
    COutdatedControlsDlg(unsigned major, unsigned minor, QWidget* parent = nullptr);
    static QString WarningText();
    // major + minor x 0.01, as one decimal number (4.70 reads 4.7).
    static QString VersionText(unsigned major, unsigned minor);
};

}  // namespace velto
