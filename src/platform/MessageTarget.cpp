#include "platform/MessageTarget.h"

#include <chrono>

namespace platform {

void CMessageQueue::Post(unsigned msg, WPARAM wParam, LPARAM lParam)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back(PostedMessage{msg, wParam, lParam});
    }
    m_cv.notify_all();
}

std::optional<PostedMessage> CMessageQueue::TryTake()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_queue.empty())
        return std::nullopt;
    PostedMessage m = m_queue.front();
    m_queue.pop_front();
    return m;
}

std::optional<PostedMessage> CMessageQueue::Take(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_queue.empty(); }))
        return std::nullopt;
    PostedMessage m = m_queue.front();
    m_queue.pop_front();
    return m;
}

std::size_t CMessageQueue::Size() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_queue.size();
}

void CMessageQueue::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.clear();
}

} // namespace platform
