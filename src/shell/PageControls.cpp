#include "shell/PageControls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace velto {

int InsertSorted(QComboBox* box, const QString& text, const QVariant& data) {
    int at = 0;
    while (at < box->count() && QString::compare(box->itemText(at), text, Qt::CaseInsensitive) <= 0) ++at;
    box->insertItem(at, text, data);
    return at;
}

bool SameKeyName(const QString& a, const QString& b) {
    const std::string x = ToSetting(a), y = ToSetting(b);
    if (x.size() != y.size()) return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (std::size_t i = 0; i < x.size(); ++i)
        if (upper(x[i]) != upper(y[i])) return false;
    return true;
}

int FindKeyName(const QComboBox* box, const QString& text) {
    for (int i = 0; i < box->count(); ++i)
        if (SameKeyName(box->itemText(i), text)) return i;
    return -1;
}

int FindPrefixIgnoringCase(const QComboBox* box, const QString& prefix) {
    for (int i = 0; i < box->count(); ++i)
        if (box->itemText(i).startsWith(prefix, Qt::CaseInsensitive)) return i;
    return -1;
}

QValidator::State CByteLimitValidator::validate(QString& input, int&) const {
    return FitsStore(input, m_maxBytes) ? Acceptable : Invalid;
}

void LimitToStore(QLineEdit* edit, int maxBytes) { edit->setValidator(new CByteLimitValidator(maxBytes, edit)); }

bool FitsStore(const QString& text, int maxBytes) {
    return ToSetting(text).size() <= static_cast<std::size_t>(maxBytes);
}

void SetCheckedRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; clearing needs it relaxed.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) button->setChecked(false);
    group->setExclusive(true);
}

void CFieldExchange::Read() const {
    for (const auto& [box, field] : m_checks) *field = box->isChecked();
    for (const auto& [edit, field] : m_edits) *field = edit->text();
}

void CFieldExchange::Write() const {
    for (const auto& [box, field] : m_checks) box->setChecked(*field);
    for (const auto& [edit, field] : m_edits) edit->setText(*field);
}

QString NoBackslashText(const QString& what, const QString& name) {
    return QString("The %1 \"%2\" contains a backslash (\\), which a %1 cannot hold.\nPlease choose a name without one.")
        .arg(what, name);
}

}  // namespace velto
