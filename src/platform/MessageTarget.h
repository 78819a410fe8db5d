#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// A window as seen by a thread that posts to it: a message with two
// parameters, queued for the window's own thread, never handled in place.
class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    virtual void Post(unsigned msg, WPARAM wParam, LPARAM lParam) = 0;
};

struct PostedMessage {
    unsigned msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool operator==(const PostedMessage&) const = default;
};

// A thread-safe FIFO of posted messages; tests pump it instead of a window.
class CMessageQueue : public IMessageTarget {
public:
    void Post(unsigned msg, WPARAM wParam, LPARAM lParam) override;

    // Takes the oldest message, if any, without waiting.
    std::optional<PostedMessage> TryTake();
    // Waits up to timeoutMs for a message.
    std::optional<PostedMessage> Take(unsigned timeoutMs);
    std::size_t Size() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<PostedMessage> m_queue;
};

} // namespace platform
