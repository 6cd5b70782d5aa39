#include "launcher/taskbar_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

std::unique_ptr<CTaskbarProgress> CTaskbarProgress::Create() {
    if (!QDBusConnection::sessionBus().isConnected()) return nullptr;
    return std::make_unique<CTaskbarProgress>();
}

void CTaskbarProgress::SetProgressValue(ULONGLONG ullCompleted, ULONGLONG ullTotal) {
    if (ullTotal == 0) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    // The position is not clamped, as the window hands it over; the desktop wants 0 to 1.
    const double dProgress = static_cast<double>(ullCompleted) / static_cast<double>(ullTotal);
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), qBound(0.0, dProgress, 1.0));
    properties.insert(QStringLiteral("progress-visible"), true);
    signal << QString::fromLatin1(kAppUri) << properties;
    QDBusConnection::sessionBus().send(signal);
}
