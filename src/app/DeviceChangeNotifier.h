#pragma once

#include <QObject>

#include "hid/Platform.h"

namespace zm880::app {

// Watches the platform's change waitable from the event loop: a descriptor that turns readable
// on POSIX systems, an event handle that is set on Windows. Like the toolkit's notifiers it keeps
// firing while the changes stay untaken, so a disabled notifier that is enabled again reports
// what arrived meanwhile.
class TDeviceChangeNotifier : public QObject {
    Q_OBJECT

  public:
    TDeviceChangeNotifier(hid::Waitable waitable, QObject* parent);

    void SetEnabled(bool enabled);

  signals:
    void changesPending();

  private:
    QObject* notifier_ = nullptr;
};

}  // namespace zm880::app
