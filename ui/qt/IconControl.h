#pragma once

#include <QWidget>

namespace tolvane {

// A static icon control: the program icon at the top left of its box, as large as the box
// allows. It reports clicks when asked to, like a static control with SS_NOTIFY.
class IconControl : public QWidget {
    Q_OBJECT
public:
    explicit IconControl(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace tolvane
