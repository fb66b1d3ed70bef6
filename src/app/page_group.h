#pragma once

#include <QFrame>
#include <QGroupBox>

namespace quillmere {

// A borderless panel whose children sit at fixed pixel positions.
class TPanel : public QFrame {
public:
    explicit TPanel(QWidget *parent = nullptr);
    // The child keeps its position and height and spans the panel's width.
    void spanWidth(QWidget *child);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QWidget *> spanning_;
};

// A group box that fills a wizard page: one optional widget fills its inside
// above a panel of fixed height aligned to its bottom. Other children keep
// the fixed positions they are given, relative to the group box.
class TPageGroup : public QGroupBox {
public:
    TPageGroup(const QString &caption, QWidget *parent);

    TPanel *bottomPanel() const { return bottom_; }
    void setFillWidget(QWidget *widget);

    static constexpr int panelHeight = 93;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QRect inside() const;

    TPanel *bottom_;
    QWidget *fill_ = nullptr;
};

} // namespace quillmere
