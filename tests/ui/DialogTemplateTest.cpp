#include "support/AppTestSupport.h"

#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace dlg;

namespace {

const STemplate& SampleTemplate()
{
    static const STemplate t{
        134,
        QStringLiteral("Sample"),
        QSize(316, 110),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::Static, kNoId, QStringLiteral("DCI-Limit set value"), QRect(7, 7, 80, 11)},
            {EKind::Edit, 1096, {}, QRect(90, 5, 40, 14)},
            {EKind::CheckBox, 1012, QStringLiteral("Tracking"), QRect(7, 30, 60, 10), kDisabled},
            {EKind::Static, 1015, QStringLiteral("Later"), QRect(7, 50, 60, 10), kHidden},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(205, 89, 50, 14)},
            {EKind::Button, 2, QStringLiteral("Cancel"), QRect(259, 89, 50, 14)},
        },
    };
    return t;
}

} // namespace

TEST(DialogTemplateTest, DialogUnitsScaleByBaseUnitsAndRound)
{
    // Base units 6 x 13, as the 8-point dialog font has them.
    const QSize base(6, 13);
    EXPECT_EQ(MapDialogRect(QRect(7, 7, 302, 108), base), QRect(11, 11, 453, 176));
    EXPECT_EQ(MapDialogX(316, base), 474);
    EXPECT_EQ(MapDialogY(143, base), 232);
}

TEST(DialogTemplateTest, TemplateFontsMapToOneMetricCompatibleFamily)
{
    EnsureApp();
    const QString family = MapFontFamily(QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(MapFontFamily(QStringLiteral("MS Shell Dlg")), family);
    EXPECT_EQ(MapFontFamily(QStringLiteral("Tahoma")), family);
    if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans"))) {
        EXPECT_EQ(MapFontFamily(QStringLiteral("Arial")), QStringLiteral("Liberation Sans"));
    }

    // Eight points are 11 pixels at 96 dots per inch, whatever the screen says.
    const QFont font = DialogFont(QStringLiteral("MS Shell Dlg"), 8);
    EXPECT_EQ(font.pixelSize(), 11);
    const QSize base = DialogBaseUnits(font);
    EXPECT_GE(base.width(), 5);
    EXPECT_LE(base.width(), 7);
    EXPECT_GE(base.height(), 12);
    EXPECT_LE(base.height(), 14);
}

TEST(DialogTemplateTest, ControlsAreFoundByIdAndPlacedFromDialogUnits)
{
    EnsureApp();
    QDialog dialog;
    const QSize base = BuildDialog(&dialog, SampleTemplate());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Sample"));
    EXPECT_EQ(dialog.size(), QSize(MapDialogX(316, base), MapDialogY(110, base)));

    auto* pEdit = DlgItem<QLineEdit>(&dialog, 1096);
    ASSERT_NE(pEdit, nullptr);
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("1096")), pEdit);
    EXPECT_EQ(pEdit->geometry(), MapDialogRect(QRect(90, 5, 40, 14), base));
    EXPECT_EQ(DlgItem<QPushButton>(&dialog, 1096), nullptr); // wrong kind
    EXPECT_EQ(DlgItem<QWidget>(&dialog, 4242), nullptr);

    auto* pCheck = DlgItem<QCheckBox>(&dialog, 1012);
    ASSERT_NE(pCheck, nullptr);
    EXPECT_FALSE(pCheck->isEnabled());
    dialog.show();
    EXPECT_TRUE(pCheck->isVisible());
    EXPECT_FALSE(DlgItem<QLabel>(&dialog, 1015)->isVisible());
    EXPECT_TRUE(DlgItem<QPushButton>(&dialog, 1)->isDefault());
}

TEST(DialogTemplateTest, FieldsAreNamedByTheirLabelsAndButtonsByTheirText)
{
    EnsureApp();
    QDialog dialog;
    BuildDialog(&dialog, SampleTemplate());
    EXPECT_EQ(DlgItem<QLineEdit>(&dialog, 1096)->accessibleName(), QStringLiteral("DCI-Limit set value"));
    EXPECT_EQ(DlgItem<QCheckBox>(&dialog, 1012)->accessibleName(), QStringLiteral("Tracking"));
    EXPECT_EQ(DlgItem<QPushButton>(&dialog, 2)->accessibleName(), QStringLiteral("Cancel"));
}

TEST(DialogTemplateTest, ButtonsOneAndTwoEndTheDialog)
{
    EnsureApp();
    QDialog dialog;
    BuildDialog(&dialog, SampleTemplate());
    dialog.show();
    DlgItem<QPushButton>(&dialog, 1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.show();
    DlgItem<QPushButton>(&dialog, 2)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}
