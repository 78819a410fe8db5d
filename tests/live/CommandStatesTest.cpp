#include "live/CommandStates.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using C = CCommandStates;
using Change = std::pair<int, C::SState>;

class CommandStatesTest : public ::testing::Test {
protected:
    CommandStatesTest()
    {
        for (int nCommand : C::kCommands)
            m_states.SetHandled(nCommand, true);
        m_states.SetListener([this](int nCommand, C::SState state) { m_changes.emplace_back(nCommand, state); });
    }

    std::vector<Change> TakeChanges() { return std::exchange(m_changes, {}); }

    C m_states;
    std::vector<Change> m_changes;
};

constexpr C::SState kEnabled{true, false};
constexpr C::SState kDisabled{false, false};
constexpr C::SState kChecked{true, true};

} // namespace

TEST_F(CommandStatesTest, ConnectionEnablesParametersAndExportAndReportsOnlyThose)
{
    EXPECT_EQ(m_states.State(C::ID_CONNECT), kEnabled);
    EXPECT_EQ(m_states.State(C::ID_PARAMETERS), kDisabled);
    EXPECT_EQ(m_states.State(C::ID_EXPORT), kDisabled);

    m_states.SetConnected(true);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_PARAMETERS, kEnabled}, {C::ID_EXPORT, kEnabled}}));

    m_states.SetConnected(true);
    EXPECT_TRUE(TakeChanges().empty());

    // A disconnect takes both away at once.
    m_states.SetConnected(false);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_PARAMETERS, kDisabled}, {C::ID_EXPORT, kDisabled}}));
}

TEST_F(CommandStatesTest, RunningExportDisablesOnlyAnotherExport)
{
    m_states.SetConnected(true);
    TakeChanges();
    m_states.SetExporting(true);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_EXPORT, kDisabled}}));
    EXPECT_EQ(m_states.State(C::ID_PARAMETERS), kEnabled);
    m_states.SetExporting(false);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_EXPORT, kEnabled}}));
}

TEST_F(CommandStatesTest, CursorAndTrackingCarryCheckMarks)
{
    m_states.SetTrackingOn(true);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_TRACKING, kChecked}}));
    m_states.SetCursorOn(true);
    m_states.SetCursorOn(false);
    EXPECT_EQ(TakeChanges(), (std::vector<Change>{{C::ID_CURSOR, kChecked}, {C::ID_CURSOR, kEnabled}}));
    EXPECT_EQ(m_states.State(C::ID_TRACKING), kChecked);
}

TEST_F(CommandStatesTest, CommandWithoutHandlerStaysDisabled)
{
    m_states.SetHandled(C::ID_EXPORT, false);
    m_states.SetHandled(C::ID_TIME_SPAN, false);
    m_states.SetConnected(true);
    EXPECT_EQ(m_states.State(C::ID_EXPORT), kDisabled);
    EXPECT_EQ(m_states.State(C::ID_TIME_SPAN), kDisabled);

    // A new listener hears every state once, in toolbar order.
    std::vector<int> order;
    m_states.SetListener([&order](int nCommand, C::SState) { order.push_back(nCommand); });
    m_states.ReportAll();
    EXPECT_EQ(order, std::vector<int>(C::kCommands.begin(), C::kCommands.end()));
}
