#pragma once

#include <QWidget>

class QLabel;

// The picture a screen-saver chooser shows in its small preview window: black, borderless, our
// 150 x 100 preview picture in the middle.
class frmSSPreview : public QWidget
{
    Q_OBJECT
public:
    explicit frmSSPreview(QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *imgPreview;
};
