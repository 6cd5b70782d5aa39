#include "launcher/message_box_qt.h"

#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "launcher/app.h"
#include "launcher/main_frame.h"
#include "launcher/qt_text.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/string_table.h"

#define AFX_IDS_APP_TITLE 57344

namespace {

struct ButtonText {
    int nId;
    const char* pszEnglish;
    const char* pszRussian;
};

constexpr ButtonText kButtons[] = {
    {IDOK, "OK", "ОК"},
    {IDCANCEL, "Cancel", "Отмена"},
    {IDABORT, "Abort", "Прервать"},
    {IDRETRY, "Retry", "Повтор"},
    {IDIGNORE, "Ignore", "Пропустить"},
    {IDYES, "Yes", "Да"},
    {IDNO, "No", "Нет"},
};

QString ButtonLabel(int nId) {
    const bool bRussian = GetUserLanguage() == UserLanguage::Russian;
    for (const ButtonText& button : kButtons)
        if (button.nId == nId)
            return QString::fromUtf8(bRussian ? button.pszRussian : button.pszEnglish);
    return {};
}

std::vector<int> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

QMessageBox::Icon IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The main window owns the boxes once it is up, so they open over it wherever the player has
// moved it. Before that (the resume question), and while it is hidden or minimised, where an
// owned box could stay out of sight with it, a box opens in the middle of the screen.
QWidget* BoxOwner() {
    QWidget* pMainWnd = theApp.m_pMainWnd;
    return pMainWnd && pMainWnd->isVisible() && !pMainWnd->isMinimized() ? pMainWnd : nullptr;
}

int ShowQtMessageBox(const CString& text, UINT type) {
    CString strTitle;
    LoadStringResource(AFX_IDS_APP_TITLE, strTitle);
    QMessageBox box(IconOf(type), ToQString(strTitle), ToQString(text), QMessageBox::NoButton,
                    BoxOwner());
    const std::vector<int> buttons = ButtonsOf(type);
    std::vector<QAbstractButton*> added;
    for (int nId : buttons) {
        const bool bRejects = nId == IDNO || nId == IDCANCEL;
        added.push_back(box.addButton(
            ButtonLabel(nId), bRejects ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    const size_t nDefault = ((type >> 8) & 0xF) < buttons.size() ? (type >> 8) & 0xF : 0;
    box.setDefaultButton(static_cast<QPushButton*>(added[nDefault]));
    box.exec();
    for (size_t i = 0; i < added.size(); ++i)
        if (box.clickedButton() == added[i]) return buttons[i];
    // Closed without a button: the rejecting answer Qt's escape picks, else the box's last.
    return buttons.back();
}

}  // namespace

void InstallQtMessageBox() { SetMessageBoxHook(ShowQtMessageBox); }
