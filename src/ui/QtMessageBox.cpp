#include "ui/QtMessageBox.h"

#include "platform/MessageBox.h"
#include "platform/StopSignal.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// How often a worker waiting for an answer looks at its stop request.
constexpr std::chrono::milliseconds kStopPollInterval{20};

// A box asked for by a worker. Shared by the worker and the UI thread, so
// that whichever leaves last frees it.
struct SPendingBox {
    QString caption;
    QString text;
    unsigned type = 0;

    std::mutex lock;
    std::condition_variable answered;
    bool bAnswered = false;  // under lock
    int nAnswer = 0;         // under lock
    bool bAbandoned = false; // under lock: the worker was stopped and left

    QPointer<QMessageBox> pShown; // UI thread only
};

void Prepare(QMessageBox& box, const QString& caption, const QString& text, unsigned type)
{
    using namespace platform;
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & 0xF0u) {
    case kMbIconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case kMbIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case kMbIconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case kMbIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & 0x0Fu) {
    case kMbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case kMbOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
}

int Exec(QMessageBox& box, unsigned type)
{
    using namespace platform;
    const int result = box.exec();
    switch (type & 0x0Fu) {
    case kMbYesNo:
        return result == QMessageBox::Yes ? kIdYes : kIdNo;
    case kMbOkCancel:
        return result == QMessageBox::Ok ? kIdOk : kIdCancel;
    default:
        return kIdOk;
    }
}

int ShowOnUiThread(const QString& caption, const QString& text, unsigned type)
{
    QMessageBox box;
    Prepare(box, caption, text, type);
    return Exec(box, type);
}

// UI thread: shows a worker's box unless the worker has left already.
void ShowPending(const std::shared_ptr<SPendingBox>& pending)
{
    {
        std::lock_guard<std::mutex> guard(pending->lock);
        if (pending->bAbandoned)
            return; // queued but not shown yet: dropped
    }
    QMessageBox box;
    Prepare(box, pending->caption, pending->text, pending->type);
    pending->pShown = &box;
    const int answer = Exec(box, pending->type);
    {
        std::lock_guard<std::mutex> guard(pending->lock);
        pending->nAnswer = answer;
        pending->bAnswered = true;
    }
    pending->answered.notify_all();
}

// UI thread: a box whose worker has left closes as if its first button was
// pressed.
void CloseAbandoned(const std::shared_ptr<SPendingBox>& pending)
{
    if (pending->pShown == nullptr)
        return;
    if (QPushButton* button = pending->pShown->defaultButton())
        button->click();
    else
        pending->pShown->reject();
}

// Worker: waits for the answer or for the thread's stop request, whichever
// comes first. On a stop the worker does not wait for the UI thread again.
int AwaitAnswer(QCoreApplication* app, const std::shared_ptr<SPendingBox>& pending)
{
    const CStopSignal* stop = platform::CurrentStopSignal();
    std::unique_lock<std::mutex> lock(pending->lock);
    while (!pending->bAnswered) {
        if (stop != nullptr && stop->Requested()) {
            pending->bAbandoned = true;
            lock.unlock();
            QMetaObject::invokeMethod(
                app, [pending] { CloseAbandoned(pending); }, Qt::QueuedConnection);
            return platform::DefaultAnswer(pending->type);
        }
        pending->answered.wait_for(lock, kStopPollInterval);
    }
    return pending->nAnswer;
}

} // namespace

void InstallQtMessageBoxHandler()
{
    platform::SetMessageBoxHandler([](const std::string& caption, const std::string& text, unsigned type) {
        const QString qCaption = QString::fromStdString(caption);
        const QString qText = QString::fromStdString(text);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread())
            return ShowOnUiThread(qCaption, qText, type);
        auto pending = std::make_shared<SPendingBox>();
        pending->caption = qCaption;
        pending->text = qText;
        pending->type = type;
        QMetaObject::invokeMethod(
            app, [pending] { ShowPending(pending); }, Qt::QueuedConnection);
        return AwaitAnswer(app, pending);
    });
}
