// The parameter page window driven the way screen readers, voice control
// and test tools drive it: through the accessibility interfaces, which
// change a field's text or a box's tick without a key press or a click. Its
// requests are answered in-process by the simulator engine on a fake clock.
#include "support/AppTestSupport.h"
#include "PageBench.h"

#include "ui/DialogTemplate.h"
#include "params/InvParP1.h"
#include "platform/MessageBox.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

using namespace pagebench;
using P = CInvParPage;

// The window over a bench whose inverter has run the page's first cycle.
class CPageWindow {
public:
    CPageWindow()
    {
        window.Open(&bench.link, "");
        window.show();
        bench.RunFirstCycle();
        Settle();
    }
    QAccessibleInterface* Access(int nId) const
    {
        return QAccessible::queryAccessibleInterface(DlgItem<QWidget>(&window, nId));
    }
    QString Text(int nId) const { return DlgItem<QLineEdit>(&window, nId)->text(); }

    const bool bApp = (EnsureApp(), true);
    platform::CMessageBoxRecorder boxes{platform::kIdOk};
    CInvParP1 window{Workbook()};
    CPageBench bench{1, -1, 123456789012, &window.Logic()};
};

} // namespace

TEST(ParameterPageAccess, TextSetWithoutTheKeyboardIsWhatSetAllParsWrites)
{
    CPageWindow w;
    ASSERT_EQ(w.Text(1101), "60"); // T-start as read
    QAccessibleInterface* pTStart = w.Access(1101);
    ASSERT_NE(pTStart, nullptr);
    ASSERT_NE(pTStart->editableTextInterface(), nullptr);
    pTStart->editableTextInterface()->replaceText(0, 2, QStringLiteral("90"));
    w.Access(1106)->setText(QAccessible::Value, QStringLiteral("2500")); // DCI-Limit
    ASSERT_EQ(w.Text(1101), "90");
    ASSERT_EQ(w.Text(1106), "2500");

    const std::size_t from = w.bench.frames.size();
    DlgItem<QPushButton>(&w.window, P::kIdSetAllPars)->click();
    EXPECT_EQ(w.boxes.Count(), 0u);
    w.bench.RunCommand();
    EXPECT_FALSE(w.bench.Writes(from).empty());
    EXPECT_EQ(w.bench.SimRegister(93), 90) << "T-start";
    EXPECT_EQ(w.bench.SimRegister(110), 2500) << "DCI-Limit";
}

TEST(ParameterPageAccess, ABoxToggledWithoutAClickWritesItsSwitchAndAReadTicksNoWrite)
{
    CPageWindow w;
    auto* pGfci = DlgItem<QCheckBox>(&w.window, P::kIdGfci);
    ASSERT_TRUE(pGfci->isEnabled());
    const bool bRead = pGfci->isChecked();
    // Read cycles set the box again and again: none of that is a command.
    const std::size_t before = w.bench.frames.size();
    w.bench.RunUntil([&] { return w.bench.Reads(before).size() >= 6; });
    EXPECT_TRUE(w.bench.Writes(before).empty());

    QAccessibleInterface* pBox = w.Access(P::kIdGfci);
    ASSERT_NE(pBox, nullptr);
    ASSERT_NE(pBox->actionInterface(), nullptr);
    const std::size_t from = w.bench.frames.size();
    pBox->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(pGfci->isChecked(), !bRead);
    w.bench.RunCommand();
    const std::vector<Bytes> writes = w.bench.Writes(from);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(w.bench.SimRegister(120), bRead ? 0 : 1) << "GFCI";

    // The next read cycle finds the inverter holding it: the box stays.
    const std::size_t after = w.bench.frames.size();
    w.bench.RunUntil([&] { return w.bench.Reads(after).size() >= 6; });
    Settle();
    EXPECT_EQ(pGfci->isChecked(), !bRead);
    EXPECT_TRUE(w.bench.Writes(after).empty());
}
