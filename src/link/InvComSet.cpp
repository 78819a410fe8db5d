#include "link/InvComSet.h"

#include "link/InverterCom.h"

namespace {
constexpr int kTickMs = 200;
constexpr int kIdlePauseMs = 500;  // idle time before the next request
constexpr int kResendAfterMs = 1500;
constexpr int kGiveUpAfterMs = 5000;
} // namespace

bool CInvComSet::OnTick()
{
    CInverterCom* link = m_pLink;
    if (link == nullptr || m_nElapsed.load() == -1)
        return false;
    m_nElapsed += kTickMs;

    if (link->LinkState() == kLinkIdle) {
        if (m_nIdle.load() <= kIdlePauseMs) {
            m_nIdle += kTickMs;
            return false;
        }
        if (m_nMode.load() != m_nNextMode.load())
            m_nMode.store(m_nNextMode.load());
        SendRequest();
        m_nWaitTotal.store(0);
        m_nIdle.store(0);
        m_nElapsed.store(0);
        m_nValueCount.store(0);
        return false;
    }

    const int elapsed = m_nElapsed.load();
    if (elapsed <= kResendAfterMs)
        return false;
    m_nWaitTotal += elapsed;
    if (m_nWaitTotal.load() > kGiveUpAfterMs) {
        m_nElapsed.store(-1);
        return true;
    }
    // Same mode, same block: the reply never came.
    SendRequest();
    m_nElapsed.store(0);
    m_nValueCount.store(0);
    return false;
}

void CInvComSet::OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam)
{
    CInverterCom* link = m_pLink;
    if (link == nullptr)
        return;
    const int expected = link->ExpectedValues();

    if (m_nMode.load() == kModeCyclicRead) {
        DisplayRegisterValue(link->LastRegister() + m_nValueCount.load(), wParam,
                             static_cast<std::uint16_t>(lParam));
        if (++m_nValueCount == expected) {
            link->SetLinkState(kLinkIdle);
            m_nIdle.store(0);
            if (m_nBlock.load() == m_nBlockCount.load()) {
                m_nElapsed.store(0);
                m_nBlock.store(0);
            } else {
                const int next = m_nBlock.load() + 1;
                m_nBlock.store(next >= m_nBlockCount.load() ? 0 : next);
            }
        }
    } else if (++m_nValueCount == expected) {
        link->SetLinkState(kLinkIdle);
        m_nIdle.store(0);
        if (m_nMode.load() == kModeWriteSequence) {
            if (++m_nRepeat >= m_nRepeatCount.load()) {
                m_nRepeat.store(0);
                FinishCommand();
            }
        } else {
            FinishCommand();
        }
    }
    TakeNextModeWhenIdle();
}

void CInvComSet::FinishCommand()
{
    m_nNextMode.store(kModeCyclicRead);
    EnableCommands(true);
}

void CInvComSet::TakeNextModeWhenIdle()
{
    if (m_pLink != nullptr && m_pLink->LinkState() == kLinkIdle && m_nMode.load() != m_nNextMode.load())
        m_nMode.store(m_nNextMode.load());
}

void CInvComSet::StartCommand(int nMode, int nRepeatCount)
{
    if (nMode == kModeWriteSequence)
        m_nRepeatCount.store(nRepeatCount);
    m_nNextMode.store(nMode);
    EnableCommands(false);
}

void CInvComSet::RestartRequests()
{
    m_nWaitTotal.store(0);
    m_nValueCount.store(0);
    m_nElapsed.store(0);
}
