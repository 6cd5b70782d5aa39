#include "launcher/bitmap_resource.h"

#include <QFile>

#include "launcher/resource.h"
#include "platform/locale.h"

namespace {

QString LanguageSuffix() {
    return GetUserLanguage() == UserLanguage::Russian ? QStringLiteral("ru") : QStringLiteral("en");
}

}  // namespace

QImage LoadBitmapResource(UINT nId) {
    // Only the play button's picture carries words, so only it has a variant per language.
    const QString path = nId == IDB_PLAY
                             ? QStringLiteral(":/bitmaps/%1.%2.bmp").arg(nId).arg(LanguageSuffix())
                             : QStringLiteral(":/bitmaps/%1.bmp").arg(nId);
    return QImage(path);
}

QByteArray LoadHtmlResource(UINT nId) {
    QFile file(QStringLiteral(":/html/%1.%2.html").arg(nId).arg(LanguageSuffix()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QIcon LoadAppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(IDR_MAINFRAME).arg(size));
    return icon;
}
