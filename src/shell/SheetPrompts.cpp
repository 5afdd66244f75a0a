#include "shell/SheetPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include "shell/PageControls.h"

namespace velto {

QStringList NameFiltersFrom(const QString& filter) {
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1String("*.*"), QLatin1String("*"));
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The dialog shows the description alone (details hidden) and
        // filters with the trailing parenthesised patterns.
        filters << parts[i] + QLatin1String(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

namespace {

void QtMessage(QWidget* parent, const QString& text, SheetPrompts::Kind kind) {
    QMessageBox box(kind == SheetPrompts::Kind::Information ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("VeltoMail"), text, QMessageBox::Ok, parent);
    // A listing's failure and folder names are a server's words: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtOpenExistingFile(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(NameFiltersFrom(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

}  // namespace

SheetPrompts& SheetPrompts::Current() {
    static SheetPrompts prompts{QtMessage, QtOpenExistingFile};
    return prompts;
}

bool BrowseFileInto(QWidget* page, QLineEdit* edit, QString& field) {
    const QString path = SheetPrompts::Current().openExistingFile(page, QStringLiteral("All Files (*.*)|*.*|"));
    if (path.isEmpty() || !FitsStore(path)) return false;
    field = path;
    edit->setText(path);
    return true;
}

}  // namespace velto
