#include "engine/MessageListModel.h"

#include <algorithm>
#include <cctype>

#include "protocol/MimeMessage.h"

namespace velto {

const MessageListModel::ColumnInfo MessageListModel::kColumns[kColumnCount] = {
    {"Subject", 200, Qt::AlignLeft | Qt::AlignVCenter},
    {"Sender", 200, Qt::AlignLeft | Qt::AlignVCenter},
    {"Date", 150, Qt::AlignHCenter | Qt::AlignVCenter},
    {"Size", 100, Qt::AlignRight | Qt::AlignVCenter},
    {"MailBox", 200, Qt::AlignLeft | Qt::AlignVCenter},
};

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n\v\f");
    return s.substr(first, last - first + 1);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::string CleanSender(const std::string& from) {
    std::string s = from;
    if (!s.empty() && s[0] == '"') s[0] = ' ';
    if (auto q = s.find('"'); q != std::string::npos) s.erase(q);
    if (auto b = s.find_first_of("<>"); b != std::string::npos) s.erase(b);
    return Trim(s);
}

bool IsSpamMarked(const std::string& to, const std::string& accountAddress) {
    return Lower(to).find(Lower(accountAddress)) == std::string::npos;
}

QString ToDisplay(const std::string& text) {
    QString utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (!utf8.contains(QChar::ReplacementCharacter)) return utf8;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

MessageListModel::MessageListModel(QObject* parent) : QAbstractTableModel(parent) {}

MessageListModel::Row MessageListModel::MakeRow(const CMailHeader& record) {
    Row row;
    // The mark compares the raw bytes; only the shown texts are decoded.
    row.image = IsSpamMarked(record.m_to, record.m_accountAddress) ? 1 : 0;
    // Shown whole: a long subject or name is folded over several lines by
    // nearly every mailer, and the record keeps only the first.
    row.subject = DecodeHeaderText(record.Unfolded("Subject", record.m_subject));
    row.sender = CleanSender(DecodeHeaderText(record.UnfoldedFrom()));
    MailDate date;
    row.date = record.GetDate(date) ? date.Format() : record.m_date;
    row.size = std::to_string(record.m_size) + " Bytes";
    row.mailbox = record.m_accountServer;
    row.id = record.m_uidlHash;
    return row;
}

const MessageListModel::Row& MessageListModel::RowAt(int row) const {
    Entry& e = m_rows[m_rows.size() - 1 - static_cast<std::size_t>(row)];
    if (!e.shown) {
        e.shown = std::make_unique<Row>(MakeRow(e.record.Full()));
        e.shown->mailbox = m_names.Of(e.record.AccountServer(), e.record.AccountAddress());
    }
    return *e.shown;
}

void MessageListModel::Reset(std::vector<StoredHeader> recordsOldestFirst) {
    std::vector<Entry> rows;
    rows.reserve(recordsOldestFirst.size());
    for (auto& record : recordsOldestFirst) rows.push_back({std::move(record), nullptr});
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void MessageListModel::Clear() { Reset({}); }

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    if (role == Qt::ToolTipRole) {
        // A tip reads markup wherever it finds some: a subject's words stay words.
        const QString text = data(index, Qt::DisplayRole).toString();
        return text.isEmpty() ? QVariant()
                              : QVariant("<p style='white-space:pre'>" + text.toHtmlEscaped() + "</p>");
    }
    const Row& row = RowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kSubject: return ToDisplay(row.subject);
        case kSender: return ToDisplay(row.sender);
        case kDate: return ToDisplay(row.date);
        case kSize: return QString::fromStdString(row.size);
        case kMailbox: return ToDisplay(row.mailbox);
        default: return {};
        }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(kColumns[index.column()].alignment);
    case kIdRole: return QVariant::fromValue<quint32>(row.id);
    case kImageRole: return row.image;
    default: return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumns[section].caption);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(kColumns[section].alignment);
    return {};
}

}  // namespace velto
