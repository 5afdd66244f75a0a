#pragma once
// Small pieces the option pages share: sorted drop-down lists that search
// without regard to letter case, and edits that cannot hold more than the
// settings store reads back. Settings text converts in present/WidgetText.h.
#include <QString>
#include <QValidator>
#include <QVariant>
#include <string>
#include <utility>
#include <vector>

#include "present/WidgetText.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velto {

// The store reads back at most 1000 bytes of a value (anything longer
// silently ends the loading of its key) and names keys with at most 255.
constexpr int kMaxValueBytes = 1000;
constexpr int kMaxKeyNameBytes = 255;

// Inserts in alphabetical order, letter case ignored; returns the index.
int InsertSorted(QComboBox* box, const QString& text, const QVariant& data = {});
// Key names are equal when they differ at most in the case of ASCII letters,
// as the store compares them.
bool SameKeyName(const QString& a, const QString& b);
// First item naming the same key as the text; -1 if none.
int FindKeyName(const QComboBox* box, const QString& text);
// Names that become a key path (accounts, template profiles) cannot hold a
// backslash: it would store the record where loading never finds it. The
// box that says so, for a "MailBox name" or a "template name".
QString NoBackslashText(const QString& what, const QString& name);
// First item beginning with the text, letter case ignored; -1 if none.
int FindPrefixIgnoringCase(const QComboBox* box, const QString& prefix);

// Refuses text whose local 8-bit form is longer than the limit.
class CByteLimitValidator : public QValidator {
public:
    CByteLimitValidator(int maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
};
void LimitToStore(QLineEdit* edit, int maxBytes = kMaxValueBytes);
// True when the text fits the store (for text that did not come through an edit).
bool FitsStore(const QString& text, int maxBytes = kMaxValueBytes);

// Checks the radio button of that id in an exclusive group; -1 clears all.
void SetCheckedRadio(QButtonGroup* group, int id);

// Ties a page's fields to its check boxes and edits: Read copies what the
// controls show into the fields, Write the other way. The fields must
// outlive the exchange.
class CFieldExchange {
public:
    void Bind(QCheckBox* box, bool& field) { m_checks.emplace_back(box, &field); }
    void Bind(QLineEdit* edit, QString& field) { m_edits.emplace_back(edit, &field); }
    void Read() const;
    void Write() const;

private:
    std::vector<std::pair<QCheckBox*, bool*>> m_checks;
    std::vector<std::pair<QLineEdit*, QString*>> m_edits;
};

}  // namespace velto
