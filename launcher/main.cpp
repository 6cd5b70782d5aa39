// The launcher's entry: the browser engine's and Qt's set-up around the application object.
#include <unistd.h>

#include <QApplication>

#include "launcher/app.h"
#include "launcher/message_box_qt.h"
#include "launcher/res_scheme.h"

namespace {

CString CommandLineAfterProgramName(int argc, char** argv) {
    CString strLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) strLine += L' ';
        strLine += CString(argv[i]);
    }
    return strLine;
}

}  // namespace

int main(int argc, char** argv) {
    // The browser engine refuses to run as root with its sandbox on; a player's desktop run
    // needs nothing set by hand.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    CResSchemeHandler::RegisterScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    InstallQtMessageBox();
    theApp.m_lpCmdLine = CommandLineAfterProgramName(argc, argv);
    if (theApp.InitInstance()) QApplication::exec();
    return theApp.ExitInstance();
}
