#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "support/WorkbookFiles.h"
#include "config/WorkbookLoader.h"

namespace {

const char* const kModelColumns[] = {"Model", "Name", "Code", "Code-Old"};
const SSheetRequest kModelSheet[] = {{"tester-modelcode", kModelColumns, 4}};

// Points LoadWorkbook at another reader for the life of the object.
class CReaderOverride {
public:
    explicit CReaderOverride(const char* path) { SetWorkbookReaderPath(path); }
    ~CReaderOverride() { SetWorkbookReaderPath(""); }
    CReaderOverride(const CReaderOverride&) = delete;
    CReaderOverride& operator=(const CReaderOverride&) = delete;
};

} // namespace

TEST(WorkbookReader, ReadsWhileOtherThreadsAllocate)
{
    // A process copied by a bare fork while these threads hold allocator
    // locks could wait on them for ever; the reader program starts afresh.
    std::vector<std::jthread> busy;
    for (int t = 0; t < 4; ++t) {
        busy.emplace_back([](std::stop_token stop) {
            std::vector<std::unique_ptr<char[]>> held(64);
            for (std::size_t i = 0; !stop.stop_requested(); ++i)
                held[i % held.size()].reset(new char[16 + i % 4096]);
        });
    }
    const std::string path = testfiles::ShippedWorkbook().string();
    const SWorkbookContent expected = LoadWorkbookInProcess(path, kModelSheet);
    ASSERT_EQ(expected.openResult, 0);
    ASSERT_FALSE(expected.sheets[0].rowWidths.empty());
    for (int i = 0; i < 20; ++i) {
        const SWorkbookContent content = LoadWorkbook(path, kModelSheet);
        ASSERT_EQ(content.openResult, 0) << i << ": " << content.openError;
        ASSERT_EQ(content.sheets.size(), 1u);
        EXPECT_EQ(content.sheets[0].columns, expected.sheets[0].columns);
        EXPECT_EQ(content.sheets[0].rowWidths, expected.sheets[0].rowWidths);
        EXPECT_EQ(content.sheets[0].lastError, expected.sheets[0].lastError);
    }
}

TEST(WorkbookReader, AReaderThatFailsReadsAsADamagedWorkbook)
{
    // Missing, failing, and writing something other than a workbook's content.
    for (const char* reader : {"/nonexistent/zelvan-workbook-reader", "/bin/false", "/bin/echo"}) {
        SCOPED_TRACE(reader);
        CReaderOverride override(reader);
        const SWorkbookContent content = LoadWorkbook(testfiles::ShippedWorkbook().string(), kModelSheet);
        EXPECT_EQ(content.openResult, kWorkbookErrReaderFailed);
        EXPECT_NE(content.openError.find("cannot be read: Damaged file"), std::string::npos) << content.openError;
        EXPECT_TRUE(content.sheets.empty());
    }
}

TEST(WorkbookReader, AnOpenResultOutsideIntRangeIsRefused)
{
    // 2^32 would be cut to 0, "opened", with no sheets and no box.
    const auto answer = [](std::int64_t openResult) {
        std::string data;
        const std::int64_t fields[] = {openResult, 0, 0}; // result, empty error text, no sheets
        data.append(reinterpret_cast<const char*>(fields), sizeof fields);
        return data;
    };
    SWorkbookContent content;
    EXPECT_FALSE(DecodeReaderAnswer(answer(std::int64_t{1} << 32), kModelSheet, content));
    EXPECT_TRUE(DecodeReaderAnswer(answer(-2), kModelSheet, content)); // a FreeXL error: reported
    EXPECT_EQ(content.openResult, -2);
}
