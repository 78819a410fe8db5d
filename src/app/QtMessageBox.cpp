#include "app/QtMessageBox.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {

int ShowOnUiThread(const QString& caption, const QString& text, unsigned type)
{
    using namespace platform;
    QMessageBox box;
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & 0xF0u) {
    case kMbIconError: box.setIcon(QMessageBox::Critical); break;
    case kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
    case kMbIconWarning: box.setIcon(QMessageBox::Warning); break;
    case kMbIconInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (type & 0x0Fu) {
    case kMbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? kIdYes : kIdNo;
    case kMbOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return kIdOk;
    }
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
        int answer = platform::kIdOk;
        QMetaObject::invokeMethod(
            app, [&] { answer = ShowOnUiThread(qCaption, qText, type); }, Qt::BlockingQueuedConnection);
        return answer;
    });
}
