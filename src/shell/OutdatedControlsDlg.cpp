#include "shell/OutdatedControlsDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace velto {

namespace {
const char* const kHomePage = "https://veltomail.example.org/";
}

QString COutdatedControlsDlg::WarningText() {
    return QString::fromLatin1(
               "VeltoMail 98 has detected an outdated version of the common control dll supplied by microsoft. "
               "Please visit the VeltoMail98 Homepage at ") +
           QString::fromLatin1(kHomePage) +
           QString::fromLatin1(
               " to find out how to update your version of the common control. Please Update your version and "
               "Restart VeltoMail 98");
}

QString COutdatedControlsDlg::VersionText(unsigned major, unsigned minor) {
    return QString::number(major + minor * 0.01, 'g', 10);
}

COutdatedControlsDlg::COutdatedControlsDlg(unsigned major, unsigned minor, QWidget* parent) : QDialog(parent) {
    setWindowTitle("VELTO MAIL 98 - IMPORTANT");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Please Read..", this), 0, 0);
    auto* text = new QPlainTextEdit(WarningText(), this);
    text->setReadOnly(true);
    text->setObjectName("warning");
    grid->addWidget(text, 1, 0, 1, 2);
    grid->addWidget(new QLabel("CommDlg32.DLL Version Detected", this), 2, 0);
    auto* version = new QLineEdit(VersionText(major, minor), this);
    version->setReadOnly(true);
    version->setObjectName("version");
    grid->addWidget(version, 2, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 3, 0, 1, 2);
}

}  // namespace velto
