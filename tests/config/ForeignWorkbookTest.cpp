// Another program's file under the workbook's name: a valid container that
// holds no workbook, or a "Workbook" stream that is not one, is reported
// with the one box of a damaged workbook, and the tables stay empty.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/WorkbookFiles.h"
#include "config/ConfigWorkbook.h"
#include "export/CompoundFile.h"
#include "platform/MessageBox.h"

namespace {

std::string Container(const char* stream, const std::string& content)
{
    std::string file;
    const bool bOk = CCompoundFile::Write(stream, reinterpret_cast<const std::uint8_t*>(content.data()), content.size(),
                                          [&](const void* data, std::size_t size) {
                                              file.append(static_cast<const char*>(data), size);
                                              return true;
                                          });
    EXPECT_TRUE(bOk);
    return file;
}

} // namespace

TEST(ConfigWorkbook, AnotherProgramsFileIsReportedLikeADamagedWorkbook)
{
    testfiles::CTempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a word processor's document", Container("WordDocument", std::string(6000, 'w'))},
        {"a stream named Workbook holding text", Container("Workbook", "Parameter,min,max\n")},
        {"a picture", testfiles::ReadFile(std::string(ZELVAN_SOURCE_DIR) + "/assets/about.png")},
    };
    for (const auto& [what, content] : files) {
        SCOPED_TRACE(what);
        const auto path = dir.Write("datacfg-sp.xls", content);
        platform::CMessageBoxRecorder boxes;
        ConfigWorkbook workbook;
        EXPECT_FALSE(workbook.OpenWorkbook(path.string()));
        workbook.ReadParameterSheet();
        workbook.ReadModelSheet();
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find("cannot be read"), std::string::npos) << boxes.Boxes()[0].text;
        EXPECT_EQ(workbook.ParameterRows(), 0u);
        EXPECT_EQ(workbook.ModelRows(), 0u);
    }
}
