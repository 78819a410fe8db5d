#pragma once

// Routes platform::ShowMessageBox to QMessageBox on the UI thread. A call from
// another thread waits until the operator has answered the box, or until the
// thread's stop is requested: then the box closes as if its first button was
// pressed (a box not shown yet is dropped) and the call returns that answer.
void InstallQtMessageBoxHandler();
