#pragma once
// Where a command's messages go: message boxes in the window, stderr in the headless command.
// Called on the command's thread.

#include <QString>

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual void DisplayMessageBox(const QString& title, const QString& text) = 0;
};
