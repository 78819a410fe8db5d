#include "WidgetTestSupport.h"

#include "support/AppTestSupport.h"

#include <QApplication>
#include <QDir>

void CWidgetTest::SetUp()
{
    EnsureApp();
    ASSERT_TRUE(m_dir.isValid());
    QImage picture(1024, 768, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixelColor(x, y, Picture(x, y));
    ASSERT_TRUE(picture.save(m_dir.filePath(QStringLiteral("2.bmp")), "BMP"));
    m_strOldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));

    m_pParent = std::make_unique<QWidget>();
    m_pParent->resize(700, 450);
}

void CWidgetTest::TearDown()
{
    m_pParent.reset();
    QDir::setCurrent(m_strOldDir);
}

void CWidgetTest::Settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void CWidgetTest::ShowAndSettle()
{
    m_pParent->show();
    Settle();
}

QColor Veiled(QColor under)
{
    auto blend = [](int c) { return (255 * 120 + c * 135) / 255; };
    return QColor(blend(under.red()), blend(under.green()), blend(under.blue()));
}

bool Near(QColor a, QColor b, int nTolerance)
{
    return std::abs(a.red() - b.red()) <= nTolerance && std::abs(a.green() - b.green()) <= nTolerance &&
           std::abs(a.blue() - b.blue()) <= nTolerance;
}

bool IsRed(QColor c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

bool IsInk(QColor c)
{
    return c.red() < 90 && c.green() < 90 && c.blue() < 90;
}
