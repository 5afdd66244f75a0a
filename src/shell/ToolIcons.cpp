#include "shell/ToolIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "engine/EngineServices.h"
#include "shell/MainFrame.h"

namespace velto {

namespace {

QPixmap Canvas(int size = 16) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

void Envelope(QPainter& p, const QRectF& r, const QColor& paper, const QColor& ink) {
    p.setPen(QPen(ink, 1));
    p.setBrush(paper);
    p.drawRect(r);
    p.drawLine(r.topLeft(), r.center());
    p.drawLine(r.topRight(), r.center());
}

QPixmap Paint(const std::function<void(QPainter&)>& paint, int size = 16) {
    QPixmap pm = Canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return pm;
}

QIcon Draw(const std::function<void(QPainter&)>& paint, int size = 16) { return QIcon(Paint(paint, size)); }

// Draws the picture afresh at whatever size is asked for, so the window and
// tray icons stay sharp at any scale; the drawing is made on a grid of
// `grid` pixels and scaled to the size.
class ScaledIconEngine : public QIconEngine {
public:
    ScaledIconEngine(std::function<void(QPainter&)> paint, int grid) : m_paint(std::move(paint)), m_grid(grid) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const int side = std::min(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / double(m_grid), side / double(m_grid));
        m_paint(*painter);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, QRect(QPoint(0, 0), size), mode, state);
        }
        return mode == QIcon::Disabled ? Embossed(pm) : pm;
    }
    // The size asked for is in device pixels already; the icon marks the
    // picture with the scale.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal) override {
        return pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new ScaledIconEngine(m_paint, m_grid); }
    QString key() const override { return QStringLiteral("velto-scaled"); }

private:
    std::function<void(QPainter&)> m_paint;
    int m_grid;
};

QIcon Scalable(std::function<void(QPainter&)> paint, int grid) {
    return QIcon(new ScaledIconEngine(std::move(paint), grid));
}

QPixmap CommandPixmap(int id);

}  // namespace

QPixmap Embossed(const QPixmap& picture) {
    // The picture's shape in the highlight colour, one pixel down and right,
    // under the same shape in the shadow colour: the classic engraved look.
    const QImage source = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage out(source.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    auto solid = [&](int x, int y) { return qAlpha(source.pixel(x, y)) >= 128; };
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (solid(x, y) && x + 1 < out.width() && y + 1 < out.height())
                out.setPixel(x + 1, y + 1, kEmbossHighlight.rgba());
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (solid(x, y)) out.setPixel(x, y, kEmbossShadow.rgba());
    QPixmap result = QPixmap::fromImage(out);
    result.setDevicePixelRatio(picture.devicePixelRatio());
    return result;
}

QIcon MakeCommandIcon(int id) {
    const QPixmap picture = CommandPixmap(id);
    if (picture.isNull()) return {};
    QIcon icon(picture);
    icon.addPixmap(Embossed(picture), QIcon::Disabled);
    return icon;
}

QIcon MakeStatusButtonIcon(int id) {
    return Draw(
        [id](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 50, 120));
            switch (id) {
            case 2001:  // previous: a triangle pointing left
                p.drawPolygon(QPolygonF({QPointF(2, 5), QPointF(8, 1), QPointF(8, 9)}));
                break;
            case 2002:  // next
                p.drawPolygon(QPolygonF({QPointF(8, 5), QPointF(2, 1), QPointF(2, 9)}));
                break;
            default:  // show: a speech bubble
                p.drawRoundedRect(QRectF(0.5, 0.5, 9, 6), 2, 2);
                p.drawPolygon(QPolygonF({QPointF(2, 6), QPointF(5, 6), QPointF(2, 9.5)}));
                break;
            }
        },
        10);
}

QIcon MakeUrlIcon() {
    return Draw([](QPainter& p) {
        p.setPen(QColor(20, 80, 160));
        p.setBrush(QColor(170, 210, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(3, 4.5), QPointF(13, 4.5));
        p.drawLine(QPointF(3, 11.5), QPointF(13, 11.5));
    });
}

QIcon MakeAppIcon() {
    // The same drawing as the installed scalable icon (veltomail.svg).
    return Scalable(
        [](QPainter& p) {
            Envelope(p, QRectF(4, 14, 56, 38), QColor(255, 248, 200), QColor(30, 50, 120));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 30, 30));
            p.drawEllipse(QPointF(50, 16), 10, 10);
        },
        64);
}

QIcon MakeFolderIcon() {
    return Draw([](QPainter& p) {
        p.setPen(QColor(120, 90, 20));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 6, 2));
    });
}

namespace {

QPixmap CommandPixmap(int id) {
    const QColor ink(30, 50, 120);
    auto Draw = [](const std::function<void(QPainter&)>& paint) { return Paint(paint); };
    switch (id) {
    case ID_GET_MAIL:
        return Draw([&](QPainter& p) {
            Envelope(p, QRectF(1.5, 5.5, 13, 9), QColor(255, 248, 200), ink);
            p.setPen(QPen(QColor(0, 130, 0), 2));
            p.drawLine(8, 0, 8, 5);
        });
    case ID_READ_MESSAGE:
        return Draw([&](QPainter& p) {
            p.setPen(ink);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 1.5, 9, 13));
            for (int y = 4; y < 13; y += 3) p.drawLine(5, y, 11, y);
        });
    case ID_READ_AS_WEBPAGE:
        return Draw([&](QPainter& p) {
            p.setPen(ink);
            p.setBrush(QColor(160, 200, 255));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.drawLine(1, 8, 15, 8);
            p.drawEllipse(QRectF(5, 1.5, 6, 13));
        });
    case ID_MESSAGE_STATISTICS:
        return Draw([&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawRect(2, 9, 3, 6);
            p.drawRect(7, 5, 3, 10);
            p.drawRect(12, 2, 3, 13);
        });
    case ID_DELETE_MESSAGE:
        return Draw([&](QPainter& p) {
            p.setPen(QPen(QColor(200, 0, 0), 2.5));
            p.drawLine(3, 3, 13, 13);
            p.drawLine(13, 3, 3, 13);
        });
    case ID_REFRESH:
        return Draw([&](QPainter& p) {
            p.setPen(QPen(QColor(0, 120, 0), 2));
            p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 300 * 16);
            p.drawLine(13, 2, 13, 6);
        });
    case ID_MAIL_PROPERTIES:
        return Draw([&](QPainter& p) {
            p.setPen(QPen(ink, 2));
            p.setBrush(QColor(200, 200, 210));
            p.drawEllipse(QRectF(3, 3, 10, 10));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6, 6, 4, 4));
        });
    case ID_EDIT_COPY:
        return Draw([&](QPainter& p) {
            p.setPen(ink);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 1.5, 8, 10));
            p.drawRect(QRectF(6.5, 4.5, 8, 10));
        });
    case ID_APP_ABOUT:
        return Draw([&](QPainter& p) {
            p.setPen(ink);
            p.setBrush(QColor(255, 255, 180));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, "?");
        });
    case ID_FILE_PRINT:
        return Draw([&](QPainter& p) {
            p.setPen(ink);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(190, 190, 200));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
        });
    default:
        return {};
    }
}

}  // namespace

QIcon MakeTrayIcon(int resource) {
    return Scalable(
        [resource](QPainter& p) {
            QColor paper(255, 248, 200), ink(30, 50, 120);
            switch (resource) {
            case kIconBlink1: paper = QColor(255, 90, 60); break;
            case kIconBlink2: paper = QColor(255, 230, 60); break;
            default: break;
            }
            Envelope(p, QRectF(2, 8, 28, 18), paper, ink);
            const int frame = resource == kIconBusy1 ? 0 : resource == kIconBusy2 ? 1 : resource == kIconBusy3 ? 2 : -1;
            if (frame >= 0) {
                p.setPen(Qt::NoPen);
                for (int i = 0; i < 3; ++i) {
                    p.setBrush(i == frame ? QColor(0, 150, 0) : QColor(170, 170, 170));
                    p.drawEllipse(QPointF(9 + 7 * i, 4), 2.5, 2.5);
                }
            }
        },
        32);
}

}  // namespace velto
