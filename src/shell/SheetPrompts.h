#pragma once
// The option pages ask the user through these hooks rather than opening
// message boxes and file choosers themselves, so that the pages can be
// driven without anyone at the screen (tests replace the hooks).
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

class QLineEdit;
class QWidget;

namespace velto {

struct SheetPrompts {
    enum class Kind { Warning, Information };
    // A message box captioned "VeltoMail" with an OK button.
    std::function<void(QWidget* parent, const QString& text, Kind kind)> message;
    // The open-file chooser; the filter has the "description|pattern|" form
    // and the file must exist. Returns the full path, or empty if cancelled.
    std::function<QString(QWidget* parent, const QString& filter)> openExistingFile;
    // The hooks in use; Qt's own dialogs unless replaced.
    static SheetPrompts& Current();
};

// The pages' "Browse": lets the user pick an existing file of any kind; a
// path the store can hold becomes the field and the edit's text. Only that
// edit changes, so what was typed elsewhere on the page stays.
bool BrowseFileInto(QWidget* page, QLineEdit* edit, QString& field);

// Turns a "description|pattern|..." filter into file-dialog name filters. A
// "*.*" pattern means every file, also those without a dot in their name.
QStringList NameFiltersFrom(const QString& filter);

}  // namespace velto
