#include "WidgetTestSupport.h"

#include "widgets/MyTextBox.h"

#include <QFontMetrics>

namespace {

// Extent of the dark (text) pixels of an image; empty when there are none.
QRect InkBounds(const QImage& img)
{
    QRect bounds;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (IsInk(img.pixelColor(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

class MyTextBoxTest : public CWidgetTest {
protected:
    void SetUp() override
    {
        CWidgetTest::SetUp();
        m_pBox = new CMyTextBox(m_pParent.get());
        m_pBox->setGeometry(50, 30, 240, 60);
    }

    QImage Grab() { return m_pBox->grab().toImage(); }
    int LineHeight() const { return QFontMetrics(m_pBox->font()).height(); }

    CMyTextBox* m_pBox = nullptr;
};

} // namespace

TEST_F(MyTextBoxTest, LabelAndValueSitAnEighthFromTheEdges)
{
    m_pBox->LoadBackground();
    m_pBox->SetText(QStringLiteral("Today Energy\t12.5kWh"), 1);
    const QRect ink = InkBounds(Grab());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 30);
    EXPECT_LE(ink.left(), 32);
    EXPECT_LE(ink.right(), 209);
    EXPECT_GE(ink.right(), 206);
    const int top = (60 - LineHeight()) / 2;
    EXPECT_GE(ink.top(), top);
    EXPECT_LT(ink.bottom(), top + LineHeight());
}

TEST_F(MyTextBoxTest, LinesWithoutValueAreCentred)
{
    m_pBox->LoadBackground();
    m_pBox->SetText(QStringLiteral("Power  1234.5 W"), 1);
    QRect ink = InkBounds(Grab());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR((ink.left() + ink.right()) / 2.0, 120, 3);

    // An empty value after the tab: the whole line, tab included, is centred.
    const QFontMetrics metrics(m_pBox->font());
    const QString line = QStringLiteral("Energy\t");
    m_pBox->SetText(line, 1);
    ink = InkBounds(Grab());
    ASSERT_FALSE(ink.isEmpty());
    const int left = 120 - metrics.horizontalAdvance(line) / 2;
    EXPECT_NEAR(ink.left(), left, 2);
    EXPECT_LT(ink.right(), 240 - 240 / 8 - 10); // not pushed to the value column
}

TEST_F(MyTextBoxTest, MissingLinesStillTakeTheirHeight)
{
    m_pBox->LoadBackground();
    const int H = LineHeight();
    m_pBox->SetText(QStringLiteral("Hello"), 3);
    const QRect ink = InkBounds(Grab());
    ASSERT_FALSE(ink.isEmpty());
    const int top = (60 - 3 * H) / 2; // three lines centred, only the first has text
    EXPECT_GE(ink.top(), top);
    EXPECT_LT(ink.bottom(), top + H);
    EXPECT_LT(ink.bottom(), (60 - H) / 2 + H / 2); // clearly above a single centred line
}

TEST_F(MyTextBoxTest, ZeroLinesShowOnlyTheVeil)
{
    m_pBox->LoadBackground();
    // As constructed: "Text" but no lines yet.
    QImage img = Grab();
    for (const QPoint p : {QPoint(0, 0), QPoint(120, 30), QPoint(239, 59), QPoint(30, 45)})
        EXPECT_TRUE(Near(img.pixelColor(p), Veiled(Picture(50 + p.x(), 30 + p.y())))) << p.x() << "," << p.y();
    EXPECT_TRUE(InkBounds(img).isEmpty());

    m_pBox->SetText(QStringLiteral("A\tB"), 0);
    EXPECT_TRUE(InkBounds(Grab()).isEmpty());
}

TEST_F(MyTextBoxTest, WithoutLoadBackgroundTheVeilLiesOverTheWindow)
{
    // The system view's box never loads the picture: nothing of it is copied.
    const QColor window = m_pBox->palette().color(QPalette::Window);
    const QImage img = Grab();
    EXPECT_TRUE(Near(img.pixelColor(5, 5), Veiled(window)));
    EXPECT_TRUE(Near(img.pixelColor(200, 50), Veiled(window)));
}
