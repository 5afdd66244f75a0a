#pragma once
// The main window's painted caption. The window manager keeps its own title
// bar; this is a slim band across the top of the window with the icon and
// the title, drawn with the program's colour stripes: solid on the right,
// fading to black towards the left while the window is active, plain when
// it is not.
#include <QIcon>
#include <QImage>
#include <QWidget>

namespace velto {

class CCaptionPainter : public QWidget {
    Q_OBJECT
public:
    explicit CCaptionPainter(QWidget* parent = nullptr);

    // Stores the title, drops the cached captions and repaints.
    void UpdateTitle(const QString& title);
    QString Title() const { return m_title; }
    void SetIcon(const QIcon& icon);

    // The whole caption for the given state at the band's current size,
    // from the cache when it is there.
    QImage Caption(bool active);

    // The background alone: with a caption w wide, the right sixth (from
    // x = 5w/6) is the active colour C; leftwards from x come stripes
    // s = max(1, 5w/384) wide, stripe k having c - (ks)^2 c / x^2 of each
    // component c of C, until a stripe's left end is at or before s; what is
    // left at the left is black. An inactive caption is the inactive colour.
    static void PaintBackground(QImage& image, bool active, const QColor& activeColour,
                                const QColor& inactiveColour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void DropCache();

    QString m_title;
    QIcon m_icon;
    QImage m_cache[2];  // inactive, active
};

}  // namespace velto
