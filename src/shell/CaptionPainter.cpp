#include "shell/CaptionPainter.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>

namespace velto {

namespace {

QFont CaptionFont(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

}  // namespace

CCaptionPainter::CCaptionPainter(QWidget* parent) : QWidget(parent) {
    setObjectName("caption");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize CCaptionPainter::sizeHint() const {
    return QSize(200, QFontMetrics(CaptionFont(font())).height() + 6);
}

QSize CCaptionPainter::minimumSizeHint() const { return QSize(0, sizeHint().height()); }

void CCaptionPainter::UpdateTitle(const QString& title) {
    m_title = title;
    DropCache();
    update();
}

void CCaptionPainter::SetIcon(const QIcon& icon) {
    m_icon = icon;
    DropCache();
    update();
}

void CCaptionPainter::DropCache() {
    m_cache[0] = QImage();
    m_cache[1] = QImage();
}

void CCaptionPainter::PaintBackground(QImage& image, bool active, const QColor& activeColour,
                                      const QColor& inactiveColour) {
    const int w = image.width();
    const int h = image.height();
    QPainter p(&image);
    if (!active) {
        p.fillRect(0, 0, w, h, inactiveColour);
        return;
    }
    const int x = 5 * w / 6;
    p.fillRect(x, 0, w - x, h, activeColour);
    const int s = std::max(1, 5 * w / 384);
    int left = x;  // left end of the last stripe drawn
    if (s < x) {
        const long long x2 = static_cast<long long>(x) * x;
        const int rgb[3] = {activeColour.red(), activeColour.green(), activeColour.blue()};
        for (int k = 1;; ++k) {
            const int right = left;
            left = x - k * s;
            const long long ks2 = static_cast<long long>(k * s) * (k * s);
            int faded[3];
            for (int i = 0; i < 3; ++i) faded[i] = static_cast<int>(rgb[i] - ks2 * rgb[i] / x2);
            p.fillRect(left, 0, right - left, h, QColor(faded[0], faded[1], faded[2]));
            if (left <= s) break;
        }
    }
    p.fillRect(0, 0, left, h, Qt::black);
}

QImage CCaptionPainter::Caption(bool active) {
    QImage& cached = m_cache[active ? 1 : 0];
    if (!cached.isNull() && cached.size() == size()) return cached;
    QImage image(size(), QImage::Format_RGB32);
    const QPalette& pal = palette();
    PaintBackground(image, active, pal.color(QPalette::Active, QPalette::Highlight),
                    pal.color(QPalette::Disabled, QPalette::Dark));
    QPainter p(&image);
    // The icon: inset 1 from top and bottom, 2 from the left.
    const int iconSize = std::max(0, height() - 2);
    if (!m_icon.isNull() && iconSize > 0)
        m_icon.paint(&p, QRect(2, 1, iconSize, iconSize), Qt::AlignCenter,
                     active ? QIcon::Normal : QIcon::Disabled);
    const QFont font = CaptionFont(this->font());
    p.setFont(font);
    p.setPen(Qt::white);
    const int textLeft = 2 + iconSize;
    const QRect textRect(textLeft, 0, std::max(0, width() - textLeft - 2), height());
    const QString text = QFontMetrics(font).elidedText(" " + m_title, Qt::ElideRight, textRect.width());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    p.end();
    cached = image;
    return cached;
}

void CCaptionPainter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Caption(isActiveWindow()));
}

void CCaptionPainter::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::StyleChange:
        DropCache();
        update();
        break;
    case QEvent::ActivationChange:
        update();
        break;
    default:
        break;
    }
}

void CCaptionPainter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    DropCache();
}

}  // namespace velto
