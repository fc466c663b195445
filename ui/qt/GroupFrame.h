#pragma once

#include <QWidget>

namespace tolvane {

// A group box drawn the Windows way: an etched frame whose top line runs through the middle
// of the title. The dialog templates place the fields for that shape; a style that puts the
// title above its frame would draw the frame across the first row of fields.
class GroupFrame : public QWidget {
    Q_OBJECT
public:
    GroupFrame(const QString& title, QWidget* parent = nullptr);
    QString Title() const { return title_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
};

}  // namespace tolvane
