#include "launcher/res_scheme.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "launcher/bitmap_resource.h"

namespace {
const QByteArray kScheme = QByteArrayLiteral("res");
}

void CResSchemeHandler::RegisterScheme() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl CResSchemeHandler::PageUrl(UINT nId) {
    return QUrl(QStringLiteral("res://launcher/%1").arg(nId));
}

void CResSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    bool ok = false;
    const UINT id = job->requestUrl().path().mid(1).toUInt(&ok);
    const QByteArray page = ok ? LoadHtmlResource(id) : QByteArray();
    if (page.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(page);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
}
