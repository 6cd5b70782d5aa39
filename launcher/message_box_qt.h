// Every message box of the program, shown with Qt: modal, captioned with the application title,
// Yes/No buttons in the user's language.
#pragma once

// Makes AfxMessageBox show its boxes with Qt; needs the QApplication.
void InstallQtMessageBox();
