#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "shell/OutdatedControlsDlg.h"

namespace velto {
namespace {

TEST(OutdatedControlsDlg, ShowsTheWarningAndTheVersionFound) {
    COutdatedControlsDlg dlg(4, 70);
    EXPECT_EQ(dlg.windowTitle(), "VELTO MAIL 98 - IMPORTANT");
    const QString text = dlg.findChild<QPlainTextEdit*>("warning")->toPlainText();
    EXPECT_TRUE(text.startsWith("VeltoMail 98 has detected an outdated version of the common control dll supplied by "
                                "microsoft. Please visit the VeltoMail98 Homepage at "));
    EXPECT_TRUE(text.endsWith(" to find out how to update your version of the common control. Please Update your "
                              "version and Restart VeltoMail 98"));
    EXPECT_EQ(dlg.findChild<QLineEdit*>("version")->text(), "4.7");
    EXPECT_EQ(COutdatedControlsDlg::VersionText(4, 0), "4");
    EXPECT_EQ(COutdatedControlsDlg::VersionText(3, 95), "3.95");
}

}  // namespace
}  // namespace velto
