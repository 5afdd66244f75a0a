#pragma once
// The rows of the message list: one per shown record, newest first, five
// columns. Rows keep 8-bit text; it becomes QString only when a view asks.
#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/MailboxNames.h"
#include "engine/MessageStore.h"
#include "protocol/MailHeader.h"

namespace velto {

// "Sender" column: display name or bare address, without quotes or brackets.
std::string CleanSender(const std::string& from);
// Image 1 (the spam mark) when the account address is not in the To field.
// Both sides are compared in lower case.
bool IsSpamMarked(const std::string& to, const std::string& accountAddress);
// 8-bit header text for display: UTF-8 when it is valid UTF-8, else Latin-1.
QString ToDisplay(const std::string& text);

class MessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What a row shows: decoded subject and sender, formatted date, size,
    // mailbox and the spam mark. Worked out from the record the first time
    // the row is looked at, so a rebuild of a long list costs little more
    // than copying the records, which share their text with the list.
    struct Row {
        std::string subject, sender, date, size, mailbox;
        int image = 0;
        std::uint32_t id = 0;  // the record's id checksum
    };
    enum Column { kSubject, kSender, kDate, kSize, kMailbox, kColumnCount };
    // Item-data role: the id checksum; image role: 0 or 1.
    static constexpr int kIdRole = Qt::UserRole + 1;
    static constexpr int kImageRole = Qt::UserRole + 2;

    struct ColumnInfo {
        const char* caption;
        int width;
        Qt::Alignment alignment;
    };
    static const ColumnInfo kColumns[kColumnCount];

    explicit MessageListModel(QObject* parent = nullptr);

    // One row from a record, as the list shows it.
    static Row MakeRow(const CMailHeader& record);
    // Replaces every row (records given oldest first; shown newest first).
    void Reset(std::vector<StoredHeader> recordsOldestFirst);
    // What the MailBox column calls each account's records, from the next Reset.
    void SetMailboxNames(MailboxNames names) { m_names = std::move(names); }
    void Clear();

    // UI thread.
    const Row& RowAt(int row) const;
    std::uint32_t IdAt(int row) const { return m_rows[m_rows.size() - 1 - static_cast<std::size_t>(row)].record.Id(); }
    // The id with the account the row's record came from.
    MessageKey KeyAt(int row) const { return MessageKey::Of(m_rows[m_rows.size() - 1 - static_cast<std::size_t>(row)].record); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Entry {
        StoredHeader record;
        std::unique_ptr<Row> shown;  // made when first looked at
    };
    mutable std::vector<Entry> m_rows;  // oldest first; row 0 on screen is the last one
    MailboxNames m_names;
};

}  // namespace velto
