// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QComboBox>

// A drop-down list drawn flat in its own colours: the field in the palette's Base colour with the
// text in its Text colour inside a sunken two-pixel frame, and the arrow button in the system's
// button colours. The style's shaded button look would tint the colours the panel gives it.
class FlatComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit FlatComboBox(QWidget *parent = nullptr);

    // The field inside the frame and left of the arrow button.
    [[nodiscard]] QRect fieldRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    [[nodiscard]] QRect arrowRect() const;
};
