#pragma once
#include "platform/MessageTarget.h"

#include <QEvent>
#include <QObject>

// A posted window message carried by a Qt event: a thread posts
// (msg, wParam, lParam) to a window, the window's thread receives it in
// FIFO order in its event() and dispatches it by number.
class CPostedMessageEvent : public QEvent {
public:
    CPostedMessageEvent(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
    static QEvent::Type EventType();
    platform::PostedMessage m_message;
};

// The message target a Qt window hands to the link and the threads.
class CWindowMessageTarget : public platform::IMessageTarget {
public:
    explicit CWindowMessageTarget(QObject* receiver);
    void Post(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam) override;

    // Returns the message when `event` is a posted window message.
    static const platform::PostedMessage* Unpack(const QEvent* event);

private:
    QObject* m_pReceiver;
};
