#pragma once
// Driving the option pages offscreen: the prompts are recorded instead of
// shown, controls are found by caption or object name.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QTabWidget>
#include <QWidget>
#include <string>
#include <type_traits>

#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/SheetPrompts.h"
#include "support/qt/EngineFakes.h"
#include "support/MemoryHiveStorage.h"

namespace velto::test {

// Replaces the prompts for one test: messages are collected, the file
// chooser answers with nextFile.
class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = SheetPrompts::Current();
        SheetPrompts::Current().message = [this](QWidget*, const QString& text, SheetPrompts::Kind) {
            messages << text;
        };
        SheetPrompts::Current().openExistingFile = [this](QWidget*, const QString& filter) {
            filters << filter;
            return nextFile;
        };
    }
    void TearDown() override { SheetPrompts::Current() = m_saved; }

    QStringList messages;
    QStringList filters;
    QString nextFile;

private:
    SheetPrompts m_saved;
};

// The child control whose caption (buttons, group boxes) or object name is
// the text; fails the test when there is none.
template <class T>
T* Find(QWidget* root, const QString& text) {
    for (T* child : root->findChildren<T*>()) {
        if (child->objectName() == text) return child;
        if constexpr (std::is_base_of_v<QAbstractButton, T>) {
            if (child->text() == text) return child;
        }
    }
    ADD_FAILURE() << "no control " << text.toStdString();
    return nullptr;
}

inline QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

// The user picks the item with that text.
inline void Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

inline void Type(QWidget* root, const char* editName, const QString& text) {
    if (auto* edit = Find<QLineEdit>(root, QLatin1String(editName))) edit->setText(text);
}

inline QString Text(QWidget* root, const char* editName) {
    auto* edit = Find<QLineEdit>(root, QLatin1String(editName));
    return edit ? edit->text() : QString();
}

inline void Click(QWidget* root, const char* caption) {
    if (auto* button = Find<QAbstractButton>(root, QLatin1String(caption))) button->click();
}

// "Velto Mail Options" with its four pages, shown offscreen.
struct OpenSheet {
    explicit OpenSheet(IDialup* entries = nullptr, ISignIn* signIn = nullptr, ImapFolderLister lister = {}) {
        AddMailPages(sheet, &sound, entries ? entries : &dialup, signIn, std::move(lister));
        sheet.show();
    }
    QWidget* Page(int index) { return sheet.Tabs()->widget(index); }
    QWidget* Mailbox() { return Page(0); }
    QWidget* Internet() { return Page(2); }
    QWidget* Environment() { return Page(3); }
    // OK: true when the sheet closed.
    bool Ok() {
        sheet.accept();
        return !sheet.isVisible();
    }

    Journal journal;
    FakeSound sound;
    FakeDialup dialup{journal};
    CMailPropertySheet sheet;
};

// One key's part of a settings text: its header line and its values.
inline std::string Section(const std::string& text, const std::string& key) {
    const std::string head = "[HKEY_CURRENT_USER\\" + key + "]";
    const auto at = text.find(head);
    if (at == std::string::npos) return {};
    const auto end = text.find("\r\n\r\n", at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace velto::test
