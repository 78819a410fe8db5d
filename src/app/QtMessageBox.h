#pragma once

// Routes platform::ShowMessageBox to QMessageBox on the UI thread. A call from
// another thread blocks until the operator has answered the box.
void InstallQtMessageBoxHandler();
