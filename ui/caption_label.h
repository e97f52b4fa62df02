// A label whose caption carries meaning: setting it notifies the handlers that depend on it
// (role layout, ping retry), and it can be clicked or activated from the keyboard.
#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>

namespace varnetix {

class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(const QString& text = {}, QWidget* parent = nullptr);
    // Sets the caption and runs the change handlers, also when the text stays the same.
    void setCaption(const QString& text);
    QString caption() const { return text(); }
    // A clickable label takes the focus and answers Space and Return like a click.
    void setClickable(bool clickable);

signals:
    void captionChanged(const QString& caption);
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_clickable = false;
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

inline const QColor kColourNotTested(255, 255, 192);
inline const QColor kColourAnswered(0, 255, 0);
inline const QColor kColourFailed(255, 0, 0);
inline const QColor kColourInvalidAddress(255, 128, 128);

} // namespace varnetix

namespace varnetix {

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
