#include "app/DeviceChangeNotifier.h"

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

namespace zm880::app {
namespace {

#ifdef Q_OS_WIN
using SystemNotifier = QWinEventNotifier;

SystemNotifier* MakeSystemNotifier(hid::Waitable waitable, QObject* parent) {
    return new QWinEventNotifier(reinterpret_cast<Qt::HANDLE>(waitable), parent);
}
#else
using SystemNotifier = QSocketNotifier;

SystemNotifier* MakeSystemNotifier(hid::Waitable waitable, QObject* parent) {
    return new QSocketNotifier(static_cast<qintptr>(waitable), QSocketNotifier::Read, parent);
}
#endif

}  // namespace

TDeviceChangeNotifier::TDeviceChangeNotifier(hid::Waitable waitable, QObject* parent)
    : QObject(parent) {
    auto* notifier = MakeSystemNotifier(waitable, this);
    connect(notifier, &SystemNotifier::activated, this, &TDeviceChangeNotifier::changesPending);
    notifier_ = notifier;
}

void TDeviceChangeNotifier::SetEnabled(bool enabled) {
    static_cast<SystemNotifier*>(notifier_)->setEnabled(enabled);
}

}  // namespace zm880::app
