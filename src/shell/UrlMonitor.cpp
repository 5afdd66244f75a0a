#include "shell/UrlMonitor.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/Desktop.h"
#include "shell/ToolIcons.h"

namespace velto {

namespace {

constexpr int kLongest = 256;

// atoi's reading of a piece is 0: after white space and a sign, the leading
// digits are all zeros or there are none. (Asking for non-zero digits rather
// than the value keeps a long run of digits from wrapping round to 0.)
bool ReadsAsZero(QStringView piece) {
    qsizetype i = 0;
    const qsizetype n = piece.size();
    auto isSpace = [](QChar c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (i < n && isSpace(piece[i])) ++i;
    if (i < n && (piece[i] == '+' || piece[i] == '-')) ++i;
    for (; i < n && piece[i] >= '0' && piece[i] <= '9'; ++i)
        if (piece[i] != '0') return false;
    return true;
}

}  // namespace

// ---- the find dialog -------------------------------------------------------

CFindUrlDialog::CFindUrlDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Find Web Address");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Web address:", this));
    m_edit = new QLineEdit(this);
    layout->addWidget(m_edit);
    m_exact = new QRadioButton("Exact Match", this);
    m_closest = new QRadioButton("Closest Match", this);
    m_exact->setChecked(true);
    layout->addWidget(m_exact);
    layout->addWidget(m_closest);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int CFindUrlDialog::MatchMode() const { return m_closest->isChecked() ? ClosestMatch : ExactMatch; }

QString CFindUrlDialog::SearchText() const { return m_edit->text(); }

// ---- the list ------------------------------------------------------------------

CUrlMonitor::CUrlMonitor(IDesktop& desktop, QWidget* parent) : QTreeWidget(parent), m_desktop(desktop) {
    setObjectName("urlMonitor");
    setColumnCount(1);
    setHeaderLabels({"ClipBoard Monitor - Web Addresses"});
    setColumnWidth(0, 500);
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(16, 16));
    setFrameShadow(QFrame::Sunken);
    m_findPrompt = [](QWidget* owner, int& mode, QString& text) {
        CFindUrlDialog dialog(owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        mode = dialog.MatchMode();
        text = dialog.SearchText();
        return true;
    };
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { OpenSelected(); });
}

bool CUrlMonitor::LooksLikeNumericAddress(const QString& text) {
    if (text.size() >= kLongest) return false;
    // Split the way strtok does: runs of dots are one separator and empty
    // pieces do not count.
    const QStringList pieces = text.split('.', Qt::SkipEmptyParts);
    if (pieces.isEmpty()) return false;
    for (qsizetype i = 0; i < pieces.size() && i < 4; ++i)
        if (ReadsAsZero(pieces[i])) return false;
    return true;
}

bool CUrlMonitor::LooksLikeWebAddress(const QString& text) {
    const QString lowered = text.toLower();
    qsizetype position = lowered.indexOf("http");
    if (position < 0) position = lowered.indexOf("web");
    if (position >= 0 && position <= kLongest && text.size() <= kLongest) return true;
    return LooksLikeNumericAddress(text);
}

void CUrlMonitor::ScanClipboard() {
    QString text;
    if (!m_desktop.ClipboardText(text)) return;  // held by another program
    if (LooksLikeWebAddress(text)) AddUrl(text);
}

void CUrlMonitor::AddUrl(const QString& text) {
    static const QIcon icon = MakeUrlIcon();
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setIcon(0, icon);
    insertTopLevelItem(0, item);
}

QStringList CUrlMonitor::Urls() const {
    QStringList urls;
    for (int i = 0; i < topLevelItemCount(); ++i) urls << topLevelItem(i)->text(0);
    return urls;
}

void CUrlMonitor::OpenSelected() {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) m_desktop.Open(topLevelItem(i)->text(0));
}

void CUrlMonitor::Find() {
    int mode = CFindUrlDialog::ExactMatch;
    QString text;
    if (!m_findPrompt || !m_findPrompt(window(), mode, text)) return;
    FindUrl(mode, text);
}

int CUrlMonitor::FindUrl(int mode, const QString& text) {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QString row = topLevelItem(i)->text(0);
        const bool match = mode == CFindUrlDialog::ClosestMatch ? row.startsWith(text, Qt::CaseInsensitive)
                                                                 : row.compare(text, Qt::CaseInsensitive) == 0;
        if (!match) continue;
        // The selection mark only: the selection and the scroll position
        // stay as they are.
        const bool scrolls = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(indexFromItem(topLevelItem(i)), QItemSelectionModel::NoUpdate);
        setAutoScroll(scrolls);
        m_desktop.Sound(IDesktop::Beep::Information);
        return i;
    }
    m_desktop.Sound(IDesktop::Beep::Warning);
    return -1;
}

void CUrlMonitor::contextMenuEvent(QContextMenuEvent* event) {
    if (m_contextActions.isEmpty() || !itemAt(event->pos())) return;
    QMenu menu(this);
    menu.addActions(m_contextActions);
    menu.exec(event->globalPos());
}

}  // namespace velto
