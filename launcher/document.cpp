#include "launcher/document.h"

#include "launcher/main_frame.h"
#include "launcher/view.h"

BOOL CVarnholtLauncherDoc::OnNewDocument() { return CDocument::OnNewDocument(); }

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource) : m_nIDResource(nIDResource) {}

CSingleDocTemplate::~CSingleDocTemplate() { CloseAllDocuments(); }

CMainFrame* CSingleDocTemplate::OpenDocumentFile() {
    m_pDocument = std::make_unique<CVarnholtLauncherDoc>();
    if (!m_pDocument->OnNewDocument()) {
        m_pDocument.reset();
        return nullptr;
    }
    m_pFrame = std::make_unique<CMainFrame>();
    if (!m_pFrame->LoadFrame(m_nIDResource)) {
        m_pFrame.reset();
        m_pDocument.reset();
        return nullptr;
    }
    m_pFrame->GetActiveView()->OnInitialUpdate();
    return m_pFrame.get();
}

void CSingleDocTemplate::CloseAllDocuments() {
    m_pFrame.reset();
    m_pDocument.reset();
}
