#pragma once

#include <QAbstractButton>
#include <QWidget>

class QSlider;

// A flat button that shows one line of text elided in the middle, in the caption font.
class PathButton final : public QAbstractButton
{
    Q_OBJECT
public:
    explicit PathButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The text as painted at the current width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The bar along the bottom of the Files screen: the current folder's path (a click copies it)
// and, in the icons mode, the icon size slider. Drawn in a bar shade with a divider on top.
class PathBar final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int minimumIconSize = 32;
    static constexpr int maximumIconSize = 256;

    explicit PathBar(QWidget *parent = nullptr);

    void setPath(const QString &path);
    void setShowsIconSize(bool shows);
    void setIconSize(double size);

    PathButton *pathButton() const { return m_pathButton; }
    QSlider *iconSizeSlider() const { return m_slider; }

signals:
    void pathClicked();
    // The user moved the slider.
    void iconSizeMoved(double size);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PathButton *m_pathButton;
    QSlider *m_slider;
};
