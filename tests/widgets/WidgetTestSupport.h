#pragma once
#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// The widgets read "2.bmp" from the working directory. Each test runs in a
// fresh directory whose picture encodes the position in its colour
// (red = x mod 256, green = y mod 256, blue = 100), so a test can tell which
// block of it a widget copied.
class CWidgetTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Colour of the test picture at a point of the parent's client area.
    static QColor Picture(int x, int y) { return QColor(x % 256, y % 256, 100); }

    // Shows the parent and lets every pending paint happen.
    void ShowAndSettle();
    static void Settle();

    std::unique_ptr<QWidget> m_pParent; // 700 x 450, created by SetUp

private:
    QTemporaryDir m_dir;
    QString m_strOldDir;
};

// White veil of alpha 120 over a colour, as the read-out box draws it.
QColor Veiled(QColor under);

// Channel-wise comparison with a tolerance.
bool Near(QColor a, QColor b, int nTolerance = 2);
bool IsRed(QColor c);
bool IsInk(QColor c); // text or needle: dark
