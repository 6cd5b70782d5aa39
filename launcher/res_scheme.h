// Serves the launcher's built-in pages to the news view under "res://launcher/<id>", so that the
// view's rule "addresses that begin with res:// stay in the view" holds for them.
#pragma once

#include <QWebEngineUrlSchemeHandler>

#include "platform/types.h"

class CResSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // Makes the scheme known to the browser engine; must run before the QApplication exists.
    static void RegisterScheme();
    // The address of built-in page nId.
    static QUrl PageUrl(UINT nId);

    void requestStarted(QWebEngineUrlRequestJob* job) override;
};
