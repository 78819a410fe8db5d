#include "ui/WindowMessages.h"

#include <QCoreApplication>

CPostedMessageEvent::CPostedMessageEvent(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam)
    : QEvent(EventType()), m_message{msg, wParam, lParam}
{
}

QEvent::Type CPostedMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CWindowMessageTarget::CWindowMessageTarget(QObject* receiver) : m_pReceiver(receiver) {}

void CWindowMessageTarget::Post(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam)
{
    // postEvent is thread-safe and keeps the order of posts from one thread.
    QCoreApplication::postEvent(m_pReceiver, new CPostedMessageEvent(msg, wParam, lParam));
}

const platform::PostedMessage* CWindowMessageTarget::Unpack(const QEvent* event)
{
    if (event->type() != CPostedMessageEvent::EventType())
        return nullptr;
    return &static_cast<const CPostedMessageEvent*>(event)->m_message;
}
