// What the library's parts share: the presenter in use, the one shown with
// QMessageBox, and the texts from the resource chain.
#pragma once

#include <QString>
#include <memory>

#include "messages/presenter.h"

namespace tlx::messages {

// The presenter boxes go to: the installed one, else the default.
std::shared_ptr<Presenter> CurrentPresenter();
// Boxes shown with QMessageBox on the GUI thread.
std::shared_ptr<Presenter> MakeQtPresenter();
// The string `id` from the resource chain; false when no module has it.
bool ChainText(UINT id, QString* text);

}  // namespace tlx::messages
