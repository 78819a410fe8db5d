#include "platform/MessageBox.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/CommLog.h"
#include "platform/StopSignal.h"

namespace platform {
namespace {

std::mutex g_handlerLock;
std::shared_ptr<MessageBoxHandler> g_handler;
bool g_bHandlerBlocks = true;

} // namespace

int ShowMessageBox(const std::string& caption, const std::string& text, unsigned type)
{
    std::shared_ptr<MessageBoxHandler> handler;
    bool bBlocks = true;
    {
        std::lock_guard<std::mutex> lock(g_handlerLock);
        handler = g_handler;
        bBlocks = g_bHandlerBlocks;
    }
    CommLog("box", text);
    // A thread on its way out would keep its joiner waiting for the answer.
    if (const CStopSignal* stop = CurrentStopSignal(); stop != nullptr && stop->Requested()) {
        if (handler && !bBlocks)
            (*handler)(caption, text, type);
        return DefaultAnswer(type);
    }
    if (handler)
        return (*handler)(caption, text, type);
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return kIdOk;
}

int DefaultAnswer(unsigned type)
{
    return (type & 0x0Fu) == kMbYesNo ? kIdYes : kIdOk;
}

void SetMessageBoxHandler(MessageBoxHandler handler, bool bBlocks)
{
    std::lock_guard<std::mutex> lock(g_handlerLock);
    g_handler = handler ? std::make_shared<MessageBoxHandler>(std::move(handler)) : nullptr;
    g_bHandlerBlocks = bBlocks;
}

struct CMessageBoxRecorder::State {
    mutable std::mutex lock;
    std::vector<Box> boxes;
    int answer = kIdOk;
};

CMessageBoxRecorder::CMessageBoxRecorder(int answer) : m_pState(new State{})
{
    m_pState->answer = answer;
    State* state = m_pState;
    SetMessageBoxHandler([state](const std::string& caption, const std::string& text, unsigned type) {
        std::lock_guard<std::mutex> lock(state->lock);
        state->boxes.push_back(Box{caption, text, type});
        return state->answer;
    });
}

CMessageBoxRecorder::~CMessageBoxRecorder()
{
    SetMessageBoxHandler(nullptr);
    delete m_pState;
}

std::vector<CMessageBoxRecorder::Box> CMessageBoxRecorder::Boxes() const
{
    std::lock_guard<std::mutex> lock(m_pState->lock);
    return m_pState->boxes;
}

std::size_t CMessageBoxRecorder::Count() const
{
    std::lock_guard<std::mutex> lock(m_pState->lock);
    return m_pState->boxes.size();
}

void CMessageBoxRecorder::SetAnswer(int answer)
{
    std::lock_guard<std::mutex> lock(m_pState->lock);
    m_pState->answer = answer;
}

} // namespace platform
