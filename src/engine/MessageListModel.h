#pragma once
// The rows of the message list: one per shown record, newest first, five
// columns. Rows keep 8-bit text; it becomes QString only when a view asks.
#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

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
    // A row is made from a record's texts cheaply; the shown texts (decoded
    // subject and sender, formatted date, size, spam mark) are worked out
    // the first time the row is looked at, so a rebuild of a long list costs
    // little more than copying it.
    struct Row {
        std::string subject, sender, date, size, mailbox;
        int image = 0;
        std::uint32_t id = 0;  // the record's id checksum
        // Raw parts until the row is cooked.
        std::string to, address;
        std::int32_t bytes = 0;
        bool cooked = false;
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
    // One row with the record's texts, shown texts still to be worked out.
    static Row RawRow(const CMailHeader& record);
    static void Cook(Row& row);
    // Replaces every row (rows given oldest first; shown newest first).
    void Reset(std::vector<Row> rowsOldestFirst);
    void Clear();

    // UI thread.
    const Row& RowAt(int row) const;
    std::uint32_t IdAt(int row) const { return m_rows[m_rows.size() - 1 - static_cast<std::size_t>(row)].id; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    mutable std::vector<Row> m_rows;  // oldest first; row 0 on screen is the last one
};

}  // namespace velto
