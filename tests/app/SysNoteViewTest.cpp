#include "AppTestSupport.h"

#include "live/SysNoteView.h"
#include "widgets/MyTextBox.h"

#include <gtest/gtest.h>

TEST(SysNoteViewTest, CO2FigureHasLabelTwoSpacesAndOneDecimal)
{
    EnsureApp();
    CSysNoteView view;
    CMyTextBox* pBox = view.CO2Box();
    ASSERT_NE(pBox, nullptr);
    EXPECT_EQ(pBox->geometry(), DlgItem<QWidget>(&view, CSysNoteView::IDC_CO2)->geometry());

    view.SetCO2(100.0f * 0.7f);
    EXPECT_EQ(pBox->Text(), QStringLiteral("CO2 reduction  70.0 Kg"));
    EXPECT_EQ(pBox->Lines(), 1);
    view.SetCO2(0.0);
    EXPECT_EQ(pBox->Text(), QStringLiteral("CO2 reduction  0.0 Kg"));
}
