#include "export/ExportWorker.h"
#include "platform/Messages.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class CThrowingSheet : public ISpreadsheet {
public:
    bool NewWorkbook() override { return true; }
    bool FirstSheet() override { return true; }
    bool SetCell(std::string_view, std::string_view) override { throw std::runtime_error("out of cells"); }
    CSaveResult SaveAs(const std::string&) override { return {true, {}}; }
    void Quit() override {}
};

} // namespace

TEST(ExportWorker, PostsDoneAfterAnExceptionAndReportsItOnceJoined)
{
    platform::CMessageQueue queue;
    CExportOwner owner;
    owner.m_strExportPath = "/tmp/never";
    owner.m_pTarget = &queue;
    owner.m_fnStartSpreadsheet = [] { return std::make_unique<CThrowingSheet>(); };
    CExportWorker worker;
    ASSERT_TRUE(worker.Start(owner, CDaySamples()));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start(owner, CDaySamples())) << "one export at a time";

    const auto done = queue.Take(5000);
    ASSERT_TRUE(done);
    EXPECT_EQ(*done, (platform::PostedMessage{platform::WM_EXPORT_DONE, 0, 0}));
    const CExportResult result = worker.Finish();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(result.eStatus, CExportResult::kSaveFailed);
    EXPECT_EQ(result.strError, "Couldn't save \"/tmp/never.xls\": out of cells");
}
