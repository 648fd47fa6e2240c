// The foundation's message boxes and questions as Qt dialogs.
#pragma once

class QWidget;

namespace rf::ui {

// From now on message boxes and questions open over parent (may be nil).
void InstallMessageHooks(QWidget* parent);

}  // namespace rf::ui
