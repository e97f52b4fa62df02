// Small widgets of the diagnostics panel: a label that can be clicked (lblPing), the filled
// shape behind it (shpPing) and the audio-level bar (VUMeter).
#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>

namespace varnetix {

inline const QColor kColourNotTested(255, 255, 192);
inline const QColor kColourAnswered(0, 255, 0);
inline const QColor kColourFailed(255, 0, 0);
inline const QColor kColourInvalidAddress(255, 128, 128);

// Takes the focus and answers Space and Return like a click, so that the keyboard reaches it.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A filled shape whose colour is a state (the ping indicator).
class ShapeIndicator : public QFrame {
    Q_OBJECT
public:
    explicit ShapeIndicator(QWidget* parent = nullptr);
    void setFillColor(const QColor& color);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};

// The audio-level bar: its width is kept in the units of the level scale (2100 at full scale)
// and drawn in proportion to the bar's own size.
class LevelBar : public QFrame {
    Q_OBJECT
public:
    explicit LevelBar(int fullScale, QWidget* parent = nullptr);
    void setLevelWidth(int units);
    int levelWidth() const { return m_units; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_fullScale;
    int m_units = 0;
};

} // namespace varnetix
