// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ZoomRules.h"

#include <QtTest>

class TestZoom : public QObject
{
    Q_OBJECT

private slots:
    void steps_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("direction");
        QTest::addColumn<double>("fitted");
        QTest::addColumn<double>("expected");
        QTest::addRow("natural, in") << 1.0 << 1 << 0.25 << 1.5;
        QTest::addRow("natural, out") << 1.0 << -1 << 0.25 << 2.0 / 3;
        QTest::addRow("fitted is a step on the way out") << 0.6 << -1 << 0.4 << 0.5;
        QTest::addRow("fitted is a step on the way in") << 0.34 << 1 << 0.4 << 0.4;
        QTest::addRow("back to fitted") << 0.5 << -1 << 0.4 << 0.4;
        QTest::addRow("the smallest is the fitted scale") << 0.05 << -1 << 0.05 << 0.05;
        QTest::addRow("one eighth at the least") << 0.125 << -1 << 0.9 << 0.125;
        QTest::addRow("below a step, in") << 0.2 << 1 << 1.0 << 0.25;
        QTest::addRow("sixteen at the most") << 16.0 << 1 << 1.0 << 16.0;
        QTest::addRow("a hair below a step is that step") << 1.9999 << 1 << 1.0 << 3.0;
        QTest::addRow("no direction") << 0.7 << 0 << 1.0 << 0.7;
        QTest::addRow("between steps, out") << 2.5 << -1 << 1.0 << 2.0;
    }
    void steps()
    {
        QFETCH(double, scale);
        QFETCH(int, direction);
        QFETCH(double, fitted);
        QFETCH(double, expected);
        QCOMPARE(NextZoomStep(scale, direction, fitted), expected);
    }

    // In and out again comes back to the same scale, from every step.
    void inAndOut()
    {
        for (double scale = 0.125; scale < 16;) {
            const double in = NextZoomStep(scale, 1, 0.3);
            QVERIFY(in > scale);
            QCOMPARE(NextZoomStep(in, -1, 0.3), scale);
            scale = in;
        }
    }

    void fitted_data()
    {
        QTest::addColumn<QSizeF>("natural");
        QTest::addColumn<QSizeF>("area");
        QTest::addColumn<double>("expected");
        QTest::addRow("smaller: natural") << QSizeF(100, 100) << QSizeF(800, 600) << 1.0;
        QTest::addRow("wide") << QSizeF(1600, 100) << QSizeF(800, 600) << 0.5;
        QTest::addRow("tall") << QSizeF(100, 1200) << QSizeF(800, 600) << 0.5;
        QTest::addRow("empty picture") << QSizeF(0, 0) << QSizeF(800, 600) << 1.0;
    }
    void fitted()
    {
        QFETCH(QSizeF, natural);
        QFETCH(QSizeF, area);
        QFETCH(double, expected);
        QCOMPARE(FittedScale(natural, area), expected);
    }

    // The picture point under the anchor stays under it.
    void anchorStays_data()
    {
        QTest::addColumn<QPointF>("topLeft");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QPointF>("anchor");
        QTest::addRow("in at the pointer") << QPointF(170, 0) << 1.0 << 2.0 << QPointF(400, 300);
        QTest::addRow("out at the pointer") << QPointF(-500, -300) << 3.0 << 1.5 << QPointF(10, 700);
        QTest::addRow("in at the corner") << QPointF(170, 0) << 0.5 << 4.0 << QPointF(170, 0);
    }
    void anchorStays()
    {
        QFETCH(QPointF, topLeft);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QPointF, anchor);
        const QPointF after = ZoomedTopLeft(topLeft, from, to, anchor);
        const QPointF pictureBefore = (anchor - topLeft) / from;
        const QPointF pictureAfter = (anchor - after) / to;
        QVERIFY(qFuzzyCompare(pictureBefore.x() + 1, pictureAfter.x() + 1));
        QVERIFY(qFuzzyCompare(pictureBefore.y() + 1, pictureAfter.y() + 1));
    }

    void placed_data()
    {
        QTest::addColumn<QPointF>("topLeft");
        QTest::addColumn<QSizeF>("scaled");
        QTest::addColumn<QPointF>("expected");
        // The free area right of the panel: x 170 to 1024, y 0 to 768.
        QTest::addRow("small: centred") << QPointF(-50, 900) << QSizeF(254, 168) << QPointF(470, 300);
        QTest::addRow("large: no gap left") << QPointF(300, -10) << QSizeF(2000, 1000) << QPointF(170, -10);
        QTest::addRow("large: no gap right") << QPointF(-5000, -10) << QSizeF(2000, 1000) << QPointF(-976, -10);
        QTest::addRow("large: no gap below") << QPointF(0, -900) << QSizeF(2000, 1000) << QPointF(0, -232);
        QTest::addRow("wide, short") << QPointF(0, 0) << QSizeF(2000, 100) << QPointF(0, 334);
    }
    void placed()
    {
        QFETCH(QPointF, topLeft);
        QFETCH(QSizeF, scaled);
        QFETCH(QPointF, expected);
        QCOMPARE(PlacedTopLeft(topLeft, scaled, QRectF(170, 0, 854, 768)), expected);
    }
};

QTEST_GUILESS_MAIN(TestZoom)
#include "tst_zoom.moc"
